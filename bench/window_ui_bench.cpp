// The desktop window under a busy channel: 10,000 mixed event lines (joins
// with product tags, talk, emotes, whispers, leaves) handed to DispatchLine
// of the window's own document in socket-sized batches from the event loop,
// with the real chat pane, user list and status bar on Qt's offscreen
// platform. Reports events per second and the event loop's longest stall
// (the longest gap seen by a 5 ms heartbeat timer).
//
// A second benchmark fills the window with 200 listed users and 5,000 chat
// lines and reports the process's resident memory.
//
// A third fills a channel with 10,000 and 30,000 distinct joins paced over
// 10 s and reports when they were all through (wall time) and the CPU time,
// in all and per join. The event loop sleeps between batches, as a program
// waiting on its socket does, so the CPU time is the window's own work.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/document.h"
#include "bench_support.h"
#include "bot/chat_bot.h"
#include "ui/main_window.h"

namespace {

using tolvik::ui::MainWindow;

constexpr int kEvents = 10000;
constexpr int kBatch = 40;  // about one 4 KiB read of event lines

// CPU time of the calling (main) thread, in seconds: on a loaded machine the
// wall-clock rate mostly measures the other processes.
double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// CPU time of the whole process (every thread), in seconds.
double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}


std::filesystem::path MakeWorkingDir() {
  char tmpl[] = "/tmp/tolvik-window-bench-XXXXXX";
  const std::filesystem::path dir = mkdtemp(tmpl);
  std::ofstream(dir / "Bot.ini", std::ios::binary)
      << "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=127.0.0.1:1\r\nChannel=Home\r\n"
         "[Toggles]\r\nViewChatUpdates=1\r\nAutoRespond=1\r\nHighlightUsers=1\r\nViewEnterLeave=1\r\n"
         "[AutoGreet]\r\n*=Welcome to Home!\r\n";
  return dir;
}

// A small deterministic generator, so every run sees the same channel.
struct Lcg {
  uint32_t state = 12345;
  uint32_t next(uint32_t bound) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % bound;
  }
};

std::vector<std::string> MakeEvents() {
  const char* tags[] = {"[STAR]", "[SEXP]", "[JSTR]", "[DRTL]", "[W2BN]", "[SSHR]", "[DSHR]", "[CHAT]"};
  const char* talk[] = {"hi", "anyone up for a game?", "lol", "brb", "http://example.net/map", "gg"};
  std::vector<std::string> pool;
  for (int i = 0; i < 400; ++i) pool.push_back("user" + std::to_string(i));
  Lcg rng;
  std::vector<bool> present(pool.size(), false);
  std::vector<size_t> here;
  std::vector<std::string> events;
  char line[300];
  while (static_cast<int>(events.size()) < kEvents) {
    const uint32_t roll = rng.next(100);
    if (roll < 30 || here.size() < 5) {
      const size_t who = rng.next(static_cast<uint32_t>(pool.size()));
      if (present[who]) continue;
      const char* tag = tags[rng.next(8)];
      std::snprintf(line, sizeof line, "1002 JOIN %s %s %s", pool[who].c_str(),
                    tag[1] == 'C' ? "0010" : rng.next(10) == 0 ? "0002" : "0000", tag);
      present[who] = true;
      here.push_back(who);
    } else if (roll < 65) {
      const size_t who = here[rng.next(static_cast<uint32_t>(here.size()))];
      std::snprintf(line, sizeof line, "1005 TALK %s 0000 \"%s\"", pool[who].c_str(), talk[rng.next(6)]);
    } else if (roll < 72) {
      const size_t who = here[rng.next(static_cast<uint32_t>(here.size()))];
      std::snprintf(line, sizeof line, "1023 EMOTE %s 0000 \"waves\"", pool[who].c_str());
    } else if (roll < 75) {
      std::snprintf(line, sizeof line, "1004 WHISPER outsider%u 0000 \"are you there?\"", rng.next(50));
    } else {
      const size_t at = rng.next(static_cast<uint32_t>(here.size()));
      std::snprintf(line, sizeof line, "1003 LEAVE %s 0000", pool[here[at]].c_str());
      present[here[at]] = false;
      here[at] = here.back();
      here.pop_back();
    }
    events.push_back(line);
  }
  return events;
}

void EnterChannel(tolvik::ChatBot& bot) {
  bot.DispatchLine("2010 NAME acct");
  bot.DispatchLine("1007 CHANNEL \"Home\"");
  bot.DispatchLine("1001 USER acct 0012 [CHAT]");
}

void BM_WindowMemory(benchmark::State& state) {
  const std::filesystem::path dir = MakeWorkingDir();
  const long before = tolvik::bench::ResidentKb();
  long after = 0;
  for (auto _ : state) {
    MainWindow window(dir.string());
    window.resize(1000, 700);
    window.show();
    tolvik::ChatBot& bot = window.document().Bot();
    EnterChannel(bot);
    char line[300];
    for (int i = 0; i < 200; ++i) {
      std::snprintf(line, sizeof line, "1001 USER member%03d %s [%s]", i, i % 10 == 0 ? "0002" : "0000",
                    i % 2 ? "STAR" : "SEXP");
      bot.DispatchLine(line);
    }
    for (int i = 0; i < 5000; ++i) {
      std::snprintf(line, sizeof line, "1005 TALK member%03d 0000 \"line %d of a long evening in the channel\"",
                    i % 200, i);
      bot.DispatchLine(line);
      if (i % 100 == 0) QApplication::processEvents();
    }
    QApplication::processEvents();
    after = tolvik::bench::ResidentKb();
    window.close();
  }
  state.counters["rss_mb"] = static_cast<double>(after) / 1024.0;
  state.counters["window_mb"] = static_cast<double>(after - before) / 1024.0;
  std::filesystem::remove_all(dir);
}
// Registered first, so the process holds nothing else yet.
BENCHMARK(BM_WindowMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

// The longest gap between the beats of a 5 ms timer: how long the event loop
// was kept from running.
class StallWatch {
 public:
  StallWatch() {
    QObject::connect(&beat_, &QTimer::timeout, [this] {
      longest_ = std::max(longest_, since_.nsecsElapsed());
      since_.restart();
    });
  }
  void start() {
    since_.start();
    beat_.start(5);
  }
  double longestMs() const { return static_cast<double>(longest_) / 1e6; }

 private:
  QTimer beat_;
  QElapsedTimer since_;
  qint64 longest_ = 0;
};

void BM_WindowFlood(benchmark::State& state) {
  const std::filesystem::path dir = MakeWorkingDir();
  const std::vector<std::string> events = MakeEvents();
  double longest_stall_ms = 0;
  double events_per_second = 0;
  double dispatch_share = 0;
  double events_per_cpu_second = 0;
  {
    MainWindow window(dir.string());
    window.document().Bot().Queue().SetPause([](int) {});
    window.resize(1000, 700);
    window.show();
    QApplication::processEvents();
    tolvik::ChatBot& bot = window.document().Bot();
    for (auto _ : state) {
      EnterChannel(bot);
      StallWatch stalls;
      size_t next = 0;
      QElapsedTimer in_dispatch;
      qint64 dispatch_ns = 0;
      QTimer feeder;
      QEventLoop loop;
      QObject::connect(&feeder, &QTimer::timeout, [&] {
        in_dispatch.start();
        for (int i = 0; i < kBatch && next < events.size(); ++i) bot.DispatchLine(events[next++].c_str());
        dispatch_ns += in_dispatch.nsecsElapsed();
        if (next >= events.size()) {
          feeder.stop();
          loop.quit();
        }
      });
      QElapsedTimer total;
      total.start();
      const double cpu_start = ThreadCpuSeconds();
      stalls.start();
      feeder.start(0);
      loop.exec();
      QApplication::processEvents();  // the last repaint
      const double seconds = static_cast<double>(total.nsecsElapsed()) / 1e9;
      events_per_second = kEvents / seconds;
      events_per_cpu_second = kEvents / (ThreadCpuSeconds() - cpu_start);
      dispatch_share = static_cast<double>(dispatch_ns) / static_cast<double>(total.nsecsElapsed());
      longest_stall_ms = std::max(longest_stall_ms, stalls.longestMs());
      state.SetIterationTime(seconds);
    }
  }
  state.counters["events_per_s"] = events_per_second;
  state.counters["events_per_cpu_s"] = events_per_cpu_second;
  state.counters["longest_stall_ms"] = longest_stall_ms;
  // The part of the wall time spent inside DispatchLine (bot, list and pane
  // updates); the rest is the event loop's own work: layout and painting.
  state.counters["dispatch_share"] = dispatch_share;
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WindowFlood)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// A channel filling up: `count` distinct users join, paced evenly over 10 s
// of wall time in socket-sized batches. Reports how long the window took to
// take them all in and the main thread's CPU time per join; with incremental
// list updates the cost per join stays flat as the channel grows.
void BM_WindowDistinctJoins(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::filesystem::path dir = MakeWorkingDir();
  std::vector<std::string> joins;
  joins.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    joins.push_back("1002 JOIN guest" + std::to_string(i) + (i % 50 == 0 ? " 0002 [STAR]" : " 0000 [SEXP]"));
  constexpr double kPaceSeconds = 10.0;
  const int interval_ms = std::max(1, static_cast<int>(kPaceSeconds * 1000.0 * kBatch / count));
  double seconds = 0;
  double cpu_seconds = 0;
  double process_cpu_seconds = 0;
  double longest_stall_ms = 0;
  for (auto _ : state) {
    MainWindow window(dir.string());
    window.document().Bot().Queue().SetPause([](int) {});
    window.resize(1000, 700);
    window.show();
    QApplication::processEvents();
    tolvik::ChatBot& bot = window.document().Bot();
    EnterChannel(bot);
    StallWatch stalls;
    size_t next = 0;
    QElapsedTimer total;
    QTimer feeder;
    QEventLoop loop;
    // Batches go out on a fixed schedule, as a server would send them; a
    // window that falls behind catches up as fast as it can. In between the
    // loop waits (blocking) for the next batch.
    QObject::connect(&feeder, &QTimer::timeout, [&] {
      const auto due = static_cast<size_t>(static_cast<double>(total.elapsed()) * count / (kPaceSeconds * 1000.0));
      const size_t until = std::min(joins.size(), std::max(due, next + kBatch));
      while (next < until) bot.DispatchLine(joins[next++].c_str());
      if (next >= joins.size()) {
        feeder.stop();
        loop.quit();
      }
    });
    total.start();
    const double cpu_start = ThreadCpuSeconds();
    const double process_cpu_start = ProcessCpuSeconds();
    stalls.start();
    feeder.start(interval_ms);
    loop.exec();
    QApplication::processEvents();
    seconds = static_cast<double>(total.nsecsElapsed()) / 1e9;
    cpu_seconds = ThreadCpuSeconds() - cpu_start;
    process_cpu_seconds = ProcessCpuSeconds() - process_cpu_start;
    longest_stall_ms = stalls.longestMs();
    state.SetIterationTime(seconds);
    window.close();
  }
  state.counters["through_s"] = seconds;  // wall time
  state.counters["cpu_s"] = cpu_seconds;    // the main thread
  state.counters["process_cpu_s"] = process_cpu_seconds;
  state.counters["cpu_us_per_join"] = cpu_seconds * 1e6 / count;
  state.counters["longest_stall_ms"] = longest_stall_ms;
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WindowDistinctJoins)->Arg(10000)->Arg(30000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  // The window keeps its layout in the program's settings: here, a throwaway directory.
  char settings_dir[] = "/tmp/tolvik-bench-settings-XXXXXX";
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromLocal8Bit(mkdtemp(settings_dir)));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
