// tolvik-cli end to end: the program runs as a real process against the
// tests' scripted gateway on loopback, logs in to a channel, and then the
// gateway floods it with event lines; its output goes to a pipe that this
// benchmark drains. Measured from the first byte of the flood until the
// line after it is read from the pipe: events_per_s (lines in, shown lines
// out) and cpu_s (the program's user + system time for the flood).
// Aim: at least a million server text events a second.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "idle_support.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

// Reads the program's output on a thread of its own, so the pipe never
// fills, and notes when each of the marks has appeared.
class PipeReader {
 public:
  PipeReader(int fd, std::vector<std::string> marks)
      : fd_(fd), marks_(std::move(marks)), seen_(marks_.size(), false), thread_([this] { Loop(); }) {}
  ~PipeReader() {
    thread_.join();  // the program has ended: its end of the pipe is closed
    ::close(fd_);
  }
  // Waits until mark `i` has appeared.
  bool WaitFor(size_t i) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, 120s, [&] { return seen_[i] || ended_; }) && seen_[i];
  }
  size_t Bytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return total_;
  }

 private:
  void Loop() {
    std::string buf(1 << 16, '\0');
    std::string tail;
    while (true) {
      ssize_t n = ::read(fd_, buf.data(), buf.size());
      if (n <= 0) break;
      tail.append(buf.data(), static_cast<size_t>(n));
      std::lock_guard<std::mutex> lock(mutex_);
      for (size_t i = 0; i < marks_.size(); ++i)
        if (!seen_[i] && tail.find(marks_[i]) != std::string::npos) seen_[i] = true;
      total_ += static_cast<size_t>(n);
      tail.erase(0, tail.size() > 64 ? tail.size() - 64 : 0);
      cv_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    cv_.notify_all();
  }

  int fd_;
  std::vector<std::string> marks_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<bool> seen_;
  size_t total_ = 0;
  bool ended_ = false;
  std::thread thread_;
};

void BM_CliTextFloodToPipe(benchmark::State& state) {
  const int events = static_cast<int>(state.range(0));
  const bool talk = state.range(1) == 1;
  // The program under measurement; TOLVIK_CLI names another build to compare.
  const char* cli = std::getenv("TOLVIK_CLI") ? std::getenv("TOLVIK_CLI") : TOLVIK_CLI_PATH;
  std::string flood;
  flood.reserve(static_cast<size_t>(events) * 48);
  for (int i = 0; i < events; ++i) {
    if (talk)
      flood += "1005 TALK user" + std::to_string(i % 10) + " 0000 \"a line of talk " + std::to_string(i) + "\"\r\n";
    else
      flood += "1018 INFO \"a line of server text " + std::to_string(i) + "\"\r\n";
  }
  flood += "1018 INFO \"[flood end]\"\r\n";

  for (auto _ : state) {
    tolvik::testing::ScriptedGateway gateway;
    tolvik::testing::TempDir dir;
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() + "\r\nChannel=Home\r\n");
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
      state.SkipWithError("no pipe");
      return;
    }
    pid_t pid = fork();
    if (pid == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      if (!freopen("/dev/null", "r", stdin)) _exit(126);
      execl(cli, cli, "--dir", dir.path().c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    ::close(out[1]);
    PipeReader reader(out[0], {"[ready]", "[flood end]"});
    bool ready = gateway.waitForClients(1);
    gateway.send("Enter your name and password.\r\n");
    ready = ready && gateway.waitForReceived("pw\r\n");
    std::string lines = "2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n1001 USER acct 0010 [CHAT]\r\n";
    for (int i = 0; i < 10; ++i) lines += "1001 USER user" + std::to_string(i) + " 0000 [CHAT]\r\n";
    lines += "1018 INFO \"[ready]\"\r\n";
    gateway.send(lines);
    ready = ready && reader.WaitFor(0);

    const size_t before = reader.Bytes();
    const double cpu0 = tolvik::bench::ProcessCpuSeconds(pid);
    const auto t0 = std::chrono::steady_clock::now();
    gateway.send(flood);
    const bool done = reader.WaitFor(1);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = tolvik::bench::ProcessCpuSeconds(pid) - cpu0;
    const size_t bytes = reader.Bytes() - before;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);

    if (!ready) state.SkipWithError("the bot did not log in");
    if (!done) state.SkipWithError("the flood did not come out");
    state.SetIterationTime(seconds);
    state.counters["events_per_s"] = events / seconds;
    state.counters["cpu_s"] = cpu;
    state.counters["out_mb"] = static_cast<double>(bytes) / 1e6;
  }
}
// kind 0: server text lines, shown and nothing more; kind 1: channel talk,
// which also runs the talk commands, hooks and responses.
BENCHMARK(BM_CliTextFloodToPipe)
    ->ArgNames({"events", "kind"})
    ->Args({1000000, 0})
    ->Args({100000, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
