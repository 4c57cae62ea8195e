// Resident memory after floods of distinct names, through a real document's
// bot: 1,000,000 users with distinct names each join and leave again, or
// 1,000,000 distinct users join and never leave. Both once filled the
// recent-leaver ring and the user list without bound. Reported as the
// counters rss_mib_before and rss_mib_after (aim: under 32 MiB after).
//
// Run each flood in a process of its own for figures that do not include the
// other's peak: --benchmark_filter=BM_DistinctJoinLeavePairs or
// --benchmark_filter=BM_DistinctJoinsWithoutLeaves.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "app/document.h"
#include "bench_support.h"
#include "bot/chat_bot.h"

namespace {

using namespace tolvik;

constexpr int kFlood = 1000000;

std::string Line(const char* event, int i, const char* tail) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s flood%07d %s", event, i, tail);
  return buf;
}

template <typename Flood>
void RunFlood(benchmark::State& state, Flood flood) {
  char tmpl[] = "/tmp/tolvik-nameflood-XXXXXX";
  const std::filesystem::path dir = mkdtemp(tmpl);
  bench::WriteFile(dir / "Bot.ini",
                   "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=127.0.0.1:1\r\nChannel=Home\r\n"
                   "[Toggles]\r\nAutoRespond=0\r\nViewEnterLeave=1\r\nAutoViewAliases=0\r\nIdLogging=0\r\n");
  bench::CountingDisplay display;
  bench::NullHost host;
  const long before = bench::ResidentKb();
  long after = 0;
  {
    CHaldenDoc doc(dir.string(), display, host);
    ChatBot& bot = doc.Bot();
    bot.Queue().SetPause([](int) {});
    bot.DispatchLine("2010 NAME acct");
    bot.DispatchLine("1007 CHANNEL \"Home\"");
    bot.DispatchLine("1001 USER acct 0010 [CHAT]");
    for (auto _ : state) {
      flood(doc, bot);
      after = bench::ResidentKb();
    }
    state.counters["users_listed"] = bot.Users().userCount();
    state.counters["recent_leavers"] = static_cast<double>(bot.Leavers().size());
    doc.Close();
  }
  state.counters["rss_mib_before"] = static_cast<double>(before) / 1024.0;
  state.counters["rss_mib_after"] = static_cast<double>(after) / 1024.0;
  state.SetItemsProcessed(kFlood);
  std::filesystem::remove_all(dir);
}

void BM_DistinctJoinLeavePairs(benchmark::State& state) {
  RunFlood(state, [](CHaldenDoc& doc, ChatBot& bot) {
    for (int i = 0; i < kFlood; ++i) {
      bot.DispatchLine(Line("1002 JOIN", i, "0000 [STAR]").c_str());
      bot.DispatchLine(Line("1003 LEAVE", i, "0000").c_str());
      if (i % 1000 == 0) doc.DeliverSentLines();
    }
  });
}
BENCHMARK(BM_DistinctJoinLeavePairs)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_DistinctJoinsWithoutLeaves(benchmark::State& state) {
  RunFlood(state, [](CHaldenDoc& doc, ChatBot& bot) {
    for (int i = 0; i < kFlood; ++i) {
      bot.DispatchLine(Line("1002 JOIN", i, "0000 [STAR]").c_str());
      if (i % 1000 == 0) doc.DeliverSentLines();
    }
  });
}
BENCHMARK(BM_DistinctJoinsWithoutLeaves)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
