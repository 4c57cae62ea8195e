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

  BotContext& bot_;
  LevelLookup user_level_;
  std::string working_dir_;
  std::string scripts_folder_;
  Tcl_Interp* interp_ = nullptr;
};

}  // namespace tolvik
