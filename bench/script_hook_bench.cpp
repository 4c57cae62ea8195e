// What running hooks in the script host costs: one hook's round trip (the
// variables over, the script, the verdict back), a hook that asks the bot
// for a user's level, and replacing a host that had to be ended.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/document.h"
#include "bench_support.h"
#include "bot/chat_bot.h"
#include "bot/script_host_process.h"

namespace tolvik::bench {
namespace {

namespace fs = std::filesystem;

struct Bot {
  Bot() {
    SetScriptHostProgram(TOLVIK_SCRIPTHOST_PATH);
    dir = fs::temp_directory_path() / ("tolvik-script-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir / "scripts");
    WriteFile(dir / "Bot.ini", "");
    WriteFile(dir / "users.lst", "[Level5]\r\nowner\r\n");
    WriteFile(dir / "scripts/quiet.tcl", "set seen $speaker\n");
    WriteFile(dir / "scripts/ask.tcl", "set level [UserLevel $speaker]\n");
    doc = std::make_unique<CHaldenDoc>(dir.string(), display, host);
  }
  ~Bot() {
    doc.reset();
    fs::remove_all(dir);
  }
  fs::path dir;
  CountingDisplay display;
  NullHost host;
  std::unique_ptr<CHaldenDoc> doc;
};

void BM_QuietHook(benchmark::State& state) {
  Bot bot;
  for (auto _ : state) benchmark::DoNotOptimize(bot.doc->Bot().RunScript("scripts/quiet.tcl", "alice", "!hi there"));
}
BENCHMARK(BM_QuietHook)->Unit(benchmark::kMicrosecond);

void BM_HookAskingForALevel(benchmark::State& state) {
  Bot bot;
  for (auto _ : state) benchmark::DoNotOptimize(bot.doc->Bot().RunScript("scripts/ask.tcl", "owner", "!level"));
}
BENCHMARK(BM_HookAskingForALevel)->Unit(benchmark::kMicrosecond);

// A host ended under a script (killed here from outside) and the next hook,
// which starts and sets up a new one.
void BM_HookAfterTheHostWasEnded(benchmark::State& state) {
  Bot bot;
  ScriptBridge& scripts = bot.doc->Bot().Scripts();
  for (auto _ : state) {
    state.PauseTiming();
    ::kill(scripts.HostPid(), SIGKILL);
    state.ResumeTiming();
    // This hook sees its host gone; the one after it starts a new host.
    scripts.RunHook((bot.dir / "scripts/quiet.tcl").c_str(), "alice", "");
    benchmark::DoNotOptimize(bot.doc->Bot().RunScript("scripts/quiet.tcl", "alice", "!hi"));
  }
}
BENCHMARK(BM_HookAfterTheHostWasEnded)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tolvik::bench
