// The desktop program as a real process on a machine without a display: bad
// arguments are usage errors (status 2), --help and --version still answer.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/temp_dir.h"

namespace {

using tolvik::testing::TempDir;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs tolvik with `arguments` (shell words) and no display of any kind, with
// its profiles under `data`.
Outcome RunWithoutDisplay(const TempDir& data, const std::string& arguments) {
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_DATA_HOME='" +
                              data.path().string() + "' '" TOLVIK_GUI_PATH "' " + arguments + " >'" +
                              data.file("out") + "' 2>'" + data.file("err") + "'";
  const int raw = std::system(command.c_str());
  Outcome run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  run.out = data.read("out");
  run.err = data.read("err");
  return run;
}

TEST(TolvikProcess, BadArgumentsAreUsageErrorsWithoutADisplay) {
  TempDir data;
  const struct {
    const char* arguments;
    const char* said;
  } cases[] = {
      {"--bogus", "Unknown option 'bogus'"},
      {"stray", "unknown argument 'stray'"},
      {"--dir", "Missing value after '--dir'"},
      {"--profile ../elsewhere", "'../elsewhere' is not a profile name"},
      {"--dir /no/such/directory", "'/no/such/directory' is not a directory"},
  };
  for (const auto& c : cases) {
    const Outcome run = RunWithoutDisplay(data, c.arguments);
    EXPECT_EQ(run.status, 2) << c.arguments << ": " << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << c.arguments << ": " << run.err;
    EXPECT_NE(run.err.find("tolvik --help"), std::string::npos) << c.arguments;
  }
  // Nothing was made for a start that never happened.
  EXPECT_FALSE(data.exists("tolvik"));

  // Qt's own options are not ours to refuse: a bad argument after them still is.
  const Outcome after_qt = RunWithoutDisplay(data, "-style fusion -reverse --bogus");
  EXPECT_EQ(after_qt.status, 2) << after_qt.err;
  EXPECT_NE(after_qt.err.find("Unknown option 'bogus'"), std::string::npos) << after_qt.err;
}

TEST(TolvikProcess, HelpAndVersionAnswerWithoutADisplay) {
  TempDir data;
  const Outcome help = RunWithoutDisplay(data, "--help");
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_NE(help.out.find("--profile <NAME>"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("--dir <DIR>"), std::string::npos) << help.out;
  const Outcome version = RunWithoutDisplay(data, "-style fusion --version");
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_NE(version.out.find(TOLVIK_VERSION), std::string::npos) << version.out;
  EXPECT_FALSE(data.exists("tolvik"));
}

}  // namespace
