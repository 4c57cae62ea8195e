// What the desktop window costs while nothing happens: the real window on
// Qt's offscreen platform, logged in through the tests' scripted gateway on
// loopback to a channel of 10 users, then left idle in its event loop.
// Measured over the idle time: cpu_percent (the whole process, the test
// gateway's thread included, share of one core), main_cpu_percent (the GUI
// thread alone), loop_wakeups_per_s (the event dispatcher waking from its
// wait) and main_wakeups_per_s (the GUI thread's context switches; the
// gateway's thread, which polls 5 times a second, is left out).
// Aim: under 0.1% of a core and at most 12 wake-ups a second.
// Two cases: the window in the background (another window is active), as a
// bot mostly sits, and the window active with the chat bar's cursor blinking.
//
// A third runs the program tolvik itself as a process (on the display named
// by $DISPLAY, such as an Xvfb, or else on Qt's offscreen platform) and
// counts every thread of it: wakeups_per_s (context switches of all its
// threads) and cpu_percent. Aim: at most 3 wake-ups a second.
//
//   window_idle_ui_bench                    30 s idle
//   window_idle_ui_bench --idle_seconds=5   any other length
#include <benchmark/benchmark.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <string>
#include <thread>

#include "app/document.h"
#include "idle_support.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"

namespace {

double g_idle_seconds = 30;

double CpuSeconds(int who) {
  rusage ru{};
  getrusage(who, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

long MainThreadSwitches() {
  rusage ru{};
  getrusage(RUSAGE_THREAD, &ru);
  return ru.ru_nvcsw + ru.ru_nivcsw;
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
    QWidget other;
    const bool background = state.range(0) == 0;
    if (background) {
      other.show();
      other.activateWindow();
    } else {
      window.activateWindow();
    }
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
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const double main_cpu0 = CpuSeconds(RUSAGE_THREAD);
    const long switches0 = MainThreadSwitches();
    QElapsedTimer idle;
    idle.start();
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(g_idle_seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = static_cast<double>(idle.nsecsElapsed()) / 1e9;
    const double cpu = CpuSeconds(RUSAGE_SELF) - cpu0;
    const double main_cpu = CpuSeconds(RUSAGE_THREAD) - main_cpu0;
    const long switches = MainThreadSwitches() - switches0;

    if (!ready) state.SkipWithError("the window did not log in");
    state.SetIterationTime(seconds);
    state.counters["idle_s"] = seconds;
    state.counters["cpu_percent"] = 100.0 * cpu / seconds;
    state.counters["loop_wakeups_per_s"] = static_cast<double>(loop_wakeups) / seconds;
    state.counters["main_cpu_percent"] = 100.0 * main_cpu / seconds;
    state.counters["main_wakeups_per_s"] = static_cast<double>(switches) / seconds;
  }
}
BENCHMARK(BM_WindowIdleInChannel)
    ->ArgName("active")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The program as a process: its own event loop, its own threads, all counted.
void BM_WindowProcessIdleInChannel(benchmark::State& state) {
  // The program under measurement; TOLVIK_WINDOW names another build to compare.
  const char* program = std::getenv("TOLVIK_WINDOW") ? std::getenv("TOLVIK_WINDOW") : TOLVIK_WINDOW_PATH;
  for (auto _ : state) {
    tolvik::testing::ScriptedGateway gateway;
    tolvik::testing::TempDir dir;
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() +
                             "\r\nChannel=Home\r\nAutoLogin=1\r\n");
    const std::string home = (dir.path() / "home").string();
    pid_t pid = fork();
    if (pid == 0) {
      // Its settings and runtime files stay in the throwaway directory.
      setenv("HOME", home.c_str(), 1);
      setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
      setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
      if (std::getenv("DISPLAY") != nullptr) setenv("QT_QPA_PLATFORM", "xcb", 1);
      if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr) ||
          !freopen("/dev/null", "r", stdin))
        _exit(126);
      execl(program, program, "--dir", dir.path().c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    bool ready = tolvik::bench::LogInToQuietChannel(gateway);

    const double cpu0 = tolvik::bench::ProcessCpuSeconds(pid);
    const auto switches0 = tolvik::bench::ThreadContextSwitches(pid);
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(g_idle_seconds));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = tolvik::bench::ProcessCpuSeconds(pid) - cpu0;
    const long switches = tolvik::bench::ContextSwitchesSince(pid, switches0);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);

    if (!ready) state.SkipWithError("the program did not log in");
    state.SetIterationTime(seconds);
    state.counters["idle_s"] = seconds;
    state.counters["cpu_percent"] = 100.0 * cpu / seconds;
    state.counters["wakeups_per_s"] = static_cast<double>(switches) / seconds;
  }
}
BENCHMARK(BM_WindowProcessIdleInChannel)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

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
