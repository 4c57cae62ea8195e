// Desktop notifications: which chat lines call for the operator, when a
// notification goes out, the tray's unread mark and menu.
#include "ui/desktop_notifications.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <memory>
#include <utility>
#include <vector>

#include "support/temp_dir.h"
#include "ui/attention.h"
#include "ui/chat_pane.h"
#include "ui/main_window.h"
#include "ui/qt_host.h"

namespace tolvik::ui {
namespace {

using testing::TempDir;

struct Shown {
  QString title;
  QString text;
};

class RecordingSink : public NotificationSink {
 public:
  explicit RecordingSink(std::vector<Shown>& out) : out_(out) {}
  void show(const QString& title, const QString& text) override { out_.push_back({title, text}); }

 private:
  std::vector<Shown>& out_;
};

TEST(Attention, WhispersAndLinesNamingTheBotAsAWholeWord) {
  const QString bot = "Acct";
  auto kind = [&](const QString& line) -> int {
    const std::optional<Attention> a = AttentionIn(line, bot);
    return a ? static_cast<int>(a->kind) : -1;
  };
  const int whisper = static_cast<int>(AttentionKind::Whisper);
  const int mention = static_cast<int>(AttentionKind::Mention);
  EXPECT_EQ(kind("<From: bob> are you there?"), whisper);
  EXPECT_EQ(kind("<From: bob> hi (forwarded)"), whisper);
  EXPECT_EQ(AttentionIn("<From: bob> hi (forwarded)", bot)->text, "hi");
  EXPECT_EQ(AttentionIn("<From: bob> hi", bot)->from, "bob");
  EXPECT_EQ(kind("<bob> hey acct, kick him"), mention);
  EXPECT_EQ(kind("<bob> ACCT"), mention);
  EXPECT_EQ(kind("<bob> acct2 is someone else"), -1);
  EXPECT_EQ(kind("<bob> myacct"), -1);
  EXPECT_EQ(kind("<acct> talking about acct"), -1) << "the bot's own line";
  EXPECT_EQ(kind("<To: bob> acct here"), -1) << "the bot's own whisper";
  EXPECT_EQ(kind("Command from bob: /page"), -1);
  EXPECT_EQ(kind("<bob> nothing for us"), -1);
  EXPECT_FALSE(AttentionIn("<bob> acct", QString()).has_value()) << "before login nobody names the bot";
}

class NotificationsTest : public ::testing::Test {
 protected:
  NotificationsTest() : notes([this] { return active; }) {
    notes.setSink(std::make_unique<RecordingSink>(shown));
    for (AttentionKind k : {AttentionKind::Whisper, AttentionKind::Page, AttentionKind::Mention})
      notes.switchFor(k)->setChecked(true);
  }
  bool active = false;
  std::vector<Shown> shown;
  DesktopNotifications notes;
};

TEST_F(NotificationsTest, OnlyWhileTheWindowIsNotActiveAndOnlyKindsSwitchedOn) {
  active = true;
  notes.lineShown("<From: bob> hi", "acct");
  EXPECT_TRUE(shown.empty());
  EXPECT_FALSE(notes.hasUnread());

  active = false;
  notes.lineShown("<From: bob> hi", "acct");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, "Whisper from bob");
  EXPECT_EQ(shown[0].text, "hi");
  EXPECT_TRUE(notes.hasUnread());
  notes.markRead();
  EXPECT_FALSE(notes.hasUnread());

  notes.switchFor(AttentionKind::Mention)->setChecked(false);
  notes.lineShown("<bob> acct?", "acct");
  EXPECT_EQ(shown.size(), 1u);
  EXPECT_FALSE(notes.hasUnread());
  notes.lineShown("<bob> plain talk", "acct");
  EXPECT_EQ(shown.size(), 1u);

  // A page names whoever whispered the last command.
  notes.lineShown("Command from carol: /page", "acct");
  notes.paged();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].title, "Page from carol");
}

TEST_F(NotificationsTest, SwitchesAreKeptInTheProgramSettings) {
  notes.switchFor(AttentionKind::Page)->setChecked(false);
  DesktopNotifications later([] { return false; });
  EXPECT_FALSE(later.switchFor(AttentionKind::Page)->isChecked());
  EXPECT_TRUE(later.switchFor(AttentionKind::Whisper)->isChecked());
  notes.switchFor(AttentionKind::Page)->setChecked(true);
}

TEST(UnreadMark, DrawsOnTheIconAtEverySize) {
  QPixmap plain(32, 32);
  plain.fill(Qt::darkGreen);
  const QIcon marked = WithUnreadMark(QIcon(plain));
  const QImage image = marked.pixmap(32, 32).toImage();
  EXPECT_NE(image.pixelColor(31 - 7, 7), QColor(Qt::darkGreen)) << "the dot is in the top right corner";
  EXPECT_EQ(image.pixelColor(4, 28), QColor(Qt::darkGreen));
}

// The window: a whisper while it is not active reaches the sink and marks
// the tray icon; the tray menu shows, hides and holds the window's commands.
TEST(MainWindowNotifications, WhisperWhileInactiveAndTheTrayMenu) {
  TempDir dir;
  MainWindow window(dir.path().string());
  std::vector<Shown> shown;
  window.setNotificationSink(std::make_unique<RecordingSink>(shown));
  window.notifications()->switchFor(AttentionKind::Whisper)->setChecked(true);
  window.chatPane()->print(TextType::Whispers, "<From: %s> %s", "bob", "you there?");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "you there?");
  EXPECT_TRUE(window.notifications()->hasUnread());

  ASSERT_NE(window.trayIcon(), nullptr);
  QMenu* menu = window.trayIcon()->contextMenu();
  ASSERT_NE(menu, nullptr);
  QStringList entries;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) entries << a->text().remove('&');
  EXPECT_EQ(entries, (QStringList{"Show", "Connect", "Disconnect", "Exit"}));
  QAction* showHide = menu->actions().first();
  showHide->trigger();
  EXPECT_TRUE(window.isVisible());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  emit menu->aboutToShow();
  EXPECT_EQ(showHide->text().remove('&'), "Hide");
  showHide->trigger();
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace tolvik::ui
