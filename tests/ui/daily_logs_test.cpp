// Options > Keep Daily Logs: chosen with the mouse in the real menu, it
// stores the choice in Bot.ini and the chat pane's lines reach the day's log.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <filesystem>
#include <string>

#include "display/chat_display.h"
#include "app/daily_log.h"
#include "app/document.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"

namespace tolvik::ui {
namespace {

using testing::TempDir;

// Everything the logs folder holds, one file after the other.
std::string AllLogs(const TempDir& dir) {
  std::string all;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path() / kDailyLogDir, ec))
    all += dir.read(std::string(kDailyLogDir) + "/" + entry.path().filename().string());
  return all;
}

// Opens Options with Alt+O and clicks "Keep Daily Logs" in it.
void ClickKeepDailyLogs(MainWindow& window) {
  QTest::keyClick(&window, Qt::Key_O, Qt::AltModifier);
  QMenu* menu = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())); }));
  ASSERT_EQ(menu->title(), "&Options");
  QAction* keep = nullptr;
  for (QAction* item : menu->actions())
    if (item->text() == "Keep Daily Logs") keep = item;
  ASSERT_NE(keep, nullptr);
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(keep).center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activePopupWidget() == nullptr; }));
}

TEST(KeepDailyLogs, TheMenuItemSwitchesTheLogsAndStoresTheChoice) {
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\n");  // a file of before: no [Logging], so off
  MainWindow window(dir.path().string());
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  window.document().Display().print(TextType::OthersText, "<alice> before");
  EXPECT_FALSE(dir.exists(kDailyLogDir));

  ClickKeepDailyLogs(window);
  EXPECT_TRUE(window.document().DailyLogsOn());
  EXPECT_TRUE(LoadLoggingSettings(dir.file("Bot.ini")).dailyLogs);
  window.document().Display().print(TextType::OthersText, "<alice> logged");
  EXPECT_NE(AllLogs(dir).find("] <alice> logged\n"), std::string::npos) << AllLogs(dir);

  ClickKeepDailyLogs(window);
  EXPECT_FALSE(LoadLoggingSettings(dir.file("Bot.ini")).dailyLogs);
  window.document().Display().print(TextType::OthersText, "<alice> after");
  EXPECT_EQ(AllLogs(dir).find("after"), std::string::npos);
  EXPECT_EQ(AllLogs(dir).find("before"), std::string::npos);
}

}  // namespace
}  // namespace tolvik::ui
