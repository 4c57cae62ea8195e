#include "bot/script_bridge.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>
#include <string>
#include <vector>

#include "bot/bot_context.h"
#include "bot/hook_interrupt.h"
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
  // Scripts run in their own process: whatever they do, the bot stays where it is.
  const fs::path bot_dir = fs::current_path();

  // Scripts start in the working directory, and relative paths are found
  // from it again after a script moved away.
  ASSERT_TRUE(bridge.RunHook("scripts/wander.tcl", "Bob", ""));
  ASSERT_TRUE(bridge.RunHook("scripts/where.tcl", "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"elsewhere\n", work.string() + "\n"}));

  EXPECT_FALSE(bridge.RunHook("scripts/fail.tcl", "Bob", ""));
  EXPECT_EQ(bot.display().texts(),
            (std::vector<std::string>{"TCL_ERROR", "Script contained an error and did not fully execute - gave up"}));
  // The failed script's directory stays, so the relative path no longer resolves.
  EXPECT_FALSE(bridge.RunHook("scripts/where.tcl", "Bob", ""));

  // A script that succeeds from anywhere brings the scripts home, even one
  // that took the `cd` command away.
  ASSERT_TRUE(bridge.RunHook(Script("nocd.tcl", "cd /\nrename cd {}\n").c_str(), "Bob", ""));
  ASSERT_TRUE(bridge.RunHook("scripts/where.tcl", "Bob", ""));
  EXPECT_EQ(bot.Sent().back(), work.string() + "\n");
  EXPECT_EQ(fs::current_path(), bot_dir);
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

// ---- Scripts that would take the bot down, hold its memory or make it
// deaf: each ends at most its own script host; the bot says so, goes on, and
// the next hook gets a new host.

using namespace std::chrono_literals;

// Whether the process is gone (or only waiting to be collected), within two seconds.
bool ProcessGone(pid_t pid) {
  for (int i = 0; i < 200; ++i) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pid_field, name, state;
    if (!(stat >> pid_field >> name >> state) || state == "Z") return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

class HostileScriptTest : public ScriptBridgeTest {
 protected:
  static constexpr size_t kMemory = size_t{96} << 20;

  void SetUp() override {
    bridge.SetMemoryLimit(kMemory);
    Start();
    ASSERT_TRUE(bridge.RunHook(Script("define.tcl", "proc defined {} {}\n").c_str(), "Bob", ""));
    first_host = bridge.HostPid();
  }

  // The next hook is answered as ever, by a new host that knows nothing of
  // what earlier scripts defined.
  void ExpectAnsweringAfresh() {
    ASSERT_TRUE(bridge.RunHook(Script("alive.tcl", "BnetSend \"alive [BotName] <[info procs defined]>\"\n").c_str(),
                               "Bob", ""));
    ASSERT_FALSE(bot.Sent().empty());
    EXPECT_EQ(bot.Sent().back(), "alive ModBot <>\n");
    EXPECT_NE(bridge.HostPid(), first_host);
    EXPECT_TRUE(ProcessGone(first_host));
  }

  bool Shows(const std::string& line) { return bot.display().contains(line); }
  bool ShowsLineStartingWith(const std::string& start) {
    for (const std::string& line : bot.display().texts())
      if (line.rfind(start, 0) == 0) return true;
    return false;
  }

  static constexpr const char* kRestarted =
      "The script interpreter was restarted: procedures and variables of earlier scripts are gone";
  pid_t first_host = -1;
};

TEST_F(HostileScriptTest, DoublingAValuePastMemoryEndsOnlyTheScriptHost) {
  if (!script_wire::kMemoryLimitApplies) GTEST_SKIP() << "no address-space limit under sanitizers";
  const std::string path = Script("double.tcl", "BnetSend before\nset x a\nwhile 1 {append x $x}\n");
  EXPECT_FALSE(bridge.RunHook(path.c_str(), "Bob", ""));
  // Tcl's reason comes first, then how the host ended, then the restart.
  EXPECT_TRUE(ShowsLineStartingWith("Tcl stopped the script interpreter: ")) << bot.display().texts().size();
  EXPECT_TRUE(Shows("Script " + path + " ended the script interpreter (killed by signal 6 (Aborted))"));
  EXPECT_TRUE(Shows(kRestarted));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"before\n"}));
  EXPECT_FALSE(bridge.HasInterpreter());
  ExpectAnsweringAfresh();
}

TEST_F(HostileScriptTest, AHostLeftHoldingMemoryIsReplacedAtHalfItsLimit) {
  if (!script_wire::kMemoryLimitApplies) GTEST_SKIP() << "no address-space limit under sanitizers";
  // A value the host keeps under half the limit stays for later hooks...
  ASSERT_TRUE(bridge.RunHook(Script("keep.tcl", "set ::kept [string repeat x 20000000]\n").c_str(), "Bob", ""));
  ASSERT_TRUE(bridge.RunHook(Script("size.tcl", "BnetSend [string length $::kept]\n").c_str(), "Bob", ""));
  EXPECT_EQ(bot.Sent().back(), "20000000\n");
  EXPECT_EQ(bridge.HostPid(), first_host);
  EXPECT_TRUE(bot.display().texts().empty());
  // ...but a list grown until memory ran out (Tcl reports that as the
  // script's error) leaves the host holding it all: that host is ended.
  const std::string path = Script("grow.tcl", "while 1 {lappend l [string repeat y 1000000]}\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(bridge.RunHook(path.c_str(), "Bob", ""));
  EXPECT_LT(std::chrono::steady_clock::now() - start, ScriptBridge::kDefaultTimeLimit);
  EXPECT_TRUE(ShowsLineStartingWith("Script contained an error and did not fully execute - "));
  EXPECT_TRUE(ShowsLineStartingWith("Script " + path + " left the script interpreter holding "));
  EXPECT_TRUE(Shows(kRestarted));
  EXPECT_TRUE(ProcessGone(first_host));
  ExpectAnsweringAfresh();
}

TEST_F(HostileScriptTest, AScriptBlockedInACommandIsEndedJustAfterTheTimeLimit) {
  bridge.SetTimeLimit(300ms);
  // The shell writes its process id and becomes the sleep.
  const std::string path = Script("sleep.tcl", "exec sh -c {echo $$ > sleeper.pid; exec sleep 30}\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(bridge.RunHook(path.c_str(), "Bob", ""));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 300ms + ScriptBridge::kStopGrace);
  EXPECT_LT(took, 10s);  // nowhere near the sleep's 30 s
  EXPECT_EQ(bot.display().texts(),
            (std::vector<std::string>{"Script " + path + " was stopped: it ran longer than 0.3 seconds", kRestarted}));
  // What the script started goes with its host.
  std::ifstream pid_file(work / "sleeper.pid");
  pid_t sleeper = -1;
  ASSERT_TRUE(pid_file >> sleeper);
  EXPECT_TRUE(ProcessGone(sleeper));
  bridge.SetTimeLimit(ScriptBridge::kDefaultTimeLimit);
  ExpectAnsweringAfresh();
}

TEST_F(HostileScriptTest, AHostKilledUnderAScriptIsReportedAndReplaced) {
  const std::string path = Script("suicide.tcl", "exec kill -9 [pid]\n");
  EXPECT_FALSE(bridge.RunHook(path.c_str(), "Bob", ""));
  EXPECT_EQ(bot.display().texts(),
            (std::vector<std::string>{"Script " + path + " ended the script interpreter (killed by signal 9 (Killed))",
                                      kRestarted}));
  ExpectAnsweringAfresh();
}

TEST_F(HostileScriptTest, ScriptsDoNotReadTheBotsInput) {
  ASSERT_TRUE(bridge.RunHook(Script("read.tcl", "BnetSend \"read:[gets stdin]:[eof stdin]\"\n").c_str(), "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"read::1\n"}));
}

TEST_F(HostileScriptTest, AStopSignalEndsTheRunningHookAtOnceAndEveryLaterOne) {
  const std::string path = Script("spin.tcl", "while 1 {}\n");
  // The default time limit: only the signal can end this hook early.
  std::thread signaller([] {
    std::this_thread::sleep_for(300ms);
    InterruptScriptHooks();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(bridge.RunHook(path.c_str(), "Bob", ""));
  const auto took = std::chrono::steady_clock::now() - start;
  signaller.join();
  EXPECT_LT(took, ScriptBridge::kDefaultTimeLimit);
  EXPECT_EQ(bot.display().texts(), (std::vector<std::string>{"Script " + path + " was stopped: the bot is closing"}));
  EXPECT_TRUE(bridge.Stopped());
  EXPECT_FALSE(bridge.HasInterpreter());
  EXPECT_TRUE(ProcessGone(first_host));
  // The close that follows runs no script.
  const std::string alive = Script("alive.tcl", "BnetSend alive\n");
  EXPECT_FALSE(bridge.RunHook(alive.c_str(), "Bob", ""));
  EXPECT_TRUE(bot.Sent().empty());

  // A bridge made after the signal is not stopped by it.
  ScriptBridge later(bot, nullptr);
  later.CreateInterpreter();
  EXPECT_TRUE(later.RunHook(alive.c_str(), "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"alive\n"}));
}

TEST_F(HostileScriptTest, StopEndsTheHostAndNoHookRunsAfterIt) {
  EXPECT_FALSE(bridge.Stopped());
  bridge.Stop();
  EXPECT_TRUE(bridge.Stopped());
  EXPECT_FALSE(bridge.HasInterpreter());
  EXPECT_TRUE(ProcessGone(first_host));
  EXPECT_FALSE(bridge.RunHook(Script("alive.tcl", "BnetSend alive\n").c_str(), "Bob", ""));
  EXPECT_TRUE(bot.Sent().empty());
  EXPECT_TRUE(bot.display().texts().empty());
}

TEST_F(ScriptBridgeTest, AnInitScriptThatNeverEndsGetsNoMoreTimeThanAHook) {
  // Tcl's start-up runs the init.tcl its library search finds first; one
  // named by the environment, here the user's own.
  Script("init.tcl", "while 1 {}\n");
  bridge.SetTimeLimit(300ms);
  const auto start = std::chrono::steady_clock::now();
  ::setenv("TCL_LIBRARY", (work / "scripts").c_str(), 1);
  bridge.CreateInterpreter();
  ::unsetenv("TCL_LIBRARY");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_FALSE(bridge.HasInterpreter());
  EXPECT_EQ(bot.display().texts(),
            (std::vector<std::string>{"ERROR - Failed to Initialize Script Interpreter",
                                      "The script interpreter could not be started: killed by signal 9 (Killed)"}));
  // Without the runaway init.tcl the next hook starts a host as usual.
  fs::remove(work / "scripts" / "init.tcl");
  EXPECT_TRUE(bridge.RunHook(Script("a.tcl", "BnetSend up\n").c_str(), "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"up\n"}));
}

TEST_F(ScriptBridgeTest, AMissingScriptHostIsReportedAndNoHookRuns) {
  const std::string saved = FindScriptHostProgram();
  SetScriptHostProgram("/nonexistent/tolvik-scripthost");
  bridge.CreateInterpreter();
  SetScriptHostProgram(saved);
  EXPECT_FALSE(bridge.HasInterpreter());
  ASSERT_GE(bot.display().texts().size(), 2u);
  EXPECT_EQ(bot.display().texts()[0], "ERROR - Failed to Initialize Script Interpreter");
  EXPECT_EQ(bot.display().texts()[1].rfind("The script interpreter could not be started: /nonexistent/", 0), 0u);
  // The bot goes on; once the program is there again the next hook starts it.
  EXPECT_TRUE(bridge.RunHook(Script("a.tcl", "BnetSend back\n").c_str(), "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{"back\n"}));
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
  std::string path = Script("go.tcl", "cd elsewhere\n");
  EXPECT_TRUE(bridge.RunHook(path.c_str(), "Bob", ""));
  EXPECT_TRUE(bot.Sent().empty());
  // And again from the relative path, which only works if we really came back.
  ASSERT_TRUE(bridge.RunHook("scripts/go.tcl", "Bob", ""));
  EXPECT_TRUE(bot.Sent().empty());
  ASSERT_TRUE(bridge.RunHook(Script("where.tcl", "BnetSend [pwd]\n").c_str(), "Bob", ""));
  EXPECT_EQ(bot.Sent(), (std::vector<std::string>{work.string() + "\n"}));
  EXPECT_TRUE(bot.display().texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Names, HostileDirTest,
                         ::testing::Values("odd \"dir\" [BnetSend pwned] $tcl_version }{ \\",
                                           "run [BnetSend pwned] $tcl_version"));

}  // namespace
}  // namespace tolvik
