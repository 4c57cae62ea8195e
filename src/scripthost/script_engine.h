#pragma once
// The Tcl interpreter of the script host: user scripts run here, in a
// process of their own, and reach the bot only through a ScriptPeer.
//
// Runaway scripts: every run is bounded by Tcl's own resource limits, a time
// limit and a command count, armed afresh before each run and lifted after
// it. A script that passes either is unwound (`catch` cannot hold it), the
// stop is reported and the interpreter, with everything the script defined,
// serves the next hook as before. What Tcl cannot stop (a command blocked in
// C code, `exec sleep`, a value growing past memory) the bot stops from
// outside by ending this process.
#include <chrono>
#include <string>

struct Tcl_Interp;
struct Tcl_Obj;

namespace tolvik {

// What the interpreter needs from the bot.
class ScriptPeer {
 public:
  virtual ~ScriptPeer() = default;
  // A line for the chat display.
  virtual void Print(const std::string& line) = 0;
  // A line for the outgoing queue.
  virtual void Send(const std::string& line) = 0;
  // "UserLevel" with a name, "BotName" or "BotChannel": the bot's answer.
  virtual std::string Ask(const std::string& what, const std::string& argument) = 0;
};

class ScriptEngine {
 public:
  // Longest text one BnetSend call sends; the rest is cut off.
  static constexpr size_t kMaxSendLength = 250;

  explicit ScriptEngine(ScriptPeer& peer) : peer_(peer) {}
  ~ScriptEngine();
  ScriptEngine(const ScriptEngine&) = delete;
  ScriptEngine& operator=(const ScriptEngine&) = delete;

  // Creates the interpreter: library path, Tcl's own initialisation, then
  // the bot's commands. False when Tcl_Init failed (the interpreter still
  // runs scripts with what it has).
  bool Init(const std::string& working_dir, const std::string& scripts_folder);

  // Sets `speaker`, `action` and `data`, evaluates the script file and
  // reports a failure. True when the script ran to its end without error.
  bool Run(const std::string& path, const std::string& speaker, const std::string& text,
           std::chrono::milliseconds time_limit, int command_limit);

 private:
  static int BnetSendCmd(void* engine, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
  static int UserLevelCmd(void* engine, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
  static int BotNameCmd(void* engine, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
  static int BotChannelCmd(void* engine, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);
  static int ExitCmd(void* engine, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]);

  void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void ShowResult();
  void SetGlobal(const char* name, const char* value, int length);
  void ReturnToWorkingDir();
  void ArmLimits(std::chrono::milliseconds time_limit, int command_limit);
  void DisarmLimits();
  int CommandCount();

  ScriptPeer& peer_;
  std::string working_dir_;
  Tcl_Interp* interp_ = nullptr;
  // Tcl's own `info cmdcount`, taken when the interpreter is created so that
  // a script that renames or redefines `info` cannot move the command limit.
  int (*cmd_count_proc_)(void*, Tcl_Interp*, int, Tcl_Obj* const*) = nullptr;
  void* cmd_count_data_ = nullptr;
};

}  // namespace tolvik
