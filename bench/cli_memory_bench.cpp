// Resident memory of tolvik-cli idle in a channel of 40 users: the program is
// started as a real process against a scripted gateway on loopback, logs in,
// sees 40 users listed and a little talk, then sits idle; VmRSS is read from
// /proc. Reported as the counter rss_kib (aim: under 15 MB).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>

#include "support/scripted_gateway.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

long RssKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 16, '\n');
  }
  return -1;
}

void BM_CliIdleIn40UserChannel(benchmark::State& state) {
  for (auto _ : state) {
    tolvik::testing::ScriptedGateway gateway;
    tolvik::testing::TempDir dir;
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() + "\r\nChannel=Home\r\n");
    pid_t pid = fork();
    if (pid == 0) {
      if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "r", stdin)) _exit(127);
      execl(TOLVIK_CLI_PATH, TOLVIK_CLI_PATH, "--dir", dir.path().c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    gateway.waitForClients(1);
    gateway.send("Enter your name and password.\r\n");
    gateway.waitForReceived("pw\r\n");
    std::string lines = "2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n";
    const char* tags[] = {"[STAR]", "[SEXP]", "[W2BN]", "[DRTL]"};
    for (int i = 0; i < 40; ++i)
      lines += "1001 USER user" + std::to_string(i) + " 0000 " + tags[i % 4] + "\r\n";
    for (int i = 0; i < 40; ++i) lines += "1005 TALK user" + std::to_string(i) + " 0000 \"hello there\"\r\n";
    gateway.send(lines);
    std::this_thread::sleep_for(1500ms);
    long rss = RssKib(pid);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    state.counters["rss_kib"] = static_cast<double>(rss);
  }
}
BENCHMARK(BM_CliIdleIn40UserChannel)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
