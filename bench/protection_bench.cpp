// The per-line cost of the channel protection: flood and repeat detection
// with 1,000 users talking (goal: under 1 microsecond a line, state only for
// users present), and 1,000 protect.lst rules against a channel line (goal:
// under 5 microseconds a line).
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "bot/flood_guard.h"
#include "bot/protect_rules.h"

namespace {

using namespace std::chrono_literals;

std::vector<std::string> Names(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back("Player" + std::to_string(i * 7919 % 100000));
  return names;
}

const std::vector<std::string> kLines = {
    "hello everyone", "anyone up for a game?", "gg", "CHEAP MINERALS!!! whisper me", "lol",
    "which map is best for 2v2 these days", "brb", "nice one", "who wants to join my clan", "ok"};

// 1,000 users, each saying a line in turn; every 100th line a user leaves and
// a new one comes, so the state follows the roster.
void BM_FloodAndRepeatPerLine(benchmark::State& state) {
  const int users = static_cast<int>(state.range(0));
  std::vector<std::string> names = Names(users);
  tolvik::FloodGuard guard;
  guard.Configure(true, 5, 6, true, 3);
  auto now = std::chrono::steady_clock::time_point{} + 1h;
  size_t i = 0;
  int64_t verdicts = 0;
  int next_name = users;
  for (auto _ : state) {
    const size_t u = i % names.size();
    verdicts += guard.OnLine(names[u], kLines[(i / 3) % kLines.size()], now) != tolvik::FloodGuard::Verdict::None;
    if (i % 100 == 99) {
      guard.Forget(names[u]);
      names[u] = "Newcomer" + std::to_string(next_name++);
    }
    now += 5ms;  // each of 1,000 users speaks every 5 seconds
    ++i;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["users_kept"] = static_cast<double>(guard.Users());
  state.counters["verdicts"] = static_cast<double>(verdicts);
}
BENCHMARK(BM_FloodAndRepeatPerLine)->Arg(1000);

std::string RuleSet(int count) {
  std::mt19937 random(7);
  const char* words[] = {"minerals", "gold", "vespene", "cheap", "free", "visit", "buy", "sell", "spam", "bot"};
  std::string text;
  for (int i = 0; i < count; ++i) {
    const std::string a = words[random() % 10], b = words[random() % 10];
    const std::string n = std::to_string(i);
    switch (i % 4) {
      case 0: text += "*" + a + " " + b + n + "*\tkick\n"; break;
      case 1: text += a + "?" + n + "*\twarn\n"; break;
      case 2: text += "/" + a + "\\s+" + b + n + "/i\tban\n"; break;
      default: text += "/^" + b + "[0-9]+" + a + n + "/\ttempban:10\n"; break;
    }
  }
  // The one rule the second line hits, behind all the others.
  return text + "*whisper me now*\tkick\n";
}

void BM_RulesPerLine(benchmark::State& state) {
  tolvik::ProtectRules rules;
  const auto problems = rules.Parse(RuleSet(static_cast<int>(state.range(0))));
  if (!problems.empty()) state.SkipWithError(problems.front().message.c_str());
  // Ordinary talk that no rule matches, and a line only the last rule hits.
  const std::string line = state.range(1) ? "cheap minerals999 going fast, whisper me now" :
                                            "which map is best for 2v2 these days, anyone?";
  int64_t hits = 0;
  for (auto _ : state) hits += rules.Match(line) != nullptr;
  state.SetItemsProcessed(state.iterations());
  state.counters["rules"] = static_cast<double>(rules.size());
  state.counters["hits"] = static_cast<double>(hits);
}
BENCHMARK(BM_RulesPerLine)->Args({1000, 0})->Args({1000, 1});

}  // namespace
