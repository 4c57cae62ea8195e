// What tolvik-cli costs while nothing happens: the program runs as a real
// process against the tests' scripted gateway on loopback, logs in, enters a
// channel of 10 users and then sits idle. Measured over the idle time:
// cpu_percent (share of one core), polls_per_s (poll() calls, counted by a
// preloaded shim) and wakeups_per_s (context switches of all its threads).
// Aim: under 0.1% of a core and at most 2 wake-ups a second.
//
//   cli_idle_bench                    30 s idle
//   cli_idle_bench --idle_seconds=5   any other length
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "idle_support.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
double g_idle_seconds = 30;

// The shared counter the preloaded shim raises on every poll().
class PollCounter {
 public:
  explicit PollCounter(const std::string& path) : path_(path) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (ftruncate(fd, sizeof(uint64_t)) != 0) std::perror("ftruncate");
    void* p = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    count_ = p == MAP_FAILED ? nullptr : static_cast<std::atomic<uint64_t>*>(p);
  }
  ~PollCounter() {
    if (count_ != nullptr) munmap(count_, sizeof(uint64_t));
  }
  uint64_t value() const { return count_ != nullptr ? count_->load() : 0; }

 private:
  std::string path_;
  std::atomic<uint64_t>* count_ = nullptr;
};

void BM_CliIdleInChannel(benchmark::State& state) {
  // The program under measurement; TOLVIK_CLI names another build to compare.
  const char* cli = std::getenv("TOLVIK_CLI") ? std::getenv("TOLVIK_CLI") : TOLVIK_CLI_PATH;
  for (auto _ : state) {
    tolvik::testing::ScriptedGateway gateway;
    tolvik::testing::TempDir dir;
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() + "\r\nChannel=Home\r\n");
    const std::string counter_file = (dir.path() / "polls").string();
    PollCounter polls(counter_file);
    pid_t pid = fork();
    if (pid == 0) {
      setenv("LD_PRELOAD", TOLVIK_POLL_COUNTER_PATH, 1);
      setenv("TOLVIK_POLL_COUNTER", counter_file.c_str(), 1);
      if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "r", stdin)) _exit(126);
      execl(cli, cli, "--dir", dir.path().c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    bool ready = tolvik::bench::LogInToQuietChannel(gateway);

    const double cpu0 = tolvik::bench::ProcessCpuSeconds(pid);
    const auto switches0 = tolvik::bench::ThreadContextSwitches(pid);
    const uint64_t polls0 = polls.value();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(g_idle_seconds));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = tolvik::bench::ProcessCpuSeconds(pid) - cpu0;
    const long switches = tolvik::bench::ContextSwitchesSince(pid, switches0);
    const uint64_t polled = polls.value() - polls0;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);

    if (!ready) state.SkipWithError("the bot did not log in");
    state.SetIterationTime(seconds);
    state.counters["idle_s"] = seconds;
    state.counters["cpu_percent"] = 100.0 * cpu / seconds;
    state.counters["polls_per_s"] = static_cast<double>(polled) / seconds;
    state.counters["wakeups_per_s"] = static_cast<double>(switches) / seconds;
  }
}
BENCHMARK(BM_CliIdleInChannel)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  g_idle_seconds = tolvik::bench::IdleSeconds(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
