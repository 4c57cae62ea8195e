// What the window keeps between runs of one profile: its frame and the
// docks' layout; and the status bar's panes side by side.
#include <gtest/gtest.h>

#include <QDockWidget>
#include <QProgressBar>
#include <QTest>

#include "support/temp_dir.h"
#include "ui/main_window.h"
#include "ui/status_bar.h"

namespace tolvik::ui {
namespace {

using testing::TempDir;

QDockWidget* Dock(MainWindow& window, const char* name) { return window.findChild<QDockWidget*>(name); }

TEST(WindowLayout, DocksAndFrameComeBackForTheSameProfileOnly) {
  TempDir dir;
  TempDir other;
  {
    MainWindow window(dir.path().string());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.setGeometry(40, 50, 720, 610);
    Dock(window, "userListDock")->hide();
    Dock(window, "chatBarDock")->setFloating(true);
    window.close();
  }
  {
    MainWindow again(dir.path().string());
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_EQ(again.geometry().size(), QSize(720, 610));
    EXPECT_FALSE(Dock(again, "userListDock")->isVisible());
    EXPECT_TRUE(Dock(again, "chatBarDock")->isFloating());
    again.close();
  }
  MainWindow fresh(other.path().string());
  fresh.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&fresh));
  EXPECT_TRUE(Dock(fresh, "userListDock")->isVisible());
  EXPECT_FALSE(Dock(fresh, "chatBarDock")->isFloating());
}

TEST(StatusBarPanes, EnterLeaveTextIsNotUnderTheQueueGauge) {
  TempDir dir;
  MainWindow window(dir.path().string());
  window.resize(900, 500);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  StatusBar* bar = window.statusPanes();
  auto* enterLeave = bar->findChild<QWidget*>("statusPane1");
  ASSERT_NE(enterLeave, nullptr);
  QProgressBar* gauge = bar->gauge();
  EXPECT_TRUE(enterLeave->isVisible());
  EXPECT_TRUE(gauge->isVisible());
  const QRect text(enterLeave->mapTo(bar, QPoint()), enterLeave->size());
  const QRect meter(gauge->mapTo(bar, QPoint()), gauge->size());
  EXPECT_FALSE(text.intersects(meter));
  EXPECT_GE(enterLeave->width(), enterLeave->fontMetrics().horizontalAdvance(bar->paneText(1)));
}

}  // namespace
}  // namespace tolvik::ui
