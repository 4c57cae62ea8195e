// tolvik-cli's memory while a chat API server works against it: the program
// runs as a real process (output to /dev/null) against the tests' loopback
// API server.
//
// BM_ApiFloodRss: after the login the server sends one small message again
// and again, as fast as the program's socket takes it, for --flood_seconds.
// Reported: rss_max_kib (VmRSS sampled every 100 ms), rss_peak_kib (VmHWM),
// messages and messages_per_s taken in, and answered (1 when a whispered
// command sent after the flood was answered, so the program kept up and
// stayed well). Aim: under 32 MB.
//
// BM_BurstPeakMemory/0 and /1: a burst of --burst_events talk events at once,
// over the text gateway (0) and over the chat API (1); the peak resident
// memory (VmHWM) once a whispered command after the burst is answered.
// Aim: the chat API within 2x of the text gateway.
//
//   api_flood_bench                          60 s flood, 400,000-event bursts
//   api_flood_bench --benchmark_min_time=0.01   smoke run: 2 s, 20,000 events
//   api_flood_bench --flood_seconds=10 --burst_events=100000
// TOLVIK_CLI names another build of tolvik-cli to measure instead.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_process_support.h"
#include "support/api_test_server.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

namespace {

using namespace std::chrono_literals;

double g_flood_seconds = 60;
int g_burst_events = 400000;

using tolvik::bench::ProcessStatusKib;
using tolvik::bench::StopProcess;

pid_t StartCli(const tolvik::testing::TempDir& dir) {
  const char* cli = std::getenv("TOLVIK_CLI") ? std::getenv("TOLVIK_CLI") : TOLVIK_CLI_PATH;
  return tolvik::bench::StartCliService(cli, dir.path().string());
}

std::string Update(int id, const std::string& name) {
  return R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":)" + std::to_string(id) +
         R"(,"toon_name":")" + name + R"(","flag":[],"attribute":[{"key":"ProgramId","value":"STAR"}]}})";
}
std::string Say(const std::string& type, const std::string& text) {
  return R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":2,"message":")" + text +
         R"(","type":")" + type + R"("}})";
}

// A bot logged in to "Home" over the chat API, with "pebble" (level 1) there.
struct ApiBot {
  tolvik::testing::ApiTestServer server{"bench-key"};
  tolvik::testing::TempDir dir;
  pid_t pid = -1;
  bool ready = false;

  ApiBot() {
    server.setChannelScript({Update(1, "ApiBot"), R"({"command":"Botapichat.ConnectEventRequest","payload":{"channel":"Home"}})",
                             Update(2, "pebble"), Say("Channel", "hello")});
    dir.write("users.lst", "[Level1]\r\npebble\r\n");
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=bench-key\r\nServer=" + server.url() + "\r\nCAFile=" +
                             tolvik::testing::GetTestCa().ca_file + "\r\nChannel=Home\r\n");
    pid = StartCli(dir);
    ready = server.waitForClients(1, 30s) && !server.waitForReceived("Botapichat.ConnectRequest", 30s).empty();
    std::this_thread::sleep_for(1s);  // the channel script is taken in and the start-up work settles
  }
  ~ApiBot() { StopProcess(pid); }
  // Whispers a command and waits for its answer: the program has taken in
  // everything sent before it.
  bool RoundTrip(std::chrono::seconds limit) {
    server.send(Say("Whisper", "/level"));
    return !server.waitForReceived("You are level 1", limit).empty();
  }
};

void BM_ApiFloodRss(benchmark::State& state) {
  for (auto _ : state) {
    ApiBot bot;
    if (!bot.ready) {
      state.SkipWithError("the bot did not log in");
      return;
    }
    const auto flood = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::duration<double>(g_flood_seconds));
    bot.server.flood(Say("Channel", "flooding the channel with a short line"), flood);
    long rss_max = 0;
    while (!bot.server.waitForFloodEnd(100ms)) rss_max = std::max(rss_max, ProcessStatusKib(bot.pid, "VmRSS:"));
    const long messages = bot.server.flooded();
    const bool answered = bot.RoundTrip(120s);
    rss_max = std::max(rss_max, ProcessStatusKib(bot.pid, "VmRSS:"));
    state.counters["rss_max_kib"] = static_cast<double>(rss_max);
    state.counters["rss_peak_kib"] = static_cast<double>(ProcessStatusKib(bot.pid, "VmHWM:"));
    state.counters["messages"] = static_cast<double>(messages);
    state.counters["messages_per_s"] = static_cast<double>(messages) / g_flood_seconds;
    state.counters["answered"] = answered ? 1 : 0;
  }
}
BENCHMARK(BM_ApiFloodRss)->Iterations(1)->Unit(benchmark::kSecond);

void BM_BurstPeakMemory(benchmark::State& state) {
  const bool api = state.range(0) == 1;
  const std::string text = "a line of talk in a burst of them";
  for (auto _ : state) {
    long peak = -1;
    bool answered = false;
    const auto t0 = std::chrono::steady_clock::now();
    if (api) {
      ApiBot bot;
      if (!bot.ready) {
        state.SkipWithError("the bot did not log in");
        return;
      }
      std::vector<std::string> burst(static_cast<size_t>(g_burst_events), Say("Channel", text));
      bot.server.sendBurst(burst);
      answered = bot.RoundTrip(600s);
      peak = ProcessStatusKib(bot.pid, "VmHWM:");
    } else {
      tolvik::testing::ScriptedGateway gateway;
      tolvik::testing::TempDir dir;
      dir.write("users.lst", "[Level1]\r\npebble\r\n");
      dir.write("Bot.ini",
                "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() + "\r\nChannel=Home\r\n");
      pid_t pid = StartCli(dir);
      bool ready = gateway.waitForClients(1);
      gateway.send("Enter your name and password.\r\n");
      ready = ready && gateway.waitForReceived("pw\r\n");
      gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n1001 USER acct 0010 [CHAT]\r\n"
                   "1001 USER pebble 0000 [STAR]\r\n1005 TALK pebble 0000 \"hello\"\r\n");
      std::this_thread::sleep_for(1s);
      std::string burst;
      const std::string line = "1005 TALK pebble 0000 \"" + text + "\"\r\n";
      burst.reserve(line.size() * static_cast<size_t>(g_burst_events) + 64);
      for (int i = 0; i < g_burst_events; ++i) burst += line;
      burst += "1004 WHISPER pebble 0000 \"/level\"\r\n";
      gateway.send(burst);
      answered = ready && gateway.waitForReceived("You are level 1", 600s);
      peak = ProcessStatusKib(pid, "VmHWM:");
      StopProcess(pid);
    }
    state.counters["peak_kib"] = static_cast<double>(peak);
    state.counters["events"] = g_burst_events;
    state.counters["answered"] = answered ? 1 : 0;
    state.counters["seconds"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
}
BENCHMARK(BM_BurstPeakMemory)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

// --flood_seconds=N and --burst_events=N (taken out of argv); a smoke run
// (--benchmark_min_time below 1 s) shortens both unless they are given.
void TakeOptions(int& argc, char** argv) {
  bool seconds_given = false, events_given = false, smoke = false;
  int out = 1;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strncmp(a, "--flood_seconds=", 16) == 0) {
      g_flood_seconds = std::max(0.1, std::atof(a + 16));
      seconds_given = true;
      continue;
    }
    if (std::strncmp(a, "--burst_events=", 15) == 0) {
      g_burst_events = std::max(1, std::atoi(a + 15));
      events_given = true;
      continue;
    }
    if (std::strncmp(a, "--benchmark_min_time=", 21) == 0 && std::atof(a + 21) < 1) smoke = true;
    argv[out++] = argv[i];
  }
  argc = out;
  argv[argc] = nullptr;
  if (smoke && !seconds_given) g_flood_seconds = 2;
  if (smoke && !events_given) g_burst_events = 20000;
}

}  // namespace

int main(int argc, char** argv) {
  TakeOptions(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
