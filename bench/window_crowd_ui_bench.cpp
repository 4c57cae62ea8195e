// The desktop window taking in a crowd through its socket: logged in and
// settled, it is put in a full channel (1,000 users, the bot one of them)
// followed at once by 5,000 chat lines (one in five with a URL), sent by the
// tests' scripted gateway on loopback as one write, on Qt's offscreen platform. Reports the process CPU
// time from the send until the last line is in the chat pane (with the pane
// painted), the wall time, and the resident memory the crowd added.
// bench/peers.sh measures the same under a real X server beside hexchat.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTextBlock>
#include <QTextDocument>
#include <cstdlib>
#include <functional>
#include <string>

#include "app/document.h"
#include "bench_support.h"
#include "bot/chat_bot.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "ui/chat_pane.h"
#include "ui/main_window.h"

namespace {

constexpr int kUsers = 999;  // and the bot: a full channel of 1,000
constexpr int kLines = 5000;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop until `done` holds or 30 s pass.
bool SpinUntil(const std::function<bool()>& done) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > 30000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

std::string Crowd() {
  std::string bytes = "1007 CHANNEL \"Crowd\"\r\n1001 USER acct 0010 [CHAT]\r\n";
  for (int i = 0; i < kUsers; ++i)
    bytes += "1001 USER user" + std::to_string(i) + (i % 50 == 49 ? " 0002" : " 0000") + " [CHAT]\r\n";
  for (int i = 0; i < kLines; ++i) {
    bytes += "1005 TALK user" + std::to_string(i % kUsers) + " 0000 \"";
    bytes += i % 5 == 0 ? "have a look at http://www.example.com/page/" + std::to_string(i) + " it is good"
                        : "line " + std::to_string(i) + " of ordinary channel talk, nothing to click in here";
    bytes += "\"\r\n";
  }
  return bytes;
}

void BM_WindowTakesInACrowd(benchmark::State& state) {
  const std::string crowd = Crowd();
  const QString last = QString("line %1 of ordinary").arg(kLines - 1);
  for (auto _ : state) {
    tolvik::testing::ScriptedGateway gateway;
    tolvik::testing::TempDir dir;
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() + "\r\nChannel=Home\r\n");
    tolvik::ui::MainWindow window(dir.path().string());
    window.resize(1000, 700);
    window.show();
    window.document().Bot().Queue().SetPause([](int) {});
    window.document().Connect();
    bool ready = SpinUntil([&] { return gateway.clientCount() == 1; });
    gateway.send("Enter your name and password.\r\n");
    ready = ready && SpinUntil([&] { return gateway.received().find("pw\r\n") != std::string::npos; });
    gateway.send("2010 NAME acct\r\n");
    QElapsedTimer settle;
    settle.start();
    SpinUntil([&] { return settle.elapsed() >= 1000; });

    QTextDocument* chat = window.chatPane()->document();
    const long kb0 = tolvik::bench::ResidentKb();
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    gateway.send(crowd);
    ready = ready && SpinUntil([&] { return chat->lastBlock().text().contains(last); });
    QApplication::processEvents();  // the last paint
    const double seconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    const double cpu = CpuSeconds() - cpu0;

    if (!ready) state.SkipWithError("the crowd did not come through");
    if (window.document().Bot().Users().userCount() != kUsers + 1) state.SkipWithError("users missing");
    state.SetIterationTime(seconds);
    state.counters["cpu_s"] = cpu;
    state.counters["wall_s"] = seconds;
    state.counters["added_mb"] = static_cast<double>(tolvik::bench::ResidentKb() - kb0) / 1024.0;
    window.close();
  }
}
BENCHMARK(BM_WindowTakesInACrowd)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  // The window keeps its layout in the program's settings: here, a throwaway directory.
  char settings_dir[] = "/tmp/tolvik-bench-settings-XXXXXX";
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromLocal8Bit(mkdtemp(settings_dir)));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
