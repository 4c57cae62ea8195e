// A busy channel through the whole bot: 10,000 mixed event lines (joins with
// product tags, talk, emotes, leaves, whispered commands and plain whispers,
// a few server answers) handed to
// DispatchLine of a real document's bot, with every toggle on, AutoKick and
// AutoBan on, limits per login type, heirs, a 200-name users.lst, a
// 1,000-name autoban.lst and 128 response patterns. The display does
// nothing; the sender thread writes to no socket.
//
// Reports events per second and the resident memory after the last pass, and
// how much it grew after the first pass (the lists the bot keeps are capped
// or follow the channel, so repeated passes should not grow it).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

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
using bench::ResidentKb;
using bench::WriteFile;





// A small deterministic generator, so every run sees the same channel.
struct Lcg {
  uint32_t state = 12345;
  uint32_t next(uint32_t bound) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % bound;
  }
};

std::string Name(const char* prefix, int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%03d", prefix, i);
  return buf;
}

void WriteFiles(const std::filesystem::path& dir) {
  std::string ini =
      "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=127.0.0.1:1\r\nChannel=Home\r\n"
      "[Toggles]\r\nViewChatUpdates=1\r\nAutoRespond=1\r\nAutoViewAliases=1\r\nIdLogging=1\r\n"
      "HighlightUsers=1\r\nViewPings=1\r\nViewText=1\r\nViewEnterLeave=1\r\nAllowPage=1\r\n"
      "[Restrictions]\r\nNumBots=3\r\nNumSC=20\r\nNumBW=15\r\nNumDiablo=5\r\nNumDiabloSW=2\r\nNumSCSware=2\r\n"
      "NumWC=4\r\n"
      "[Security]\r\nChannelPassword=letmein\r\n"
      "[Commands]\r\nSay=3\r\nKick=5\r\nKickTagged=4\r\nBan=7\r\nBanTagged=6\r\nStats=1\r\nWho=2\r\n"
      "Lookup=2\r\nHelp=8\r\n"
      "[AutoDesignate]\r\nDesignate0=member000\r\nDesignate1=member001\r\nDesignate2=member002\r\n"
      "[AutoGreet]\r\n*=Welcome to Home!\r\n"
      "[AutoPart]\r\nmember*=See you soon\r\n*guest=Bye guest\r\n"
      "[AutoRespondToEmote]\r\n*=waves:waves back\r\nv*=dances:nice moves\r\n";
  // 128 response patterns: the catch-all, prefixes, members by name, infixes, suffixes.
  ini += "[AutoRespond]\r\n*=hi:Hello!:!time::now:It is late\r\n";
  int patterns = 1;
  for (char c = 'a'; c <= 'z'; ++c, ++patterns) ini += std::string(1, c) + "*=!" + c + ":letter " + c + "\r\n";
  for (int i = 0; patterns < 88; ++i, ++patterns) ini += Name("member", i) + "=!seen:you are a member\r\n";
  for (int i = 0; patterns < 108; ++i, ++patterns) ini += "*x" + Name("", i) + "*=ping:pong\r\n";
  for (int i = 0; patterns < 128; ++i, ++patterns) ini += "*" + Name("y", i) + "=ping:pong\r\n";
  WriteFile(dir / "Bot.ini", ini);

  std::string users;
  for (int level = 1; level <= 9; ++level) {
    users += "[Level" + std::to_string(level) + "]\r\n";
    for (int i = level - 1; i < 200; i += 9) users += Name("member", i) + "\r\n";
    users += "\r\n";
  }
  WriteFile(dir / "users.lst", users);

  std::string autoban;
  for (int i = 0; i < 1000; ++i) autoban += Name("bnd", i) + "\r\n";
  WriteFile(dir / "autoban.lst", autoban);
  WriteFile(dir / "script.ini", "");
}

// 10,000 event lines over a pool of members, guests, visitors, listed bans and bots.
std::vector<std::string> MakeEvents() {
  const char* tags[] = {"[STAR]", "[SEXP]", "[JSTR]", "[DRTL]", "[W2BN]", "[SSHR]", "[DSHR]"};
  const char* talk[] = {"hi", "!time:now", "!a", "!seen", "ping", "anyone up for a game?", "lol", "hi there"};
  const char* whispers[] = {"/level", "/lvl guest003", "/who", "/say hello all", "/kick guest010 spam",
                            "/ban visitor020 spam", "/lookup member004", "/help", "are you there?", "/lvl member001"};
  std::vector<std::string> pool;
  for (int i = 0; i < 120; ++i) pool.push_back(Name("member", i));
  for (int i = 0; i < 150; ++i) pool.push_back(Name("guest", i));
  for (int i = 0; i < 150; ++i) pool.push_back(Name("visitor", i));
  for (int i = 0; i < 40; ++i) pool.push_back(Name("bnd", i * 25));
  for (int i = 0; i < 40; ++i) pool.push_back(Name("x", i) + "y000");

  Lcg rng;
  std::vector<bool> present(pool.size(), false);
  std::vector<size_t> here;
  std::vector<std::string> events;
  char line[300];
  while (events.size() < 10000) {
    const uint32_t roll = rng.next(100);
    if (roll < 30 || here.size() < 5) {  // join
      size_t who = rng.next(static_cast<uint32_t>(pool.size()));
      if (present[who]) continue;
      const bool bot = rng.next(20) == 0;
      std::snprintf(line, sizeof line, "1002 JOIN %s %s %s", pool[who].c_str(), bot ? "0010" : "0000",
                    bot ? "[CHAT]" : tags[rng.next(7)]);
      events.push_back(line);
      present[who] = true;
      here.push_back(who);
      if (who < 3) {  // an heir: the server confirms the designation
        std::snprintf(line, sizeof line, "1018 INFO \"%s is your new designated heir.\"", pool[who].c_str());
        events.push_back(line);
      }
    } else if (roll < 35) {  // whispers: mostly commands, from members and from people outside
      const bool member = rng.next(3) != 0;
      std::string who =
          member ? Name("member", static_cast<int>(rng.next(120))) : Name("outsider", static_cast<int>(rng.next(200)));
      std::snprintf(line, sizeof line, "1004 WHISPER %s 0000 \"%s\"", who.c_str(), whispers[rng.next(10)]);
      events.push_back(line);
    } else if (roll < 65) {  // talk
      size_t who = here[rng.next(static_cast<uint32_t>(here.size()))];
      std::snprintf(line, sizeof line, "1005 TALK %s 0000 \"%s\"", pool[who].c_str(), talk[rng.next(8)]);
      events.push_back(line);
    } else if (roll < 75) {  // emote
      size_t who = here[rng.next(static_cast<uint32_t>(here.size()))];
      std::snprintf(line, sizeof line, "1023 EMOTE %s 0000 \"%s\"", pool[who].c_str(),
                    rng.next(2) ? "waves" : "dances");
      events.push_back(line);
    } else if (roll < 99) {  // leave
      size_t at = rng.next(static_cast<uint32_t>(here.size()));
      size_t who = here[at];
      std::snprintf(line, sizeof line, "1003 LEAVE %s 0000", pool[who].c_str());
      events.push_back(line);
      present[who] = false;
      here[at] = here.back();
      here.pop_back();
    } else {  // the answer to the pending /whois
      events.push_back("1019 ERROR \"That user is not logged on.\"");
    }
  }
  events.resize(10000);
  return events;
}

void BM_ChannelFlood(benchmark::State& state) {
  char tmpl[] = "/tmp/tolvik-flood-XXXXXX";
  const std::filesystem::path dir = mkdtemp(tmpl);
  WriteFiles(dir);
  const std::vector<std::string> events = MakeEvents();
  bench::CountingDisplay display;  // bans, greetings and responses echo as they leave
  bench::NullHost host;
  long rss_after_first = 0;
  long rss_end = 0;
  int64_t processed = 0;
  {
    CHaldenDoc doc(dir.string(), display, host);
    ChatBot& bot = doc.Bot();
    bot.Queue().SetPause([](int) {});
    // Every look at the clock is a second later, so designations go out at the next fast tick.
    bot.SetDesignateClock([t = std::chrono::steady_clock::time_point{}]() mutable { return t += std::chrono::seconds(1); });
    bot.DispatchLine("2010 NAME acct");
    int pass = 0;
    for (auto _ : state) {
      // A quarter hour later, back in the channel as its operator with both switches on.
      for (int i = 0; i < 15; ++i) bot.OnMinuteTick();
      bot.DispatchLine("1007 CHANNEL \"Home\"");
      bot.DispatchLine("1001 USER acct 0012 [CHAT]");
      bot.SetAutoKick(true);
      bot.SetAutoBan(true);
      for (size_t i = 0; i < events.size(); ++i) {
        bot.DispatchLine(events[i].c_str());
        if (i % 64 == 0) {
          doc.OnFastTick();
          doc.DeliverSentLines();
        }
      }
      doc.OnFastTick();
      doc.DeliverSentLines();
      processed += static_cast<int64_t>(events.size());
      if (++pass == 1) rss_after_first = ResidentKb();
    }
    rss_end = ResidentKb();
    state.counters["users_in_list"] = bot.Users().userCount();
    state.counters["last_seen"] = static_cast<double>(bot.LastSeen().size());
    state.counters["lines_shown_per_event"] = static_cast<double>(display.lines) / static_cast<double>(processed);
    state.counters["pending_actions"] = static_cast<double>(bot.Pending().size());
    doc.Close();
  }
  state.SetItemsProcessed(processed);
  state.counters["events_per_s"] = benchmark::Counter(static_cast<double>(processed), benchmark::Counter::kIsRate);
  state.counters["rss_kb_end"] = static_cast<double>(rss_end);
  state.counters["rss_growth_after_first_pass_kb"] = static_cast<double>(rss_end - rss_after_first);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ChannelFlood)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
