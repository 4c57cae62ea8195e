// The terminal program's command line, its colour rule and its status line.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "cli/colour_choice.h"
#include "cli/typed_lines.h"

namespace tolvik {
namespace {

using Action = CliOptions::Action;

CliOptions Parse(std::initializer_list<const char*> args) {
  std::vector<std::string> words{"tolvik-cli"};
  for (const char* a : args) words.emplace_back(a);
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  return ParseCliOptions(static_cast<int>(words.size()), argv.data());
}

TEST(CliOptionsTest, DirectoryInEveryFormAndProfile) {
  for (auto args : {std::initializer_list<const char*>{"-d", "/x"}, {"--dir", "/x"}, {"--dir=/x"}, {"-d/x"}}) {
    const CliOptions o = Parse(args);
    EXPECT_EQ(o.action, Action::Run);
    EXPECT_EQ(o.dir, "/x");
  }
  const CliOptions o = Parse({"--profile", "bot2", "--dir", "/y"});
  EXPECT_EQ(o.action, Action::Run);
  EXPECT_EQ(o.profile, "bot2");
  EXPECT_EQ(o.dir, "/y");
  EXPECT_EQ(Parse({}).action, Action::Run);
  EXPECT_TRUE(Parse({}).dir.empty());
  // A second scan starts afresh (getopt keeps its place in globals).
  EXPECT_EQ(Parse({"-p", "a"}).profile, "a");
}

TEST(CliOptionsTest, HelpAndVersionShortAndLong) {
  EXPECT_EQ(Parse({"-h"}).action, Action::Help);
  EXPECT_EQ(Parse({"--help"}).action, Action::Help);
  EXPECT_EQ(Parse({"-V"}).action, Action::Version);
  EXPECT_EQ(Parse({"--version"}).action, Action::Version);
  // A bad option after --help is still an error.
  EXPECT_EQ(Parse({"--help", "--bogus"}).action, Action::Error);
}

TEST(CliOptionsTest, ColourWhenValues) {
  EXPECT_EQ(Parse({}).colour, ColourMode::Auto);
  EXPECT_EQ(Parse({"--color=always"}).colour, ColourMode::Always);
  EXPECT_EQ(Parse({"--color=never"}).colour, ColourMode::Never);
  EXPECT_EQ(Parse({"--color=never", "--color=auto"}).colour, ColourMode::Auto);
  EXPECT_EQ(Parse({"--color"}).colour, ColourMode::Always);
  EXPECT_EQ(Parse({"--colour=never"}).colour, ColourMode::Never);
  const CliOptions bad = Parse({"--color=sometimes"});
  EXPECT_EQ(bad.action, Action::Error);
  EXPECT_NE(bad.error.find("sometimes"), std::string::npos);
}

TEST(CliOptionsTest, ErrorsNameWhatWasWrong) {
  CliOptions o = Parse({"--bogus"});
  EXPECT_EQ(o.action, Action::Error);
  EXPECT_EQ(o.error, "unknown option '--bogus'");
  o = Parse({"-x"});
  EXPECT_EQ(o.error, "unknown option '-x'");
  o = Parse({"--dir"});
  EXPECT_EQ(o.action, Action::Error);
  EXPECT_EQ(o.error, "option '--dir' needs an argument");
  o = Parse({"-d"});
  EXPECT_EQ(o.error, "option '-d' needs an argument");
  o = Parse({"stray"});
  EXPECT_EQ(o.action, Action::Error);
  EXPECT_EQ(o.error, "unexpected argument 'stray'");
  EXPECT_EQ(Parse({"--help=x"}).action, Action::Error);
}

TEST(ColourChoiceTest, ConventionsOfTerminalPrograms) {
  // Auto: a terminal with a usable TERM and no NO_COLOR.
  EXPECT_TRUE(WantColour(ColourMode::Auto, nullptr, "xterm-256color", true));
  EXPECT_FALSE(WantColour(ColourMode::Auto, nullptr, "xterm", false));
  EXPECT_FALSE(WantColour(ColourMode::Auto, "1", "xterm", true));
  EXPECT_FALSE(WantColour(ColourMode::Auto, "", "xterm", true));  // set but empty still counts
  EXPECT_FALSE(WantColour(ColourMode::Auto, nullptr, "dumb", true));
  EXPECT_FALSE(WantColour(ColourMode::Auto, nullptr, nullptr, true));
  EXPECT_FALSE(WantColour(ColourMode::Auto, nullptr, "", true));
  // The option wins over everything.
  EXPECT_TRUE(WantColour(ColourMode::Always, "1", "dumb", false));
  EXPECT_FALSE(WantColour(ColourMode::Never, nullptr, "xterm", true));
}

TEST(StatusLineTest, NoColonLeftWithoutAServer) {
  EXPECT_EQ(StatusLine("Not Connected: "), "-- Status: Not Connected");
  EXPECT_EQ(StatusLine("Not Connected: chat.example.net"), "-- Status: Not Connected: chat.example.net");
  EXPECT_EQ(StatusLine("(host) Connecting..."), "-- Status: (host) Connecting...");
}

}  // namespace
}  // namespace tolvik

namespace tolvik {
namespace {

TEST(CliOptionsTest, FaceOptions) {
  EXPECT_EQ(Parse({"--dir", "/x", "--set-face-password"}).action, Action::SetFacePassword);
  const CliOptions local = Parse({"--attach", "-p", "bot2"});
  EXPECT_EQ(local.action, Action::Run);
  EXPECT_TRUE(local.attach);
  EXPECT_EQ(local.attach_to, "");
  EXPECT_EQ(local.profile, "bot2");
  for (auto args : {std::initializer_list<const char*>{"--attach", "host:7000"}, {"--attach=host:7000"}}) {
    const CliOptions o = Parse(args);
    EXPECT_EQ(o.action, Action::Run);
    EXPECT_TRUE(o.attach);
    EXPECT_EQ(o.attach_to, "host:7000");
  }
  const CliOptions remote = Parse({"--attach", "[::1]:7000", "--face-password-file", "/pw", "--face-ca=/ca.pem"});
  EXPECT_EQ(remote.action, Action::Run);
  EXPECT_EQ(remote.face_password_file, "/pw");
  EXPECT_EQ(remote.face_ca, "/ca.pem");
  // The network options make no sense without a network attach.
  EXPECT_EQ(Parse({"--face-ca", "/ca.pem"}).error, "--face-ca goes with --attach HOST:PORT");
  EXPECT_EQ(Parse({"--attach", "--face-password-file", "/pw"}).error, "--face-password-file goes with --attach HOST:PORT");
  EXPECT_EQ(Parse({"--attach", "--set-face-password"}).action, Action::Error);
}

}  // namespace
}  // namespace tolvik
