// A join/leave flood through the whole bot: 100,000 users with distinct
// names each join the channel and leave it again, handed to DispatchLine of
// a real document's bot with heirs, a users.lst, an autoban.lst, greetings
// and a script.ini. Every join and leave goes through the user list, the
// recent-leaver ring, the last-seen list, the counters per login type and
// the heir table.
//
// First argument: how many flood users are in the channel at once: 1 leaves
// each user right after the join; 200 keeps a crowd of 200 flood users
// beside the 40 regulars, each leaving 200 joins later.
// Second argument: 0, the bot is no operator and the auto-responder is off;
// 1, the bot is the operator with the auto-responder on, so each join also
// reads autoban.lst and each join and leave looks its hook up in script.ini
// (files are read at every use, so hand edits count at once).
//
// The display and the host do nothing; the sender thread writes to no socket.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "display/chat_display.h"
#include "app/document.h"
#include "app/host.h"
#include "bench_support.h"
#include "bot/chat_bot.h"

namespace {

using namespace tolvik;
using bench::WriteFile;

constexpr int kPairs = 100000;
constexpr int kRegulars = 40;




std::string Name(const char* prefix, int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%06d", prefix, i);
  return buf;
}

void WriteFiles(const std::filesystem::path& dir) {
  std::string ini =
      "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=127.0.0.1:1\r\nChannel=Home\r\n"
      "[Toggles]\r\nAutoRespond=1\r\nViewEnterLeave=1\r\nAutoViewAliases=0\r\nIdLogging=0\r\n"
      "[Restrictions]\r\nNumBots=3\r\nNumSC=1000000\r\n"
      "[AutoDesignate]\r\nDesignate0=" + Name("regular", 0) + "\r\nDesignate1=" + Name("regular", 1) + "\r\n"
      "[AutoGreet]\r\n" + Name("regular", 2) + "=Hello again\r\n"
      "[AutoPart]\r\n" + Name("regular", 3) + "=See you\r\n";
  WriteFile(dir / "Bot.ini", ini);
  std::string users = "[Level5]\r\n";
  for (int i = 0; i < kRegulars; ++i) users += Name("regular", i) + "\r\n";
  WriteFile(dir / "users.lst", users);
  std::string autoban;
  for (int i = 0; i < 100; ++i) autoban += Name("banned", i) + "\r\n";
  WriteFile(dir / "autoban.lst", autoban);
  // A hook entry for another event: every join and leave looks its own up and finds none.
  WriteFile(dir / "script.ini", "[Events]\r\nOnTalk=scripts/talk.tcl\r\n");
}

void BM_JoinLeaveFlood(benchmark::State& state) {
  const int crowd = static_cast<int>(state.range(0));
  const bool moderating = state.range(1) != 0;
  char tmpl[] = "/tmp/tolvik-joinleave-XXXXXX";
  const std::filesystem::path dir = mkdtemp(tmpl);
  WriteFiles(dir);

  std::vector<std::string> joins;
  std::vector<std::string> leaves;
  joins.reserve(kPairs);
  leaves.reserve(kPairs);
  for (int i = 0; i < kPairs; ++i) {
    const std::string name = Name("flood", i);
    joins.push_back("1002 JOIN " + name + " 0000 [STAR]");
    leaves.push_back("1003 LEAVE " + name + " 0000");
  }

  bench::CountingDisplay display;
  bench::NullHost host;
  int64_t pairs = 0;
  {
    CHaldenDoc doc(dir.string(), display, host);
    ChatBot& bot = doc.Bot();
    bot.Queue().SetPause([](int) {});
    bot.DispatchLine("2010 NAME acct");
    doc.GetToggles().AutoRespond.state = moderating;
    for (auto _ : state) {
      state.PauseTiming();
      for (int i = 0; i < RecentLeavers::kBuckets; ++i) bot.OnMinuteTick();  // nobody left recently
      bot.DispatchLine("1007 CHANNEL \"Home\"");
      bot.DispatchLine(moderating ? "1001 USER acct 0012 [CHAT]" : "1001 USER acct 0010 [CHAT]");
      for (int i = 0; i < kRegulars; ++i) bot.DispatchLine(("1001 USER " + Name("regular", i) + " 0000 [SEXP]").c_str());
      doc.DeliverSentLines();
      state.ResumeTiming();

      for (int i = 0; i < kPairs; ++i) {
        bot.DispatchLine(joins[static_cast<size_t>(i)].c_str());
        if (i + 1 >= crowd) bot.DispatchLine(leaves[static_cast<size_t>(i + 1 - crowd)].c_str());
        if (i % 110 == 0) {
          doc.OnFastTick();
          doc.DeliverSentLines();
        }
      }
      for (int i = kPairs + 1 - crowd; i < kPairs; ++i) bot.DispatchLine(leaves[static_cast<size_t>(i)].c_str());
      doc.DeliverSentLines();
      pairs += kPairs;
    }
    state.counters["users_left_in_list"] = bot.Users().userCount();
    doc.Close();
  }
  state.SetItemsProcessed(pairs);
  state.counters["pairs_per_s"] = benchmark::Counter(static_cast<double>(pairs), benchmark::Counter::kIsRate);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_JoinLeaveFlood)->ArgsProduct({{1, 200}, {0, 1}})->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
