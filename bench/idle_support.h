#pragma once
// What the idle benchmarks share: how long to sit idle, the login of a bot
// into a quiet channel, and the CPU time and context switches (wake-ups) of a
// process, read from /proc.
#include <dirent.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/scripted_gateway.h"

namespace tolvik::bench {

// Plays the login of a bot whose password is "pw" into "Home" with ten users,
// then lets its start-up work settle (the join line's flood score decays).
// False when the bot never got that far.
inline bool LogInToQuietChannel(tolvik::testing::ScriptedGateway& gateway) {
  bool ready = gateway.waitForClients(1);
  gateway.send("Enter your name and password.\r\n");
  ready = ready && gateway.waitForReceived("pw\r\n");
  std::string lines = "2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n";
  for (int i = 0; i < 10; ++i) lines += "1001 USER user" + std::to_string(i) + " 0000 [CHAT]\r\n";
  gateway.send(lines);
  ready = ready && gateway.waitForReceived("/time\n");  // in the channel: the join message went out
  std::this_thread::sleep_for(std::chrono::seconds(3));
  return ready;
}

// --idle_seconds=N (taken out of argv) sets how long the program sits idle;
// otherwise 30 s, or 2 s for a smoke run (--benchmark_min_time below 1 s).
inline double IdleSeconds(int& argc, char** argv) {
  double seconds = 30;
  bool chosen = false;
  int out = 1;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strncmp(a, "--idle_seconds=", 15) == 0) {
      seconds = std::atof(a + 15);
      chosen = true;
      continue;
    }
    if (!chosen && std::strncmp(a, "--benchmark_min_time=", 21) == 0 && std::atof(a + 21) < 1) seconds = 2;
    argv[out++] = argv[i];
  }
  argc = out;
  argv[argc] = nullptr;
  return seconds > 0 ? seconds : 30;
}

// User and system CPU time of process `pid`, in seconds.
inline double ProcessCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = all.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(all.substr(close + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;  // state .. cmajflt
  long utime = 0, stime = 0;
  fields >> utime >> stime;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Voluntary and involuntary context switches of each thread of `pid`, by
// thread id: each time one of them was put to sleep or taken off the processor.
inline std::map<std::string, long> ThreadContextSwitches(pid_t pid) {
  std::map<std::string, long> counts;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(tasks.c_str());
  if (dir == nullptr) return counts;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream status(tasks + "/" + e->d_name + "/status");
    std::string line;
    long total = 0;
    while (std::getline(status, line))
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
        total += std::atol(line.c_str() + line.find(':') + 1);
    counts[e->d_name] = total;
  }
  closedir(dir);
  return counts;
}

// The context switches of all threads of `pid` since `before` (taken with
// ThreadContextSwitches): a thread started since counts in full, one that
// ended since takes its count with it (never a negative total).
inline long ContextSwitchesSince(pid_t pid, const std::map<std::string, long>& before) {
  long total = 0;
  for (const auto& [tid, count] : ThreadContextSwitches(pid)) {
    auto it = before.find(tid);
    total += count - (it != before.end() ? it->second : 0);
  }
  return total;
}

// All context switches of all threads of `pid` so far.
inline long ProcessContextSwitches(pid_t pid) { return ContextSwitchesSince(pid, {}); }

}  // namespace tolvik::bench
