// Resident memory of tolvik-cli idle in a channel of 40 users: the program is
// started as a real process against a scripted gateway on loopback, logs in,
// sees 40 users listed and a little talk, then sits idle; VmRSS is read from
// /proc. Reported as the counter rss_kib (aim: under 15 MB).
#include <benchmark/benchmark.h>

#include <string>
#include <thread>

#include "cli_process_support.h"
#include "support/scripted_gateway.h"

namespace {

using namespace std::chrono_literals;

void BM_CliIdleIn40UserChannel(benchmark::State& state) {
  for (auto _ : state) {
    tolvik::testing::ScriptedGateway gateway;
    tolvik::bench::CliService cli(TOLVIK_CLI_PATH, gateway);
    std::string lines = "2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n";
    const char* tags[] = {"[STAR]", "[SEXP]", "[W2BN]", "[DRTL]"};
    for (int i = 0; i < 40; ++i)
      lines += "1001 USER user" + std::to_string(i) + " 0000 " + tags[i % 4] + "\r\n";
    for (int i = 0; i < 40; ++i) lines += "1005 TALK user" + std::to_string(i) + " 0000 \"hello there\"\r\n";
    gateway.send(lines);
    std::this_thread::sleep_for(1500ms);
    state.counters["rss_kib"] = static_cast<double>(cli.rssKib());
  }
}
BENCHMARK(BM_CliIdleIn40UserChannel)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
