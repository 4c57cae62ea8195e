// The window while its server refuses: the status bar names the reason and
// counts down to the next try (driven by the window's own timers), Alt+D
// stops the retries.
#include <gtest/gtest.h>

#include <QTest>

#include "app/document.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"
#include "ui/status_bar.h"

namespace tolvik::ui {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedGateway;
using testing::TempDir;

TEST(MainWindowRetry, StatusCountsDownAndDisconnectStopsTheRetries) {
  uint16_t port;
  {
    ScriptedGateway probe;
    port = probe.port();
  }
  const std::string server = "127.0.0.1:" + std::to_string(port);
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + server + "\r\n");
  MainWindow window(dir.path().string());
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ReconnectTimings timings;
  timings.quick_pause_ms = 10;
  timings.backoff = {2500ms, 2500ms, 0};
  window.document().SetReconnectTimings(timings);

  QTest::keyClick(&window, Qt::Key_C, Qt::AltModifier);
  const QString failed = QString::fromStdString("(" + server + ") Connection Failed: Connection refused. Retrying in ");
  QTRY_COMPARE_WITH_TIMEOUT(window.statusPanes()->paneText(0), failed + "3 s", 5000);
  QTRY_COMPARE_WITH_TIMEOUT(window.statusPanes()->paneText(0), failed + "2 s", 3000);

  QTest::keyClick(&window, Qt::Key_D, Qt::AltModifier);
  EXPECT_EQ(window.statusPanes()->paneText(0), QString::fromStdString("Not Connected: " + server));
  EXPECT_FALSE(window.document().RetryPending());
  ScriptedGateway back(port);
  QTest::qWait(3000);  // past the time the next try was due
  EXPECT_EQ(back.clientCount(), 0);
  EXPECT_EQ(window.document().State(), NotConnected);
}

}  // namespace
}  // namespace tolvik::ui
