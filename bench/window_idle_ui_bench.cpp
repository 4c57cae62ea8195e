// What the desktop window costs while nothing happens: the real window on
// Qt's offscreen platform, logged in through the tests' scripted gateway on
// loopback to a channel of 10 users, then left idle in its event loop.
// Measured over the idle time: cpu_percent (the whole process, share of one
// core), loop_wakeups_per_s (the event dispatcher waking from its wait) and
// wakeups_per_s (context switches of all threads).
// Aim: under 0.1% of a core and at most 12 wake-ups a second.
//
//   window_idle_ui_bench                    30 s idle
//   window_idle_ui_bench --idle_seconds=5   any other length
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <string>

#include "app/document.h"
#include "idle_support.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"

namespace {

double g_idle_seconds = 30;

double OwnCpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop until `done` holds (checked every 20 ms) or 10 s pass.
bool SpinUntil(const std::function<bool()>& done) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > 10000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void BM_WindowIdleInChannel(benchmark::State& state) {
  for (auto _ : state) {
    tolvik::testing::ScriptedGateway gateway;
    tolvik::testing::TempDir dir;
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() + "\r\nChannel=Home\r\n");
    tolvik::ui::MainWindow window(dir.path().string());
    window.show();
    window.document().Connect();
    bool ready = SpinUntil([&] { return gateway.clientCount() == 1; });
    gateway.send("Enter your name and password.\r\n");
    ready = ready && SpinUntil([&] { return gateway.received().find("pw\r\n") != std::string::npos; });
    std::string lines = "2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n";
    for (int i = 0; i < 10; ++i) lines += "1001 USER user" + std::to_string(i) + " 0000 [CHAT]\r\n";
    gateway.send(lines);
    ready = ready && SpinUntil([&] { return gateway.received().find("/time\n") != std::string::npos; });
    QElapsedTimer settle;
    settle.start();
    SpinUntil([&] { return settle.elapsed() >= 1000; });

    long loop_wakeups = 0;
    QObject counter;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, &counter,
                     [&] { ++loop_wakeups; });
    const double cpu0 = OwnCpuSeconds();
    const long switches0 = tolvik::bench::ProcessContextSwitches(getpid());
    QElapsedTimer idle;
    idle.start();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(g_idle_seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = static_cast<double>(idle.nsecsElapsed()) / 1e9;
    const double cpu = OwnCpuSeconds() - cpu0;
    const long switches = tolvik::bench::ProcessContextSwitches(getpid()) - switches0;

    if (!ready) state.SkipWithError("the window did not log in");
    state.SetIterationTime(seconds);
    state.counters["idle_s"] = seconds;
    state.counters["cpu_percent"] = 100.0 * cpu / seconds;
    state.counters["loop_wakeups_per_s"] = static_cast<double>(loop_wakeups) / seconds;
    state.counters["wakeups_per_s"] = static_cast<double>(switches) / seconds;
  }
}
BENCHMARK(BM_WindowIdleInChannel)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  g_idle_seconds = tolvik::bench::IdleSeconds(argc, argv);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
