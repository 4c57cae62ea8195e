#include "storage/profile_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::TempDir;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value) ::setenv(name, value, 1); else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (had_) ::setenv(name_, old_.c_str(), 1); else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(ProfileDir, ProfileLivesUnderXdgDataHomeAndIsCreatedPrivate) {
  TempDir home;
  ScopedEnv data("XDG_DATA_HOME", (home.path().string() + "/data").c_str());
  WorkingDirectory wd = ResolveWorkingDirectory("", "");
  ASSERT_EQ(wd.error, "");
  EXPECT_EQ(wd.path, home.path().string() + "/data/tolvik/default");
  EXPECT_EQ(wd.profile, "default");
  struct stat st {};
  ASSERT_EQ(::stat(wd.path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  EXPECT_EQ(ResolveWorkingDirectory("", "mybot").path, home.path().string() + "/data/tolvik/mybot");
  EXPECT_EQ(ListProfiles(), (std::vector<std::string>{"default", "mybot"}));
}

TEST(ProfileDir, RelativeXdgDataHomeFallsBackToHome) {
  TempDir home;
  ScopedEnv data("XDG_DATA_HOME", "relative/data");
  ScopedEnv h("HOME", home.path().string().c_str());
  EXPECT_EQ(ProfilesRoot(), home.path().string() + "/.local/share/tolvik");
}

TEST(ProfileDir, DirWinsOverProfileAndMustExist) {
  TempDir work;
  WorkingDirectory wd = ResolveWorkingDirectory(work.path().string() + "/", "other");
  EXPECT_EQ(wd.path, work.path().string());
  EXPECT_EQ(wd.profile, "");
  WorkingDirectory missing = ResolveWorkingDirectory(work.path().string() + "/nope", "");
  EXPECT_EQ(missing.path, "");
  EXPECT_NE(missing.error.find("is not a directory"), std::string::npos);
}

TEST(ProfileDir, NamesThatLeaveTheProfilesFolderAreRefused) {
  for (const char* bad : {"..", ".hidden", "a/b", "a b", ""}) EXPECT_FALSE(IsValidProfileName(bad)) << bad;
  EXPECT_TRUE(IsValidProfileName("my-bot_2.test"));
  EXPECT_TRUE(IsValidProfileName(std::string(64, 'x')));
  EXPECT_FALSE(IsValidProfileName(std::string(65, 'x')));
  TempDir home;
  ScopedEnv data("XDG_DATA_HOME", home.path().string().c_str());
  WorkingDirectory wd = ResolveWorkingDirectory("", "../escape");
  EXPECT_EQ(wd.path, "");
  EXPECT_FALSE(std::filesystem::exists(home.path().string() + "/escape"));
}

}  // namespace
}  // namespace tolvik
