#include "bot/script_bridge.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bot/bot_context.h"
#include "net/outgoing_queue.h"
#include "support/recording_connection.h"
#include "support/recording_display.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

namespace fs = std::filesystem;
using testing::RecordingConnection;
using testing::RecordingDisplay;
using testing::TempDir;

// A bot over a real, unstarted queue: what scripts send stays in the ring.
class FakeBot : public BotContext {
 public:
  explicit FakeBot(std::string dir) : queue_(connection_, &display_), dir_(std::move(dir)) {}
  OutgoingQueue& Queue() override { return queue_; }
  ChatDisplay& Display() override { return display_; }
  const char* OwnName() const override { return "ModBot"; }
  const char* CurrentChannel() const override { return channel.c_str(); }
  const char* HomeChannel() const override { return "Home"; }
  int CommandLevel(const char*) const override { return -1; }
  void UserLevelChanged(const char*, int) override {}
  const std::string& WorkingDir() const override { return dir_; }

  std::vector<std::string> Sent() const { return queue_.PeekWaiting(OutgoingQueue::kNormal); }
  RecordingDisplay& display() { return display_; }

  std::string channel = "Clan Home";

 private:
  RecordingConnection connection_;
  RecordingDisplay display_;
  OutgoingQueue queue_;
  std::string dir_;
};

// Puts the process back in the directory it was in, whatever a test's scripts did.
class CwdGuard {
 public:
  CwdGuard() : saved_(fs::current_path()) {}
  ~CwdGuard() { fs::current_path(saved_); }

 private:
  fs::path saved_;
};

class ScriptBridgeTest : public ::testing::Test {
 protected:
  explicit ScriptBridgeTest(const std::string& work_name = "work")
      : work(temp.path() / work_name), bot(MakeWorkDir(work)), bridge(bot, [this](const char* name) {
          asked.push_back(name);
          auto it = levels.find(name);
          return it == levels.end() ? 0 : it->second;
        }) {}

  static std::string MakeWorkDir(const fs::path& dir) {
    fs::create_directories(dir / "scripts");
    return dir.string();
  }

  // Writes a script into the scripts folder and returns its full path.
  std::string Script(const std::string& name, const std::string& body) {
    temp.write((work / "scripts" / name).lexically_relative(temp.path()).string(), body);
    return (work / "scripts" / name).string();
  }

  // Creates the interpreter and forgets what Tcl's start-up showed.
  void Start() {
    bridge.CreateInterpreter();
    ASSERT_TRUE(bridge.HasInterpreter());
    bot.display().clear();
  }

  TempDir temp;
  fs::path work;
  CwdGuard cwd;  // declared after temp: the directory is left before it is removed
  FakeBot bot;
  std::map<std::string, int> levels;
  std::vector<std::string> asked;
  ScriptBridge bridge;
};

TEST_F(ScriptBridgeTest, CreatesInterpreterWithScriptsFolderAsLibraryPath) {
  EXPECT_FALSE(bridge.RunHook(Script("a.tcl", "BnetSend hi\n").c_str(), "Bob", "x"));  // no interpreter yet
  bridge.CreateInterpreter();
  EXPECT_TRUE(bridge.HasInterpreter());
  EXPECT_EQ(bridge.ScriptsFolder(), work.string() + "/scripts/");
  // Tcl's own library came up: its procedures are there for scripts.
  ASSERT_TRUE(bridge.RunHook(Script("b.tcl", "BnetSend [join [list [info exists tcl_version] x] -]\n").c_str(),
                             "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"1-x\n"}));
  EXPECT_FALSE(bot.display().contains("ERROR - Failed to Initialize Script Interpreter"));
}

TEST_F(ScriptBridgeTest, SplitsTextIntoActionAndData) {
  Start();
  std::string path = Script("echo.tcl", "BnetSend \"<$speaker|$action|$data>\"\n");
  EXPECT_TRUE(bridge.RunHook(path.c_str(), "Bob", "!seen Bob now"));
  EXPECT_TRUE(bridge.RunHook(path.c_str(), "Ann", "hello"));
  EXPECT_TRUE(bridge.RunHook(path.c_str(), "Cy", ""));
  EXPECT_TRUE(bridge.RunHook(path.c_str(), "Di", " lead  two "));
  // Event texts are values only, never parsed as script.
  EXPECT_TRUE(bridge.RunHook(path.c_str(), "[BnetSend pwned]", "$x [exit] {\"unbalanced"));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"<Bob|!seen|Bob now>\n", "<Ann|hello|>\n", "<Cy||>\n",
                                                  "<Di||lead  two >\n",
                                                  "<[BnetSend pwned]|$x|[exit] {\"unbalanced>\n"}));
  EXPECT_TRUE(bot.display().texts().empty());
}

TEST_F(ScriptBridgeTest, StateOfScriptsPersistsBetweenRuns) {
  Start();
  ASSERT_TRUE(bridge.RunHook(Script("def.tcl", "proc greet {who} { BnetSend \"hi $who\" }\nset count 1\n").c_str(),
                             "a", ""));
  ASSERT_TRUE(bridge.RunHook(Script("use.tcl", "incr count\ngreet $speaker\nBnetSend $count\n").c_str(), "Eve", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"hi Eve\n", "2\n"}));
}

TEST_F(ScriptBridgeTest, BnetSendCutsLongTextAndIgnoresEmptyText) {
  Start();
  std::string long_text(300, 'a');
  long_text.replace(249, 2, "YZ");  // the 250th character is the last one kept
  std::string path = Script("send.tcl", "BnetSend $data\nBnetSend {}\nBnetSend ab\n");
  ASSERT_TRUE(bridge.RunHook(path.c_str(), "Bob", ("x " + long_text).c_str()));
  // 249 ASCII bytes, then a two-byte character across the limit: it is not split.
  std::string wide = std::string(249, 'b') + "\xC3\xA9" + "tail";
  ASSERT_TRUE(bridge.RunHook(path.c_str(), "Bob", ("x " + wide).c_str()));
  std::vector<std::string> sent = bot.Sent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0], long_text.substr(0, 250) + "\n");
  EXPECT_EQ(sent[0].substr(248), "aY\n");
  EXPECT_EQ(sent[1], "ab\n");
  EXPECT_EQ(sent[2], std::string(249, 'b') + "\n");
  EXPECT_EQ(sent[3], "ab\n");
}

TEST_F(ScriptBridgeTest, WrongArgumentCountsFailWithTheirMessages) {
  Start();
  std::string path = Script("counts.tcl",
                            "foreach cmd {{BnetSend a b} {BnetSend} {UserLevel} {UserLevel a b} {BotName x}"
                            " {BotChannel x y}} {\n"
                            "  lappend out [catch $cmd msg] $msg\n"
                            "}\n"
                            "BnetSend [join $out |]\n");
  ASSERT_TRUE(bridge.RunHook(path.c_str(), "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{
                            "1|BnetSend: wrong # of arguments|1|BnetSend: wrong # of arguments|"
                            "1|ERROR: UserLevel requires two arguments.|1|ERROR: UserLevel requires two arguments.|"
                            "1|ERROR: BotName takes no arguments.|1|ERROR: BotChannel takes no arguments.\n"}));
  EXPECT_EQ(bot.display().texts(),
            (std::vector<std::string>{"BnetSend requires one argument!", "BnetSend requires one argument!",
                                      "UserLevel requires one argument!", "UserLevel requires one argument!",
                                      "BotName takes no arguments!", "BotChannel takes no arguments!"}));
  EXPECT_TRUE(asked.empty());
}

TEST_F(ScriptBridgeTest, UserLevelBotNameAndBotChannelAnswerFromTheBot) {
  Start();
  levels["Owner"] = 9;
  levels["Guest"] = 1;
  std::string path = Script("ask.tcl",
                            "set l [UserLevel Owner]\n"
                            "BnetSend \"[expr {$l + [UserLevel Guest]}] [UserLevel nobody] [BotName] [BotChannel]\"\n");
  ASSERT_TRUE(bridge.RunHook(path.c_str(), "Bob", ""));
  bot.channel = "Other";
  ASSERT_TRUE(bridge.RunHook(Script("chan.tcl", "BnetSend [BotChannel]\n").c_str(), "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"10 0 ModBot Clan Home\n", "Other\n"}));
  EXPECT_EQ(asked, (std::vector<std::string>{"Owner", "Guest", "nobody"}));
  EXPECT_TRUE(bot.display().texts().empty());
}

TEST_F(ScriptBridgeTest, MissingScriptIsReportedAsError) {
  Start();
  std::string missing = (work / "scripts" / "none.tcl").string();
  EXPECT_FALSE(bridge.RunHook(missing.c_str(), "Bob", "hi"));
  std::vector<std::string> shown = bot.display().texts();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], "TCL_ERROR");
  EXPECT_EQ(shown[1].rfind("Script contained an error and did not fully execute - couldn't read file", 0), 0u)
      << shown[1];
  EXPECT_NE(shown[1].find("none.tcl"), std::string::npos);
}

TEST_F(ScriptBridgeTest, ReturnsToWorkingDirAfterScriptButNotAfterFailure) {
  Start();
  fs::create_directories(work / "elsewhere");
  Script("wander.tcl", "cd elsewhere\nBnetSend [file tail [pwd]]\n");
  Script("fail.tcl", "cd elsewhere\nerror \"gave up\"\n");
  Script("where.tcl", "BnetSend [pwd]\n");

  fs::current_path(work);
  // Relative paths are found from the working directory again after a script moved away.
  ASSERT_TRUE(bridge.RunHook("scripts/wander.tcl", "Bob", ""));
  EXPECT_EQ(fs::current_path(), work);
  ASSERT_TRUE(bridge.RunHook("scripts/where.tcl", "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"elsewhere\n", work.string() + "\n"}));

  EXPECT_FALSE(bridge.RunHook("scripts/fail.tcl", "Bob", ""));
  EXPECT_EQ(fs::current_path(), work / "elsewhere");
  EXPECT_EQ(bot.display().texts(),
            (std::vector<std::string>{"TCL_ERROR", "Script contained an error and did not fully execute - gave up"}));
  // The failed script's directory stays, so the relative path no longer resolves.
  EXPECT_FALSE(bridge.RunHook("scripts/where.tcl", "Bob", ""));

  // A script that succeeds from anywhere brings the bot home, even one that
  // took the `cd` command away.
  ASSERT_TRUE(bridge.RunHook(Script("nocd.tcl", "cd ..\nrename cd {}\n").c_str(), "Bob", ""));
  EXPECT_EQ(fs::current_path(), work);
}

TEST_F(ScriptBridgeTest, ExitOnlyStopsTheScript) {
  Start();
  EXPECT_FALSE(bridge.RunHook(Script("quit.tcl", "BnetSend before\nexit 3\nBnetSend after\n").c_str(), "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"before\n"}));
  EXPECT_EQ(bot.display().texts(),
            (std::vector<std::string>{"TCL_ERROR",
                                      "Script contained an error and did not fully execute - exit is not available "
                                      "to bot scripts"}));
  // The interpreter is still there for the next event.
  EXPECT_TRUE(bridge.RunHook(Script("next.tcl", "BnetSend next\n").c_str(), "Bob", ""));
}

TEST_F(ScriptBridgeTest, RunawayHooksAreStoppedAndTheInterpreterCarriesOn) {
  Start();
  // An endless loop, even inside catch, is stopped at the time limit and nothing after it runs.
  bridge.SetTimeLimit(std::chrono::milliseconds(200));
  std::string spin = Script("spin.tcl", "proc kept {} { return kept }\nBnetSend before\ncatch {while 1 {}}\n"
                                        "BnetSend after\n");
  EXPECT_FALSE(bridge.RunHook(spin.c_str(), "Bob", ""));
  EXPECT_EQ(bot.display().texts(),
            (std::vector<std::string>{"TCL_ERROR", "Script contained an error and did not fully execute - time limit exceeded",
                                      "Script " + spin + " was stopped: it ran longer than 0.2 seconds"}));
  // The next hook runs as usual, with what the stopped one defined.
  bridge.SetTimeLimit(ScriptBridge::kDefaultTimeLimit);
  EXPECT_TRUE(bridge.RunHook(Script("next.tcl", "BnetSend [kept]\n").c_str(), "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"before\n", "kept\n"}));

  // The command limit counts each run on its own: two runs of about 600
  // commands stay under 1000, one of 5000 does not.
  bridge.SetCommandLimit(1000);
  std::string count = Script("count.tcl", "proc run {n} { for {set i 0} {$i < $n} {incr i} {} }\nrun $data\n");
  EXPECT_TRUE(bridge.RunHook(count.c_str(), "Bob", "x 600"));
  EXPECT_TRUE(bridge.RunHook(count.c_str(), "Bob", "x 600"));
  bot.display().clear();
  EXPECT_FALSE(bridge.RunHook(count.c_str(), "Bob", "x 5000"));
  EXPECT_TRUE(bot.display().contains("Script " + count + " was stopped: it ran more than 1000 commands"));
  EXPECT_TRUE(bridge.RunHook(count.c_str(), "Bob", "x 600"));
}

TEST_F(ScriptBridgeTest, SettingAVariableThatCannotBeSetShowsTheResult) {
  Start();
  // A script that makes `data` an array leaves the next event unable to set it.
  ASSERT_TRUE(bridge.RunHook(Script("arr.tcl", "unset data\nset data(x) 1\n").c_str(), "Bob", "a b"));
  ASSERT_TRUE(bridge.RunHook(Script("echo.tcl", "BnetSend $action\n").c_str(), "Bob", "go now"));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"go\n"}));
  EXPECT_EQ(bot.display().texts(),
            (std::vector<std::string>{"Result = can't set \"data\": variable is array"}));
}

TEST_F(ScriptBridgeTest, SeveralBridgesKeepTheirOwnBots) {
  Start();
  FakeBot other_bot(work.string());
  other_bot.channel = "Elsewhere";
  ScriptBridge other(other_bot, nullptr);  // no access list: every level is 0
  other.CreateInterpreter();
  levels["Owner"] = 9;
  std::string path = Script("chan.tcl", "BnetSend \"[BotChannel] [UserLevel Owner]\"\n");
  ASSERT_TRUE(bridge.RunHook(path.c_str(), "Bob", ""));
  ASSERT_TRUE(other.RunHook(path.c_str(), "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"Clan Home 9\n"}));
  EXPECT_EQ(other_bot.Sent(), (std::vector<std::string>{"Elsewhere 0\n"}));
}

// Working directories whose names are full of Tcl syntax: one that would
// break a quoted command, one whose bracket would run a command if the name
// were ever parsed as script.
class HostileDirTest : public ScriptBridgeTest, public ::testing::WithParamInterface<const char*> {
 protected:
  HostileDirTest() : ScriptBridgeTest(GetParam()) {}
};

TEST_P(HostileDirTest, ReturnsToTheDirectoryWithoutRunningItsName) {
  Start();
  EXPECT_EQ(bridge.ScriptsFolder(), work.string() + "/scripts/");
  fs::create_directories(work / "elsewhere");
  fs::current_path(work);
  std::string path = Script("go.tcl", "cd elsewhere\n");
  EXPECT_TRUE(bridge.RunHook(path.c_str(), "Bob", ""));
  EXPECT_TRUE(bot.Sent().empty());
  EXPECT_EQ(fs::current_path(), work);
  // And again from the relative path, which only works if we really came back.
  ASSERT_TRUE(bridge.RunHook("scripts/go.tcl", "Bob", ""));
  EXPECT_EQ(fs::current_path(), work);
  EXPECT_TRUE(bot.Sent().empty());
  EXPECT_TRUE(bot.display().texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Names, HostileDirTest,
                         ::testing::Values("odd \"dir\" [BnetSend pwned] $tcl_version }{ \\",
                                           "run [BnetSend pwned] $tcl_version"));

}  // namespace
}  // namespace tolvik
