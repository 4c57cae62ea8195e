// tolvik-cli on a pseudo-terminal: the line editor (history, arrows, Tab
// completion, the history file) and colour, as an operator's terminal sees them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>
#include <thread>

#include "settings/font_records.h"
#include "cli/line_editor.h"
#include "cli_login.h"
#include "cli_process.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::CliBotIni;
using testing::CliProcess;
using testing::CliStart;
using testing::ScriptedGateway;
using testing::TempDir;
using testing::kUnsetEnv;

void LogIn(ScriptedGateway& gateway, CliProcess& cli, const std::string& roster = "") {
  testing::PlayCliLogin(gateway, roster);
  ASSERT_TRUE(cli.WaitOutput("Joining Channel: Home")) << cli.output();
  ASSERT_TRUE(cli.WaitOutput("-- Status: Connected")) << cli.output();
  ASSERT_TRUE(cli.WaitOutput("> ")) << cli.output();
}

// The bot sends lines of its own too (after login, on timers): these look
// for ours among all it sent, as whole lines.
std::vector<std::string> WholeLines(const ScriptedGateway& gateway) {
  std::vector<std::string> lines = gateway.receivedLines();
  if (!lines.empty() && gateway.received().back() != '\n') lines.pop_back();
  return lines;
}

// Waits for a line that starts with `head`, and returns it.
std::string LineStartingWith(const ScriptedGateway& gateway, const std::string& head) {
  for (int i = 0; i < 100; ++i) {
    for (const std::string& line : WholeLines(gateway))
      if (line.rfind(head, 0) == 0) return line;
    std::this_thread::sleep_for(50ms);
  }
  return "";
}

// Waits until `line` has been sent `times` times.
bool SentTimes(const ScriptedGateway& gateway, const std::string& line, long times) {
  for (int i = 0; i < 100; ++i) {
    const auto lines = WholeLines(gateway);
    if (std::count(lines.begin(), lines.end(), line) >= times) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

// Keys typed before the program has put the terminal into editing mode go
// through the terminal's ordinary line handling (Ctrl+D there is an end of
// file, not a key), as they would for a person typing ahead: the tests wait
// for the prompt.
void WaitForPrompt(CliProcess& cli) { ASSERT_TRUE(cli.WaitOutput("> ")) << cli.output(); }

// Types //status, waits for its answer, then //quit: two lines for the history.
void StatusThenQuit(CliProcess& cli) {
  cli.Type("//status\r");
  ASSERT_TRUE(cli.WaitOutput("-- Status:")) << cli.output();
  cli.Type("//quit\r");
  EXPECT_EQ(cli.Wait(), 0);
}

CliStart OnTerminal(const TempDir& dir, std::map<std::string, std::string> env = {{"TERM", "xterm"}}) {
  return CliStart{{"--dir", dir.path().string()}, std::move(env), true};
}

// A working directory whose Bot.ini logs in to the gateway.
class CliLineEditor : public ::testing::Test {
 protected:
  void SetUp() override { dir.write("Bot.ini", CliBotIni(gateway)); }

  ScriptedGateway gateway;
  TempDir dir;
};

TEST_F(CliLineEditor, UpArrowThenEnterSendsThePreviousLineAgain) {
  CliProcess cli(OnTerminal(dir));
  LogIn(gateway, cli);
  cli.Type("first line\r");
  ASSERT_TRUE(SentTimes(gateway, "first line", 1));
  cli.Type("\x1b[A\r");
  ASSERT_TRUE(SentTimes(gateway, "first line", 2)) << gateway.received();
  // Edited in the middle: Home, a word, End, a word.
  cli.Type("\x1b[Amiddle\x1b[H<\x1b[F>\r");
  ASSERT_TRUE(SentTimes(gateway, "<first linemiddle>", 1)) << gateway.received();
  // Ctrl+R finds an older line by a piece of it; Enter ends the search, Enter sends.
  cli.Type("other words\r");
  ASSERT_TRUE(SentTimes(gateway, "other words", 1));
  cli.Type("\x12" "middle\r");
  cli.Type("\r");
  ASSERT_TRUE(SentTimes(gateway, "<first linemiddle>", 2)) << gateway.received();
  EXPECT_EQ(gateway.received().find('\x1b'), std::string::npos);
  EXPECT_EQ(gateway.received().find("[A"), std::string::npos);
  cli.Type("//quit\r");
  EXPECT_EQ(cli.Wait(), 0);
}

TEST_F(CliLineEditor, ChatOutputGoesAboveAHalfTypedLineWhichIsDrawnAgain) {
  CliProcess cli(OnTerminal(dir));
  LogIn(gateway, cli);
  cli.Type("half typed");
  ASSERT_TRUE(cli.WaitOutput("half typed")) << cli.output();
  cli.ClearOutput();
  gateway.send("1005 TALK ann 0000 \"meanwhile\"\r\n");
  ASSERT_TRUE(cli.WaitOutput("> half typed")) << cli.output();
  // The input line was cleared before the chat line and drawn again after it.
  const std::string& out = cli.output();
  EXPECT_LT(out.find("\r\x1b[K"), out.find("meanwhile"));
  EXPECT_LT(out.find("meanwhile"), out.find("> half typed"));
  cli.Type(" and done\r");
  ASSERT_TRUE(SentTimes(gateway, "half typed and done", 1)) << gateway.received();
  cli.Type("//quit\r");
  EXPECT_EQ(cli.Wait(), 0);
}

TEST_F(CliLineEditor, TabCompletesChannelNamesAndStepsToTheNextOne) {
  CliProcess cli(OnTerminal(dir));
  LogIn(gateway, cli, "1001 USER Zebulon 0000 [CHAT]\r\n1001 USER zelda 0000 [CHAT]\r\n");
  cli.Type("hi ze\t\r");
  const std::string first = LineStartingWith(gateway, "hi ");
  EXPECT_TRUE(first == "hi Zebulon" || first == "hi zelda") << first;
  // A second Tab on the same text gives the other name.
  cli.Type("bye ze\t\t\r");
  const std::string second = LineStartingWith(gateway, "bye ");
  EXPECT_NE(second, "bye " + first.substr(3)) << second;
  EXPECT_TRUE(second == "bye Zebulon" || second == "bye zelda") << second;
  cli.Type("//quit\r");
  EXPECT_EQ(cli.Wait(), 0);
}

TEST_F(CliLineEditor, HistoryIsKeptPrivatelyInTheWorkingDirectory) {
  {
    CliProcess cli(OnTerminal(dir));
    WaitForPrompt(cli);
    cli.ClearOutput();
    StatusThenQuit(cli);
  }
  const std::string path = (dir.path() / LineEditor::kHistoryFile).string();
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_NE(dir.read(LineEditor::kHistoryFile).find("//status"), std::string::npos);

  // The next start recalls it: Up twice passes "//quit" to reach "//status".
  CliProcess cli(OnTerminal(dir));
  ASSERT_TRUE(gateway.waitForClients(2)) << cli.output();
  WaitForPrompt(cli);
  cli.ClearOutput();
  cli.Type("\x1b[A\x1b[A\r");
  ASSERT_TRUE(cli.WaitOutput("-- Status:")) << cli.output();
  // The prompt again, below the status: the editor is reading keys.
  const auto limit = std::chrono::steady_clock::now() + 60s;
  while (cli.output().find("> ", cli.output().find("-- Status:")) == std::string::npos &&
         std::chrono::steady_clock::now() < limit)
    cli.WaitOutput("\x01", 50ms);  // reads what the program writes meanwhile
  // Ctrl+D on an empty line ends the program as //quit would.
  cli.Type("\x04");
  EXPECT_EQ(cli.Wait(), 0);
}

// A full history file from earlier runs, one line typed: the oldest line goes.
TEST_F(CliLineEditor, TheHistoryFileKeepsOnlyTheNewestLinesUpToItsCap) {
  auto history = [](int first_old) {
    std::string text = "_HiStOrY_V2_\n";  // libedit's file format
    for (int i = first_old; i <= LineEditor::kHistoryLines; ++i) text += "old-" + std::to_string(i) + "\n";
    return text;
  };
  dir.write(LineEditor::kHistoryFile, history(1));
  CliProcess cli(OnTerminal(dir));
  WaitForPrompt(cli);
  cli.ClearOutput();
  StatusThenQuit(cli);
  EXPECT_EQ(dir.read(LineEditor::kHistoryFile), history(3) + "//status\n//quit\n");
}

TEST_F(CliLineEditor, AHistoryFileThatIsASymbolicLinkIsReportedAndNeverWrittenThrough) {
  dir.write("victim", "someone else's file\n");
  ASSERT_EQ(::chmod(dir.file("victim").c_str(), 0644), 0);
  const std::string link = dir.file(LineEditor::kHistoryFile);
  ASSERT_EQ(::symlink(dir.file("victim").c_str(), link.c_str()), 0);

  CliProcess cli(OnTerminal(dir));
  ASSERT_TRUE(cli.WaitOutput("-- The history file " + link + " is a symbolic link: history is not saved."))
      << cli.output();
  WaitForPrompt(cli);
  StatusThenQuit(cli);

  EXPECT_EQ(dir.read("victim"), "someone else's file\n");
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("victim").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(CliColour, TalkIsColouredOnATerminalUnlessNoColorOrDumb) {
  struct Case {
    std::map<std::string, std::string> env;
    std::vector<std::string> extra;
    bool coloured;
  };
  // A terminal that says it has 24-bit colour, so the colour is the one asked for.
  const Case cases[] = {
      {{{"TERM", "xterm"}, {"NO_COLOR", kUnsetEnv}, {"COLORTERM", "truecolor"}}, {}, true},
      {{{"TERM", "xterm"}, {"NO_COLOR", ""}, {"COLORTERM", "truecolor"}}, {}, false},
      {{{"TERM", "dumb"}, {"NO_COLOR", kUnsetEnv}, {"COLORTERM", "truecolor"}}, {}, false},
      {{{"TERM", kUnsetEnv}, {"NO_COLOR", kUnsetEnv}, {"COLORTERM", "truecolor"}}, {}, false},
      {{{"TERM", "xterm"}, {"NO_COLOR", kUnsetEnv}, {"COLORTERM", "truecolor"}}, {"--color=never"}, false},
      {{{"TERM", "dumb"}, {"NO_COLOR", "1"}, {"COLORTERM", "truecolor"}}, {"--color=always"}, true},
  };
  for (const Case& c : cases) {
    ScriptedGateway gateway;
    TempDir dir;
    dir.write("Bot.ini", CliBotIni(gateway));
    TextFormat red = DefaultTextFormats()[TextTypeIndex(TextType::OthersText)];
    red.colour = 0x0000FF;
    ASSERT_TRUE(SaveTextFormat((dir.path() / "Bot.ini").string(), TextType::OthersText, red));
    CliStart start = OnTerminal(dir, c.env);
    for (const auto& e : c.extra) start.args.push_back(e);
    CliProcess cli(start);
    LogIn(gateway, cli);
    gateway.send("1005 TALK ann 0000 \"red words\"\r\n");
    ASSERT_TRUE(cli.WaitOutput("red words")) << cli.output();
    const bool coloured = cli.output().find("\x1b[38;2;255;0;0m") != std::string::npos;
    EXPECT_EQ(coloured, c.coloured) << "TERM=" << c.env.at("TERM") << " NO_COLOR=" << c.env.at("NO_COLOR");
    // Never a painted background.
    EXPECT_EQ(cli.output().find("\x1b[48;"), std::string::npos);
    cli.Signal(SIGTERM);
    EXPECT_EQ(cli.Wait(), 0);
  }
}

// The colours a terminal says it has: 24-bit only with COLORTERM, else the
// 256-colour palette when TERM names it, else the 16 colours. Text near white
// or near black is left in the terminal's own foreground at every depth, so
// it reads on a light terminal as on a dark one.
TEST(CliColour, DepthFollowsWhatTheTerminalSaysAndPaleOrDarkTextKeepsItsForeground) {
  const struct {
    const char* term;
    const char* colorterm;
    const char* red;  // how 0xFF0000 is asked for
  } cases[] = {
      {"xterm", kUnsetEnv, "\x1b[91m"},
      {"xterm-256color", kUnsetEnv, "\x1b[38;5;196m"},
      {"xterm-256color", "truecolor", "\x1b[38;2;255;0;0m"},
      {"xterm", "24bit", "\x1b[38;2;255;0;0m"},
      {"xterm-256color", "yes", "\x1b[38;5;196m"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("TERM=") + c.term + " COLORTERM=" + (c.colorterm == kUnsetEnv ? "(unset)" : c.colorterm));
    ScriptedGateway gateway;
    TempDir dir;
    dir.write("Bot.ini", CliBotIni(gateway));
    const std::string ini = (dir.path() / "Bot.ini").string();
    const struct {
      TextType type;
      uint32_t colour;  // 0x00BBGGRR
    } formats[] = {{TextType::OthersText, 0x0000FF}, {TextType::Emotes, 0x202020}, {TextType::Whispers, 0xE6E6E6}};
    for (const auto& f : formats) {
      TextFormat format = DefaultTextFormats()[TextTypeIndex(f.type)];
      format.colour = f.colour;
      ASSERT_TRUE(SaveTextFormat(ini, f.type, format));
    }
    CliProcess cli(OnTerminal(dir, {{"TERM", c.term}, {"COLORTERM", c.colorterm}, {"NO_COLOR", kUnsetEnv}}));
    LogIn(gateway, cli);
    gateway.send("1005 TALK ann 0000 \"red words\"\r\n1023 EMOTE ann 0000 \"dark words\"\r\n"
                 "1004 WHISPER ann 0000 \"pale words\"\r\n");
    ASSERT_TRUE(cli.WaitOutput("pale words")) << cli.output();
    const std::string out = cli.output();
    EXPECT_NE(out.find(std::string(c.red)), std::string::npos) << out;
    if (std::string(c.red).find("38;2;") == std::string::npos) {
      EXPECT_EQ(out.find("\x1b[38;2;"), std::string::npos);
    }
    for (const char* words : {"dark words", "pale words"}) {
      const size_t at = out.find(words);
      ASSERT_NE(at, std::string::npos);
      const size_t line_start = out.rfind('\n', at);
      const std::string before = out.substr(line_start == std::string::npos ? 0 : line_start, at - line_start);
      for (const char* foreground : {"\x1b[3", "\x1b[9"}) EXPECT_EQ(before.find(foreground), std::string::npos) << words;
    }
    cli.Signal(SIGTERM);
    EXPECT_EQ(cli.Wait(), 0);
  }
}

}  // namespace
}  // namespace tolvik
