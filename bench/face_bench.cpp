// Faces on a running bot: tolvik-cli runs as a real process against the
// tests' scripted gateway on loopback; the faces are this process's
// FaceClients over the bot's local socket, each on a thread of its own.
//   BM_FaceAttachFullSnapshot  attach with 1,000 users and 1,000 lines
//                              (counter attach_ms, the median of 10; aim: under 200 ms)
//   BM_FaceLineLatency         from a server line to a face (median_ms; aim: under 20 ms)
//   BM_FiveFacesInAFlood       five faces during 2,000 events/s: lines_behind at the
//                              end (aim: 0) and the bot's growth per face (kib_per_face;
//                              aim: under 2 MiB)
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "display/chat_display.h"
#include "face/face_client.h"
#include "face/local_faces.h"
#include "cli_process_support.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using tolvik::testing::ScriptedGateway;
using tolvik::testing::TempDir;

// tolvik-cli as the service runs it, logged in to a channel of `users` users
// where `lines` lines were said.
class Bot {
 public:
  Bot(int users, int lines) {
    std::string script = "2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n";
    for (int i = 0; i < users; ++i) script += "1001 USER user" + std::to_string(i) + " 0000 [STAR]\r\n";
    for (int i = 0; i < lines; ++i)
      script += "1005 TALK user" + std::to_string(i % std::max(users, 1)) + " 0000 \"backlog line " +
                std::to_string(i) + " with some words in it\"\r\n";
    script += "1005 TALK user0 0000 \"ready\"\r\n";
    gateway.send(script);
    // The bot has taken it all once a face sees the last line.
  }
  std::string Dir() const { return service_.dir(); }
  long Rss() const { return service_.rssKib(); }

  ScriptedGateway gateway;

 private:
  tolvik::bench::CliService service_{TOLVIK_CLI_PATH, gateway, "[Toggles]\r\nAutoRespond=0\r\n"};
};

// Counts lines and notes when a line holding a mark arrived.
class MarkDisplay : public tolvik::ChatDisplay {
 public:
  void append(const char* text, const tolvik::TextFormat&) override {
    lines.fetch_add(1);
    const char* mark = std::strstr(text, "mark ");
    if (mark == nullptr) return;
    std::lock_guard<std::mutex> lock(mutex);
    marks.push_back({std::atoi(mark + 5), Clock::now()});
  }
  std::atomic<long> lines{0};
  std::mutex mutex;
  std::vector<std::pair<int, Clock::time_point>> marks;
};

// A face on a thread of its own, asleep in poll until the bot sends.
class Face {
 public:
  explicit Face(const std::string& dir) {
    std::string error;
    auto stream = tolvik::ConnectToLocalBot(dir, &error);
    if (!stream || !client_.Open(std::move(stream), "localhost", std::nullopt, 10000, &error)) {
      std::fprintf(stderr, "cannot attach: %s\n", error.c_str());
      return;
    }
    thread_ = std::thread([this] {
      while (!stop_) {
        users.store(mirror_.Users().size());
        pollfd p{client_.Fd(), POLLIN, 0};
        if (::poll(&p, 1, 50) > 0 && !client_.Pump()) break;
      }
      client_.Close();
    });
  }
  ~Face() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // Waits until the face has shown `lines` lines in all.
  bool WaitLines(long lines, std::chrono::milliseconds limit = 30s) {
    const auto end = Clock::now() + limit;
    while (display.lines.load() < lines) {
      if (Clock::now() > end) return false;
      std::this_thread::sleep_for(200us);
    }
    return true;
  }

  MarkDisplay display;
  std::atomic<size_t> users{0};

 private:
  tolvik::FaceMirror mirror_{display};
  tolvik::FaceClient client_{mirror_};
  std::thread thread_;
  std::atomic<bool> stop_{false};
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

void BM_FaceAttachFullSnapshot(benchmark::State& state) {
  Bot bot(1000, 1000);
  {
    Face first(bot.Dir());  // waits for the bot to have taken the whole script
    const auto end = Clock::now() + 60s;
    while (Clock::now() < end) {
      std::lock_guard<std::mutex> lock(first.display.mutex);
      if (first.display.lines.load() > 0) break;
    }
  }
  std::this_thread::sleep_for(1s);
  for (auto _ : state) {
    std::vector<double> ms;
    for (int i = 0; i < 10; ++i) {
      const auto start = Clock::now();
      Face face(bot.Dir());
      if (!face.WaitLines(1000)) state.SkipWithError("the snapshot did not arrive");
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      while (face.users.load() == 0 && Clock::now() - start < 5s) std::this_thread::sleep_for(100us);
      state.counters["users"] = static_cast<double>(face.users.load());
    }
    state.SetIterationTime(Median(ms) / 1000);
    state.counters["attach_ms"] = Median(ms);
  }
}
BENCHMARK(BM_FaceAttachFullSnapshot)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_FaceLineLatency(benchmark::State& state) {
  Bot bot(40, 0);
  Face face(bot.Dir());
  std::this_thread::sleep_for(1s);
  for (auto _ : state) {
    std::vector<double> ms;
    for (int i = 0; i < 200; ++i) {
      const auto start = Clock::now();
      bot.gateway.send("1005 TALK user1 0000 \"mark " + std::to_string(i) + "\"\r\n");
      Clock::time_point seen{};
      for (const auto end = start + 10s; Clock::now() < end && seen == Clock::time_point{};) {
        std::this_thread::sleep_for(50us);
        std::lock_guard<std::mutex> lock(face.display.mutex);
        for (const auto& [n, when] : face.display.marks)
          if (n == i) seen = when;
      }
      ms.push_back(std::chrono::duration<double, std::milli>(seen - start).count());
      std::this_thread::sleep_for(5ms);
    }
    state.SetIterationTime(Median(ms) / 1000);
    state.counters["median_ms"] = Median(ms);
    std::sort(ms.begin(), ms.end());
    state.counters["p99_ms"] = ms[ms.size() * 99 / 100];
  }
}
BENCHMARK(BM_FaceLineLatency)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// 2,000 talk lines a second for `seconds`, in 10 ms batches.
void Flood(ScriptedGateway& gateway, int seconds, int& sent) {
  const auto start = Clock::now();
  for (int tick = 0; tick < seconds * 100; ++tick) {
    std::string batch;
    for (int i = 0; i < 20; ++i, ++sent)
      batch += "1005 TALK user" + std::to_string(sent % 40) + " 0000 \"flood line " + std::to_string(sent) + "\"\r\n";
    gateway.send(batch);
    std::this_thread::sleep_until(start + (tick + 1) * 10ms);
  }
}

void BM_FiveFacesInAFlood(benchmark::State& state) {
  for (auto _ : state) {
    Bot bot(40, 0);
    std::this_thread::sleep_for(1s);
    int sent = 0;
    // The bot's own growth in the same flood, without faces.
    const long before = bot.Rss();
    Flood(bot.gateway, 3, sent);
    const long without = bot.Rss();
    std::vector<std::unique_ptr<Face>> faces;
    for (int i = 0; i < 5; ++i) faces.push_back(std::make_unique<Face>(bot.Dir()));
    std::this_thread::sleep_for(500ms);
    std::vector<long> start_lines;
    for (auto& face : faces) start_lines.push_back(face->display.lines.load());
    const int from = sent;
    Flood(bot.gateway, 3, sent);
    const long with = bot.Rss();
    const long flood_lines = sent - from;
    long behind = 0;
    for (size_t i = 0; i < faces.size(); ++i) {
      faces[i]->WaitLines(start_lines[i] + flood_lines, 2s);
      behind = std::max(behind, start_lines[i] + flood_lines - faces[i]->display.lines.load());
    }
    state.counters["lines_behind"] = static_cast<double>(behind);
    state.counters["bot_rss_kib_before"] = static_cast<double>(before);
    state.counters["kib_per_face"] = static_cast<double>(with - without) / 5;
  }
}
BENCHMARK(BM_FiveFacesInAFlood)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
