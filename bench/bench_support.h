#pragma once
// What the benchmarks that run a whole document share: a display that counts
// its lines, a host that does nothing, file writing and the resident size.
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "display/chat_display.h"
#include "app/host.h"

namespace tolvik::bench {

// Shows nothing; counts the lines.
class CountingDisplay : public ChatDisplay {
 public:
  void append(const char*, const TextFormat&) override { ++lines; }
  long lines = 0;
};

// The main thread's queued work is run by the benchmark loop itself
// (DeliverSentLines), so posted closures are dropped.
class NullHost : public Host {
 public:
  void PostToMain(std::function<void()>) override {}
  void SocketChanged(int) override {}
  void StatusChanged(int, const std::string&) override {}
  bool AskForLoginValue(const std::string&, std::string&) override { return false; }
};

inline void WriteFile(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
}

// The process's resident size in KiB (-1 when /proc does not tell).
inline long ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

}  // namespace tolvik::bench
