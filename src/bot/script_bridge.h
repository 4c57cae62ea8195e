#pragma once
// The bot's one Tcl interpreter: user scripts run on chat events and in place
// of command words, and reach the chat through four commands of ours
// (BnetSend, UserLevel, BotName, BotChannel).
//
// Threads: the interpreter belongs to the thread that created it; create it,
// run hooks and destroy the bridge on the main thread only.
//
// A script runs in the process's current directory and may change it (Tcl
// `cd` changes the process directory); after every script that finishes
// without error the bridge returns to the bot's working directory.
//
// Runaway scripts: every run is bounded by Tcl's own resource limits, a time
// limit and a command count, armed afresh before each run and lifted after
// it. A script that passes either is unwound (`catch` cannot hold it), the
// stop is shown in the chat display and the interpreter, with everything the
// script defined, serves the next hook as before. Limits are checked between
// Tcl's bytecode instructions and commands, so a loop of any kind is stopped.
//
// What cannot be contained: a single Tcl command that runs long inside C code
// (a blocking read, a huge `lsort`) is only stopped when it returns (`after`
// and `vwait` do watch the time limit); the command count does not see commands compiled into a script
// file's top level (the time limit still does); and Tcl ends the process
// (Tcl_Panic, then abort) when an allocation fails or a value would pass
// 2 GB, e.g. `set x a; while 1 {append x $x}` doubling faster than the time
// limit. Tcl offers no hook to refuse such an allocation, so the bridge only
// makes the cause visible: the panic message is written to standard error
// before the process ends. BnetSend never copies more than 250 characters
// of its argument.
#include <chrono>
#include <functional>
#include <string>

struct Tcl_Interp;
struct Tcl_Obj;

namespace tolvik {

class BotContext;

class ScriptBridge {
 public:
  // The access level of a name (0 when the name is not listed).
  using LevelLookup = std::function<int(const char* name)>;

  // Longest text one BnetSend call sends; the rest is cut off.
  static constexpr size_t kMaxSendLength = 250;
  // A hook running longer than this is stopped.
  static constexpr std::chrono::milliseconds kDefaultTimeLimit{5000};
  // A hook running more Tcl commands than this is stopped (well beyond what a
  // hook does in the time limit; a bound that does not depend on the clock).
  static constexpr int kDefaultCommandLimit = 10'000'000;

  // `bot` must outlive the bridge; it is not asked anything (not even its
  // working directory) before CreateInterpreter().
  ScriptBridge(BotContext& bot, LevelLookup user_level);
  ~ScriptBridge();
  ScriptBridge(const ScriptBridge&) = delete;
  ScriptBridge& operator=(const ScriptBridge&) = delete;

  // Creates the interpreter (once; later calls do nothing): library path,
  // Tcl's own initialisation, then the bot's commands. Problems are shown in
  // the chat display and the bot goes on with whatever the interpreter can do.
  void CreateInterpreter();
  bool HasInterpreter() const { return interp_ != nullptr; }
  // How long one hook may run (tests shorten it).
  void SetTimeLimit(std::chrono::milliseconds limit) { time_limit_ = limit; }
  // How many Tcl commands one hook may run (tests lower it).
  void SetCommandLimit(int commands) { command_limit_ = commands; }

  // Sets `speaker`, `action` (text up to the first space) and `data` (text
  // after it), evaluates the script file at `path` (absolute or relative to
  // the current directory), and reports a failure in the chat display.
  // Returns true when the script ran to its end without error; false also
  // when there is no interpreter.
  bool RunHook(const char* path, const char* speaker, const char* text);

  // The folder set as Tcl's library path: working directory + "/scripts/".
  const std::string& ScriptsFolder() const { return scripts_folder_; }

 private:
  // Tcl object commands; client data is the bridge.
  static int BnetSendCmd(void* bridge, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
  static int UserLevelCmd(void* bridge, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
  static int BotNameCmd(void* bridge, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
  static int BotChannelCmd(void* bridge, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
  static int ExitCmd(void* bridge, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);

  void ShowResult() const;
  void SetGlobal(const char* name, const char* value, int length);
  void ReturnToWorkingDir();
  // Sets the time and command limits for one run, and lifts them after it.
  void ArmLimits();
  void DisarmLimits();
  // Commands the interpreter has run so far (`info cmdcount`).
  int CommandCount();

  BotContext& bot_;
  LevelLookup user_level_;
  std::string working_dir_;
  std::string scripts_folder_;
  Tcl_Interp* interp_ = nullptr;
  std::chrono::milliseconds time_limit_ = kDefaultTimeLimit;
  int command_limit_ = kDefaultCommandLimit;
  // Tcl's own `info cmdcount`, taken when the interpreter is created so that
  // a script that renames or redefines `info` cannot move the command limit.
  int (*cmd_count_proc_)(void*, Tcl_Interp*, int, Tcl_Obj* const*) = nullptr;
  void* cmd_count_data_ = nullptr;
};

}  // namespace tolvik
