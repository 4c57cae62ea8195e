// Files read once for a burst of lines: inside a ReadOnceScope a file is read
// from disk once, what the program writes itself is seen at once, a level
// question still sees a hand edit of users.lst, and the next burst sees
// every change.
#include <gtest/gtest.h>

#include <string>

#include "bot/access_list_cache.h"
#include "storage/atomic_file.h"
#include "storage/profile_file.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

std::string Value(const std::string& path) {
  std::string value;
  ProfileFile::Read("Events", "OnTalk", "", value, 255, path);
  return value;
}

TEST(ReadOnce, ABurstReadsEachFileOnceButSeesItsOwnWrites) {
  testing::TempDir dir;
  const std::string ini = dir.file("script.ini");
  dir.write("script.ini", "[Events]\r\nOnTalk=a.tcl\r\n");
  {
    ReadOnceScope burst;
    EXPECT_EQ(Value(ini), "a.tcl");
    dir.write("script.ini", "[Events]\r\nOnTalk=hand.tcl\r\n");  // edited behind the program's back
    EXPECT_EQ(Value(ini), "a.tcl");
    {
      ReadOnceScope inner;  // nested: ending it keeps what the outer one read
    }
    EXPECT_EQ(Value(ini), "a.tcl");
    // The program's own write shows at once.
    ASSERT_TRUE(ProfileFile::Write("Events", "OnTalk", "own.tcl", ini));
    EXPECT_EQ(Value(ini), "own.tcl");
    dir.write("script.ini", "[Events]\r\nOnTalk=script.tcl\r\n");  // as a script would
    ForgetReadFiles();
    EXPECT_EQ(Value(ini), "script.tcl");
    // A missing file is remembered as missing, and found after a forget.
    std::string bytes;
    EXPECT_FALSE(ReadWholeFile(dir.file("late.txt"), bytes));
    dir.write("late.txt", "here");
    EXPECT_FALSE(ReadWholeFile(dir.file("late.txt"), bytes));
  }
  // The next burst reads afresh.
  dir.write("script.ini", "[Events]\r\nOnTalk=next.tcl\r\n");
  EXPECT_EQ(Value(ini), "next.tcl");
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(dir.file("late.txt"), bytes));
  EXPECT_EQ(bytes, "here");
}

TEST(ReadOnce, LevelQuestionsSeeAHandEditOfTheUserListInsideABurst) {
  testing::TempDir dir;
  dir.write("users.lst", "[Level3]\nbob\n");
  ListFileCache users(true);
  ReadOnceScope burst;
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(dir.file("users.lst"), bytes));  // something else read it first
  EXPECT_EQ(users.Find(dir.path().string(), "users.lst", "bob", nullptr), 3);
  dir.write("users.lst", "[Level7]\nbob\ncarol\n");
  EXPECT_EQ(users.Find(dir.path().string(), "users.lst", "bob", nullptr), 7);
  EXPECT_EQ(users.Find(dir.path().string(), "users.lst", "carol", nullptr), 7);
}

}  // namespace
}  // namespace tolvik
