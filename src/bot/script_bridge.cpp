#include "bot/script_bridge.h"

#include <tcl.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>

#include "app/chat_display.h"
#include "bot/bot_context.h"
#include "net/outgoing_queue.h"

// Exported by libtcl but only declared in its private headers.
extern "C" void TclSetLibraryPath(Tcl_Obj* pathPtr);

namespace tolvik {

namespace {

// Tcl gives up on the process when memory runs out or a value would grow
// past 2 GB. There is no way back from that; leave the reason behind.
[[noreturn]] void OnTclPanic(const char* format, ...) {
  std::fputs("tolvik: the Tcl library stopped the program (a script may have built a value too large "
             "for memory): ",
             stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  std::abort();
}

// Tcl's process-wide setup (encodings, notifier, executable name) runs once,
// before the first interpreter of the process.
void InitTclProcess() {
  static std::once_flag once;
  std::call_once(once, [] {
    Tcl_SetPanicProc(OnTclPanic);
    Tcl_FindExecutable(nullptr);
  });
}

// Length of the longest prefix of `text` (of `length` bytes) that is at most
// `max` bytes and does not end inside a UTF-8 sequence.
size_t CutAtCharacter(const char* text, size_t length, size_t max) {
  if (length <= max) return length;
  size_t cut = max;
  // Step back over continuation bytes to the start of the split character.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

// The object stays alive while the guard does, whatever Tcl does with it.
class ObjRef {
 public:
  explicit ObjRef(Tcl_Obj* obj) : obj_(obj) { Tcl_IncrRefCount(obj_); }
  ~ObjRef() { Tcl_DecrRefCount(obj_); }
  ObjRef(const ObjRef&) = delete;
  ObjRef& operator=(const ObjRef&) = delete;
  Tcl_Obj* get() const { return obj_; }

 private:
  Tcl_Obj* obj_;
};

bool ResultEmpty(Tcl_Interp* interp) { return Tcl_GetStringResult(interp)[0] == '\0'; }

}  // namespace

ScriptBridge::ScriptBridge(BotContext& bot, LevelLookup user_level)
    : bot_(bot), user_level_(std::move(user_level)) {}

ScriptBridge::~ScriptBridge() {
  if (interp_ != nullptr) Tcl_DeleteInterp(interp_);
}

void ScriptBridge::ShowResult() const {
  if (!ResultEmpty(interp_)) bot_.Display().print(TextType::BotInfo, "Result = %s", Tcl_GetStringResult(interp_));
}

void ScriptBridge::CreateInterpreter() {
  if (interp_ != nullptr) return;
  InitTclProcess();
  working_dir_ = bot_.WorkingDir();
  scripts_folder_ = working_dir_ + "/scripts/";

  interp_ = Tcl_CreateInterp();

  Tcl_Obj* folder = Tcl_NewStringObj(scripts_folder_.data(), static_cast<int>(scripts_folder_.size()));
  ObjRef library_path(Tcl_NewListObj(1, &folder));
  TclSetLibraryPath(library_path.get());

  int init = Tcl_Init(interp_);
  ShowResult();
  if (init == TCL_ERROR) bot_.Display().print(TextType::BotInfo, "ERROR - Failed to Initialize Script Interpreter");

  Tcl_CreateObjCommand(interp_, "BnetSend", BnetSendCmd, this, nullptr);
  Tcl_CreateObjCommand(interp_, "UserLevel", UserLevelCmd, this, nullptr);
  Tcl_CreateObjCommand(interp_, "BotName", BotNameCmd, this, nullptr);
  Tcl_CreateObjCommand(interp_, "BotChannel", BotChannelCmd, this, nullptr);
  // Tcl's own exit would end the whole bot from inside an event handler;
  // in its place a script's exit only stops that script, as an error.
  Tcl_CreateObjCommand(interp_, "exit", ExitCmd, this, nullptr);

  Tcl_CmdInfo cmd_count;
  if (Tcl_GetCommandInfo(interp_, "::tcl::info::cmdcount", &cmd_count) != 0 && cmd_count.objProc != nullptr) {
    cmd_count_proc_ = cmd_count.objProc;
    cmd_count_data_ = cmd_count.objClientData;
  }
}

int ScriptBridge::CommandCount() {
  if (cmd_count_proc_ == nullptr) return -1;
  ObjRef word(Tcl_NewStringObj("cmdcount", -1));
  Tcl_Obj* objv[] = {word.get()};
  int count = -1;
  if (cmd_count_proc_(cmd_count_data_, interp_, 1, objv) != TCL_OK ||
      Tcl_GetIntFromObj(nullptr, Tcl_GetObjResult(interp_), &count) != TCL_OK)
    count = -1;
  Tcl_ResetResult(interp_);
  return count;
}

void ScriptBridge::ArmLimits() {
  Tcl_Time deadline;
  Tcl_GetTime(&deadline);
  const long long usec = static_cast<long long>(deadline.usec) +
                         std::chrono::duration_cast<std::chrono::microseconds>(time_limit_).count();
  deadline.sec += static_cast<long>(usec / 1000000);
  deadline.usec = static_cast<long>(usec % 1000000);
  Tcl_LimitSetTime(interp_, &deadline);
  Tcl_LimitTypeSet(interp_, TCL_LIMIT_TIME);

  // The command limit counts from the interpreter's total so far.
  const int count = CommandCount();
  if (count >= 0 && count < std::numeric_limits<int>::max() - command_limit_) {
    Tcl_LimitSetCommands(interp_, count + command_limit_);
    Tcl_LimitTypeSet(interp_, TCL_LIMIT_COMMANDS);
  }
}

void ScriptBridge::DisarmLimits() {
  // Also clears the "exceeded" state, which would fail every later evaluation.
  Tcl_LimitTypeReset(interp_, TCL_LIMIT_TIME);
  Tcl_LimitTypeReset(interp_, TCL_LIMIT_COMMANDS);
}

void ScriptBridge::SetGlobal(const char* name, const char* value, int length) {
  Tcl_SetVar2Ex(interp_, name, nullptr, Tcl_NewStringObj(value, length), TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG);
  ShowResult();
}

bool ScriptBridge::RunHook(const char* path, const char* speaker, const char* text) {
  if (interp_ == nullptr) return false;
  ArmLimits();
  if (!ResultEmpty(interp_)) Tcl_ResetResult(interp_);

  // The event's texts go in as variable values only, never as script text.
  SetGlobal("speaker", speaker, -1);
  const char* space = std::strchr(text, ' ');
  if (space == nullptr) {
    SetGlobal("action", text, -1);
    SetGlobal("data", "", 0);
  } else {
    SetGlobal("action", text, static_cast<int>(space - text));
    SetGlobal("data", space + 1, -1);
  }

  const int code = Tcl_EvalFile(interp_, path);
  const bool out_of_time = Tcl_LimitTypeExceeded(interp_, TCL_LIMIT_TIME) != 0;
  const bool too_many_commands = Tcl_LimitTypeExceeded(interp_, TCL_LIMIT_COMMANDS) != 0;
  DisarmLimits();
  if (code == TCL_ERROR) {
    // The directory is left where the script stopped.
    bot_.Display().print(TextType::BotInfo, "TCL_ERROR");
    if (!ResultEmpty(interp_))
      bot_.Display().print(TextType::BotInfo, "Script contained an error and did not fully execute - %s",
                           Tcl_GetStringResult(interp_));
    if (out_of_time)
      bot_.Display().print(TextType::BotInfo, "Script %s was stopped: it ran longer than %.1f seconds", path,
                           static_cast<double>(time_limit_.count()) / 1000.0);
    else if (too_many_commands)
      bot_.Display().print(TextType::BotInfo, "Script %s was stopped: it ran more than %d commands", path,
                           command_limit_);
    return false;
  }
  ReturnToWorkingDir();
  return true;
}

void ScriptBridge::ReturnToWorkingDir() {
  // The path is handed over as a value, so no character of it is ever
  // parsed as Tcl; and a script that redefined `cd` cannot get in the way.
  ObjRef dir(Tcl_NewStringObj(working_dir_.data(), static_cast<int>(working_dir_.size())));
  Tcl_FSChdir(dir.get());
}

int ScriptBridge::BnetSendCmd(void* client_data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  auto* self = static_cast<ScriptBridge*>(client_data);
  if (objc != 2) {
    self->bot_.Display().print(TextType::BotInfo, "BnetSend requires one argument!");
    Tcl_SetObjResult(interp, Tcl_NewStringObj("BnetSend: wrong # of arguments", -1));
    return TCL_ERROR;
  }
  int length = 0;
  const char* text = Tcl_GetStringFromObj(objv[1], &length);
  if (length > 0) {
    int cut = static_cast<int>(CutAtCharacter(text, static_cast<size_t>(length), kMaxSendLength));
    self->bot_.Queue().Say("%.*s\n", cut, text);
  }
  return TCL_OK;
}

int ScriptBridge::UserLevelCmd(void* client_data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  auto* self = static_cast<ScriptBridge*>(client_data);
  ChatDisplay& display = self->bot_.Display();
  if (objc != 2) {
    display.print(TextType::BotInfo, "UserLevel requires one argument!");
    Tcl_AppendResult(interp, "ERROR: UserLevel requires two arguments.", nullptr);
    return TCL_ERROR;
  }
  int level = self->user_level_ ? self->user_level_(Tcl_GetString(objv[1])) : 0;
  if (!ResultEmpty(interp)) {
    display.print(TextType::BotInfo, "Could not set variable $userlevel - %s", Tcl_GetStringResult(interp));
    display.print(TextType::BotInfo, "Result = %s", Tcl_GetStringResult(interp));
  }
  Tcl_SetObjResult(interp, Tcl_NewIntObj(level));
  return TCL_OK;
}

int ScriptBridge::BotNameCmd(void* client_data, Tcl_Interp* interp, int objc, Tcl_Obj* const[]) {
  auto* self = static_cast<ScriptBridge*>(client_data);
  if (objc != 1) {
    self->bot_.Display().print(TextType::BotInfo, "BotName takes no arguments!");
    Tcl_AppendResult(interp, "ERROR: BotName takes no arguments.", nullptr);
    return TCL_ERROR;
  }
  self->ShowResult();
  Tcl_SetObjResult(interp, Tcl_NewStringObj(self->bot_.OwnName(), -1));
  return TCL_OK;
}

int ScriptBridge::BotChannelCmd(void* client_data, Tcl_Interp* interp, int objc, Tcl_Obj* const[]) {
  auto* self = static_cast<ScriptBridge*>(client_data);
  if (objc != 1) {
    self->bot_.Display().print(TextType::BotInfo, "BotChannel takes no arguments!");
    Tcl_AppendResult(interp, "ERROR: BotChannel takes no arguments.", nullptr);
    return TCL_ERROR;
  }
  self->ShowResult();
  Tcl_SetObjResult(interp, Tcl_NewStringObj(self->bot_.CurrentChannel(), -1));
  return TCL_OK;
}

int ScriptBridge::ExitCmd(void*, Tcl_Interp* interp, int, Tcl_Obj* const[]) {
  Tcl_SetObjResult(interp, Tcl_NewStringObj("exit is not available to bot scripts", -1));
  return TCL_ERROR;
}

}  // namespace tolvik
