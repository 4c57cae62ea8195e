#include "bot/script_bridge.h"

#include <tcl.h>

#include <cstring>
#include <mutex>

#include "app/chat_display.h"
#include "bot/bot_context.h"
#include "net/outgoing_queue.h"

// Exported by libtcl but only declared in its private headers.
extern "C" void TclSetLibraryPath(Tcl_Obj* pathPtr);

namespace tolvik {

namespace {

// Tcl's process-wide setup (encodings, notifier, executable name) runs once,
// before the first interpreter of the process.
void InitTclProcess() {
  static std::once_flag once;
  std::call_once(once, [] { Tcl_FindExecutable(nullptr); });
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
}

void ScriptBridge::SetGlobal(const char* name, const char* value, int length) {
  Tcl_SetVar2Ex(interp_, name, nullptr, Tcl_NewStringObj(value, length), TCL_GLOBAL_ONLY | TCL_LEAVE_ERR_MSG);
  ShowResult();
}

bool ScriptBridge::RunHook(const char* path, const char* speaker, const char* text) {
  if (interp_ == nullptr) return false;
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

  if (Tcl_EvalFile(interp_, path) == TCL_ERROR) {
    // The directory is left where the script stopped.
    bot_.Display().print(TextType::BotInfo, "TCL_ERROR");
    if (!ResultEmpty(interp_))
      bot_.Display().print(TextType::BotInfo, "Script contained an error and did not fully execute - %s",
                           Tcl_GetStringResult(interp_));
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
