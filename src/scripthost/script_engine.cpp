#include "scripthost/script_engine.h"

#include <tcl.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

// Exported by libtcl but only declared in its private headers.
extern "C" void TclSetLibraryPath(Tcl_Obj* pathPtr);

namespace tolvik {
namespace {

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

ScriptEngine::~ScriptEngine() {
  if (interp_ != nullptr) Tcl_DeleteInterp(interp_);
}

void ScriptEngine::Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string line(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(line.data(), line.size() + 1, format, again);
  va_end(again);
  peer_.Print(line);
}

void ScriptEngine::ShowResult() {
  if (!ResultEmpty(interp_)) Print("Result = %s", Tcl_GetStringResult(interp_));
}

bool ScriptEngine::Init(const std::string& working_dir, const std::string& scripts_folder) {
  if (interp_ != nullptr) return true;
  working_dir_ = working_dir;
  interp_ = Tcl_CreateInterp();

  Tcl_Obj* folder = Tcl_NewStringObj(scripts_folder.data(), static_cast<int>(scripts_folder.size()));
  ObjRef library_path(Tcl_NewListObj(1, &folder));
  TclSetLibraryPath(library_path.get());

  const int init = Tcl_Init(interp_);
  ShowResult();
  if (init == TCL_ERROR) Print("ERROR - Failed to Initialize Script Interpreter");

  Tcl_CreateObjCommand(interp_, "BnetSend", BnetSendCmd, this, nullptr);
  Tcl_CreateObjCommand(interp_, "UserLevel", UserLevelCmd, this, nullptr);
  Tcl_CreateObjCommand(interp_, "BotName", BotNameCmd, this, nullptr);
  Tcl_CreateObjCommand(interp_, "BotChannel", BotChannelCmd, this, nullptr);
  // Tcl's own exit would end the interpreter's process and every procedure
  // scripts defined; a script's exit only stops that script, as an error.
  Tcl_CreateObjCommand(interp_, "exit", ExitCmd, this, nullptr);

  Tcl_CmdInfo cmd_count;
  if (Tcl_GetCommandInfo(interp_, "::tcl::info::cmdcount", &cmd_count) != 0 && cmd_count.objProc != nullptr) {
    cmd_count_proc_ = cmd_count.objProc;
    cmd_count_data_ = cmd_count.objClientData;
  }
  Tcl_ResetResult(interp_);
  // Scripts start where the bot's files are, wherever the bot was started from.
  ReturnToWorkingDir();
  return init != TCL_ERROR;
}

int ScriptEngine::CommandCount() {
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

void ScriptEngine::ArmLimits(std::chrono::milliseconds time_limit, int command_limit) {
  Tcl_Time deadline;
  Tcl_GetTime(&deadline);
  const long long usec = static_cast<long long>(deadline.usec) +
                         std::chrono::duration_cast<std::chrono::microseconds>(time_limit).count();
  deadline.sec += static_cast<long>(usec / 1000000);
  deadline.usec = static_cast<long>(usec % 1000000);
  Tcl_LimitSetTime(interp_, &deadline);
  Tcl_LimitTypeSet(interp_, TCL_LIMIT_TIME);

  // The command limit counts from the interpreter's total so far.
  const int count = CommandCount();
  if (count >= 0 && command_limit > 0 && count < std::numeric_limits<int>::max() - command_limit) {
    Tcl_LimitSetCommands(interp_, count + command_limit);
    Tcl_LimitTypeSet(interp_, TCL_LIMIT_COMMANDS);
  }
}

void ScriptEngine::DisarmLimits() {
  // Also clears the "exceeded" state, which would fail every later evaluation.
  Tcl_LimitTypeReset(interp_, TCL_LIMIT_TIME);
  Tcl_LimitTypeReset(interp_, TCL_LIMIT_COMMANDS);
}

void ScriptEngine::SetGlobal(const char* name, const char* value, int length) {
  Tcl_SetVar2Ex(interp_, name, nullptr, Tcl_NewStringObj(value, length), TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG);
  ShowResult();
}

bool ScriptEngine::Run(const std::string& path, const std::string& speaker, const std::string& text,
                       std::chrono::milliseconds time_limit, int command_limit) {
  if (interp_ == nullptr) return false;
  ArmLimits(time_limit, command_limit);
  if (!ResultEmpty(interp_)) Tcl_ResetResult(interp_);

  // The event's texts go in as variable values only, never as script text.
  SetGlobal("speaker", speaker.c_str(), static_cast<int>(speaker.size()));
  const size_t space = text.find(' ');
  if (space == std::string::npos) {
    SetGlobal("action", text.c_str(), static_cast<int>(text.size()));
    SetGlobal("data", "", 0);
  } else {
    SetGlobal("action", text.c_str(), static_cast<int>(space));
    SetGlobal("data", text.c_str() + space + 1, static_cast<int>(text.size() - space - 1));
  }

  const int code = Tcl_EvalFile(interp_, path.c_str());
  const bool out_of_time = Tcl_LimitTypeExceeded(interp_, TCL_LIMIT_TIME) != 0;
  const bool too_many_commands = Tcl_LimitTypeExceeded(interp_, TCL_LIMIT_COMMANDS) != 0;
  DisarmLimits();
  if (code == TCL_ERROR) {
    // The directory is left where the script stopped.
    Print("TCL_ERROR");
    if (!ResultEmpty(interp_))
      Print("Script contained an error and did not fully execute - %s", Tcl_GetStringResult(interp_));
    if (out_of_time)
      Print("Script %s was stopped: it ran longer than %.1f seconds", path.c_str(),
            static_cast<double>(time_limit.count()) / 1000.0);
    else if (too_many_commands)
      Print("Script %s was stopped: it ran more than %d commands", path.c_str(), command_limit);
    return false;
  }
  ReturnToWorkingDir();
  return true;
}

void ScriptEngine::ReturnToWorkingDir() {
  // The path is handed over as a value, so no character of it is ever
  // parsed as Tcl; and a script that redefined `cd` cannot get in the way.
  ObjRef dir(Tcl_NewStringObj(working_dir_.data(), static_cast<int>(working_dir_.size())));
  Tcl_FSChdir(dir.get());
}

int ScriptEngine::BnetSendCmd(void* client_data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  auto* self = static_cast<ScriptEngine*>(client_data);
  if (objc != 2) {
    self->Print("BnetSend requires one argument!");
    Tcl_SetObjResult(interp, Tcl_NewStringObj("BnetSend: wrong # of arguments", -1));
    return TCL_ERROR;
  }
  int length = 0;
  const char* text = Tcl_GetStringFromObj(objv[1], &length);
  if (length > 0) self->peer_.Send(std::string(text, CutAtCharacter(text, static_cast<size_t>(length), kMaxSendLength)));
  return TCL_OK;
}

int ScriptEngine::UserLevelCmd(void* client_data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
  auto* self = static_cast<ScriptEngine*>(client_data);
  if (objc != 2) {
    self->Print("UserLevel requires one argument!");
    Tcl_AppendResult(interp, "ERROR: UserLevel requires two arguments.", nullptr);
    return TCL_ERROR;
  }
  const int level = std::atoi(self->peer_.Ask("UserLevel", Tcl_GetString(objv[1])).c_str());
  if (!ResultEmpty(interp)) {
    self->Print("Could not set variable $userlevel - %s", Tcl_GetStringResult(interp));
    self->Print("Result = %s", Tcl_GetStringResult(interp));
  }
  Tcl_SetObjResult(interp, Tcl_NewIntObj(level));
  return TCL_OK;
}

int ScriptEngine::BotNameCmd(void* client_data, Tcl_Interp* interp, int objc, Tcl_Obj* const[]) {
  auto* self = static_cast<ScriptEngine*>(client_data);
  if (objc != 1) {
    self->Print("BotName takes no arguments!");
    Tcl_AppendResult(interp, "ERROR: BotName takes no arguments.", nullptr);
    return TCL_ERROR;
  }
  self->ShowResult();
  const std::string name = self->peer_.Ask("BotName", "");
  Tcl_SetObjResult(interp, Tcl_NewStringObj(name.data(), static_cast<int>(name.size())));
  return TCL_OK;
}

int ScriptEngine::BotChannelCmd(void* client_data, Tcl_Interp* interp, int objc, Tcl_Obj* const[]) {
  auto* self = static_cast<ScriptEngine*>(client_data);
  if (objc != 1) {
    self->Print("BotChannel takes no arguments!");
    Tcl_AppendResult(interp, "ERROR: BotChannel takes no arguments.", nullptr);
    return TCL_ERROR;
  }
  self->ShowResult();
  const std::string channel = self->peer_.Ask("BotChannel", "");
  Tcl_SetObjResult(interp, Tcl_NewStringObj(channel.data(), static_cast<int>(channel.size())));
  return TCL_OK;
}

int ScriptEngine::ExitCmd(void*, Tcl_Interp* interp, int, Tcl_Obj* const[]) {
  Tcl_SetObjResult(interp, Tcl_NewStringObj("exit is not available to bot scripts", -1));
  return TCL_ERROR;
}

}  // namespace tolvik
