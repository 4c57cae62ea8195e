#pragma once
// The script host process as the bot sees it: started with posix_spawn (the
// bot has threads, so never a bare fork), in a process group of its own so
// that it and anything a script started with `exec` are ended together,
// with a memory limit, and with a stream socket to talk over.
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace tolvik {

class ScriptHostProcess {
 public:
  ScriptHostProcess() = default;
  ~ScriptHostProcess() { Kill(); }
  ScriptHostProcess(const ScriptHostProcess&) = delete;
  ScriptHostProcess& operator=(const ScriptHostProcess&) = delete;

  // Starts `program` in `dir` with at most `memory_limit` bytes of address
  // space. False with `error` set when it could not be started.
  bool Start(const std::string& program, size_t memory_limit, std::string& error);
  bool Running() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // The bot's end of the socket; -1 when not running.
  int Socket() const { return socket_; }

  // The host's resident memory now; 0 when unknown.
  size_t ResidentBytes() const;

  // Ends the process group at once and collects the process; what it said
  // about its end, e.g. "killed by signal 9 (Killed)" or "exit status 0".
  std::string Kill();
  // Collects a process that is ending by itself (its socket was closed).
  std::string Reap();

 private:
  std::string Collect(bool kill_first);

  pid_t pid_ = -1;
  int socket_ = -1;
};

// Where the script host program is: the one set for this process, else next
// to the running program (a build tree), else the installed one.
std::string FindScriptHostProgram();
// Names the program for every bridge of this process (tests use the build's).
void SetScriptHostProgram(std::string path);

}  // namespace tolvik
