#pragma once
// For the benchmarks that measure tolvik-cli as a process: starting it as a
// service runs it (no terminal, its output thrown away), logging it in to the
// tests' scripted gateway, and reading its memory from /proc.
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/scripted_gateway.h"
#include "support/temp_dir.h"

namespace tolvik::bench {

// A field of /proc/PID/status in KiB ("VmRSS:", "VmHWM:"), or -1.
inline long ProcessStatusKib(pid_t pid, const char* field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == field) {
      status >> value;
      return value;
    }
    status.ignore(1 << 16, '\n');
  }
  return -1;
}

// `program` --dir `dir` with /dev/null for its input and output.
inline pid_t StartCliService(const char* program, const std::string& dir) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "r", stdin)) _exit(126);
    execl(program, program, "--dir", dir.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

inline void StopProcess(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

// The program at `program` in a directory of its own whose Bot.ini (acct /
// pw, channel Home, then `ini_extra`) points at `gateway`. Once made, it
// has sent its login; the gateway says what follows. Stopped with SIGTERM.
class CliService {
 public:
  CliService(const char* program, testing::ScriptedGateway& gateway, const std::string& ini_extra = "") {
    dir_.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() +
                              "\r\nChannel=Home\r\n" + ini_extra);
    pid_ = StartCliService(program, dir_.path().string());
    gateway.waitForClients(1);
    gateway.send("Enter your name and password.\r\n");
    gateway.waitForReceived("pw\r\n");
  }
  ~CliService() { StopProcess(pid_); }
  CliService(const CliService&) = delete;
  CliService& operator=(const CliService&) = delete;

  std::string dir() const { return dir_.path().string(); }
  long rssKib() const { return ProcessStatusKib(pid_, "VmRSS:"); }

 private:
  testing::TempDir dir_;
  pid_t pid_ = -1;
};

}  // namespace tolvik::bench
