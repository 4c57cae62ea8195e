#pragma once
// The bot's script hooks: user Tcl scripts run on chat events and in place
// of command words, and reach the chat through four commands of ours
// (BnetSend, UserLevel, BotName, BotChannel).
//
// The Tcl interpreter lives in a process of its own, the script host
// (tolvik-scripthost), which the bridge starts and talks to over a socket:
// the hook's variables go over, BnetSend lines, display lines and the
// answers scripts ask for come back. So a script can neither crash the bot
// nor hold its memory: the host runs under a memory limit, and when it dies
// (Tcl ends a process whose memory runs out) or is left holding more than
// half of that limit after a hook, the bot says so in the chat display and
// starts a new host for the next hook.
//
// Runaway scripts: the host stops a hook at the time limit or the command
// count and keeps what scripts defined; what the host cannot stop (a command
// blocked inside C code such as `exec sleep 30`) the bridge stops by ending
// the host shortly after the time limit. A hook therefore holds up the main
// thread for at most the time limit plus kStopGrace, and not at all once a
// close has begun: Stop(), or a stop signal (InterruptScriptHooks), ends the
// running hook at once and no further hook runs.
//
// Each start of the host begins with a fresh interpreter: procedures and
// variables of earlier scripts are gone after the host was ended or died.
// Scripts run in the host's current directory, the bot's working directory
// at first; after every script that finishes without error the host
// returns there. The bot's own process directory is never changed.
//
// Threads: create, run hooks and destroy the bridge on the main thread only.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "bot/script_host_process.h"
#include "bot/script_wire.h"

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
  // How long past the time limit the host gets to stop a hook itself before
  // it is ended from outside.
  static constexpr std::chrono::milliseconds kStopGrace{500};
  // A hook running more Tcl commands than this is stopped (well beyond what a
  // hook does in the time limit; a bound that does not depend on the clock).
  static constexpr int kDefaultCommandLimit = 10'000'000;
  // The host's address space: Tcl, its library and what scripts keep.
  static constexpr size_t kDefaultMemoryLimit = size_t{256} << 20;

  // `bot` must outlive the bridge; it is not asked anything (not even its
  // working directory) before CreateInterpreter().
  ScriptBridge(BotContext& bot, LevelLookup user_level);
  ~ScriptBridge();
  ScriptBridge(const ScriptBridge&) = delete;
  ScriptBridge& operator=(const ScriptBridge&) = delete;

  // Starts the script host (once; later calls do nothing): library path,
  // Tcl's own initialisation, then the bot's commands. Problems are shown in
  // the chat display and the bot goes on with whatever the interpreter can do.
  void CreateInterpreter();
  // A script host is running now.
  bool HasInterpreter() const { return host_.Running(); }
  // How long one hook may run (tests shorten it).
  void SetTimeLimit(std::chrono::milliseconds limit) { time_limit_ = limit; }
  // How many Tcl commands one hook may run (tests lower it).
  void SetCommandLimit(int commands) { command_limit_ = commands; }
  // The memory limit of hosts started from now on (tests lower it).
  void SetMemoryLimit(size_t bytes) { memory_limit_ = bytes; }

  // Sets `speaker`, `action` (text up to the first space) and `data` (text
  // after it), evaluates the script file at `path` (absolute or relative to
  // the host's current directory), and reports a failure in the chat
  // display. Returns true when the script ran to its end without error;
  // false also before CreateInterpreter() and once stopped.
  bool RunHook(const char* path, const char* speaker, const char* text);

  // The bot is closing: a running hook ends at once (callable from inside
  // one, e.g. by the chat display), the host is ended, and no hook runs again.
  void Stop();
  bool Stopped() const;

  // The folder set as Tcl's library path: working directory + "/scripts/".
  const std::string& ScriptsFolder() const { return scripts_folder_; }
  // The running host's process id, -1 when none runs.
  pid_t HostPid() const { return host_.Pid(); }

 private:
  enum class Outcome { Done, Died, Overran, Interrupted };

  // Starts a host and sets up its Tcl, by `deadline` at the latest.
  bool StartHost(std::chrono::steady_clock::time_point deadline);
  // Serves the host (display lines, sends, questions) until it says Done,
  // dies, passes `deadline` or a stop comes. `ok` is Done's verdict.
  Outcome Serve(std::chrono::steady_clock::time_point deadline, bool& ok);
  void Handle(const script_wire::Message& message, bool& done, bool& ok);
  // Ends a host that kept more than half its memory limit after a hook.
  void ReleaseHeldMemory(const char* path);
  void ReportEnd(Outcome outcome, const char* path, const std::string& how);

  BotContext& bot_;
  LevelLookup user_level_;
  std::string working_dir_;
  std::string scripts_folder_;
  bool created_ = false;
  bool stopped_ = false;
  // Interrupts seen when the bridge was made; any later one stops it.
  unsigned interrupts_at_start_;
  ScriptHostProcess host_;
  script_wire::MessageBuffer incoming_;
  std::chrono::milliseconds time_limit_ = kDefaultTimeLimit;
  int command_limit_ = kDefaultCommandLimit;
  size_t memory_limit_ = kDefaultMemoryLimit;
};

}  // namespace tolvik
