// The window attached to a bot that runs elsewhere: a bot (the window on its
// own document, listening for faces in its working directory) is logged in
// to the scripted gateway, and a second window attaches to it over the real
// local socket and is used with real keys and clicks.
#include "ui/face/face_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <functional>
#include <memory>

#include "app/document.h"
#include "app/toggle_switch.h"
#include "bot/chat_bot.h"
#include "storage/instance_lock.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "row_menu.h"
#include "ui/chat_pane.h"
#include "ui/face/face_chat_bar.h"
#include "ui/face/face_user_menu.h"
#include "ui/main_window.h"
#include "ui/profile_session.h"
#include "ui/status_bar.h"
#include "ui/toggle_actions.h"
#include "ui/user_list_model.h"
#include "ui/user_list_panel.h"
#include "ui/user_list_view.h"
#include "ui/user_whisper_bars.h"
#include "ui/whisper_bar.h"

namespace tolvik::ui {
namespace {

using testing::ScriptedGateway;
using testing::TempDir;

constexpr int kWait = 10000;

class FaceWindowTest : public ::testing::Test {
 protected:
  // The bot logs in as acct (not an operator) to "Home" with bob, alice and
  // carol there, and bob has said something before any face attaches.
  void SetUp() override {
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=" + gateway.address() +
                             "\r\nChannel=Home\r\nAutoLogin=1\r\n");
    dir.write("users.lst", "");
    StartBot(1);

    face = std::make_unique<FaceWindow>(FaceTarget::Local({dir.path().string(), "", ""}));
    face->show();
    face->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(face.get()));
    face->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return face->link().attached() && face->users().userCount() == 4; }, kWait));
  }

  void TearDown() override {
    face.reset();
    bot.reset();
  }

  // The bot's window, the `clients`th connection to the gateway.
  void StartBot(int clients) {
    bot = std::make_unique<MainWindow>(dir.path().string());
    bot->document().Bot().Queue().SetPause([](int) {});
    bot->start();
    ASSERT_TRUE(gateway.waitForClients(clients));
    ASSERT_TRUE(QTest::qWaitFor([&] { return bot->document().State() == WaitingForLoginPrompt; }, kWait));
    gateway.send("Username: Password: \r\nPlease enter your name and password.\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("secret\r\n") != std::string::npos; }));
    gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n1001 USER acct 0010 [CHAT]\r\n"
                 "1001 USER bob 0000 [W2BN]\r\n1001 USER alice 0000 [STAR]\r\n1001 USER carol 0000 [SEXP]\r\n"
                 "1005 TALK bob 0000 \"said before anyone attached\"\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Shows(bot->chatPane(), "said before anyone attached"); }, kWait));
  }

  // Waits as the program's own loop does: asleep between events, so what
  // the bot sends when its loop rests goes out too.
  static bool Until(const std::function<bool()>& done, int ms = kWait) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
      if (clock.elapsed() > ms) return false;
      QEventLoop loop;
      QTimer::singleShot(10, &loop, &QEventLoop::quit);
      loop.exec();
    }
    return true;
  }
  static bool Shows(ChatPane* pane, const QString& text) { return pane->document()->toPlainText().contains(text); }
  static int Count(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
  }
  static QColor ColourOf(ChatPane* pane, const QString& text) {
    const QTextBlock block = pane->document()->find(text).block();
    return block.begin().fragment().charFormat().foreground().color();
  }

  UserListView& view() { return face->userListPanel()->view(); }
  QPoint RowCenter(int row) { return testing::RowCenter(view(), row); }
  QMenu* OpenMenuOn(int row) { return testing::OpenMenuOn(view(), row); }
  void Type(const QString& text) {
    QLineEdit& input = face->chatBar()->input();
    QTest::mouseClick(&input, Qt::LeftButton);
    QTest::keyClicks(&input, text);
    QTest::keyClick(&input, Qt::Key_Return);
  }

  ScriptedGateway gateway;
  TempDir dir;
  std::unique_ptr<MainWindow> bot;
  std::unique_ptr<FaceWindow> face;
};

TEST_F(FaceWindowTest, ShowsTheBotsLinesUsersAndStatusThenLiveLines) {
  EXPECT_EQ(face->windowTitle(), QStringLiteral("Tolvik Version 1.0 - %1 (attached)").arg(dir.path().c_str()));
  // The snapshot: the line said before, in the colour of its text type.
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shows(face->chatPane(), "said before anyone attached"); }, kWait));
  EXPECT_EQ(ColourOf(face->chatPane(), "said before anyone attached"),
            ColourOf(bot->chatPane(), "said before anyone attached"));
  // The users in the bot's order, with the caption and the status.
  UserList& bots = bot->document().Bot().Users();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(face->users().row(i).name, bots.row(i).name) << i;
  EXPECT_EQ(view().userModel().rowCount(), 4);
  EXPECT_EQ(face->users().label(), bots.label());
  EXPECT_EQ(face->statusPanes()->paneText(0), bot->statusPanes()->paneText(0));

  gateway.send("1005 TALK alice 0000 \"a live line\"\r\n1002 JOIN dave 0000 [CHAT]\r\n1003 LEAVE bob 0000\r\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shows(face->chatPane(), "a live line"); }, kWait));
  ASSERT_TRUE(QTest::qWaitFor([&] { return face->users().findUser("dave") >= 0; }, kWait));
  ASSERT_TRUE(QTest::qWaitFor([&] { return face->users().findUser("bob") < 0; }, kWait));
  EXPECT_EQ(view().userModel().rowCount(), 4);
}

// A join, a leave and a change reach the face's list row by row, not as a
// refill: the row clicked stays selected.
TEST_F(FaceWindowTest, JoinsLeavesAndChangesReachTheFacesListRowByRow) {
  const int alice = face->users().findUser("alice");
  ASSERT_GE(alice, 0);
  QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, RowCenter(alice));
  ASSERT_TRUE(face->users().isSelected("alice"));
  QAbstractItemModel* model = &view().userModel();
  QSignalSpy resets(model, &QAbstractItemModel::modelReset);
  QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
  QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);

  gateway.send("1002 JOIN dave 0000 [CHAT]\r\n1003 LEAVE bob 0000\r\n");
  ASSERT_TRUE(Until([&] { return face->users().findUser("dave") >= 0 && face->users().findUser("bob") < 0; }));
  EXPECT_EQ(resets.count(), 0);
  EXPECT_EQ(inserted.count(), 1);
  EXPECT_EQ(removed.count(), 1);
  EXPECT_TRUE(face->users().isSelected("alice"));
  // A row that changes in place stays a row changed.
  gateway.send("1009 USER carol 0020 [SEXP]\r\n");
  ASSERT_TRUE(Until([&] {
    const int carol = face->users().findUser("carol");
    return carol >= 0 && face->users().row(carol).flags == 0x20;
  }));
  EXPECT_EQ(resets.count(), 0);
  const UserList& bots = bot->document().Bot().Users();
  ASSERT_EQ(face->users().userCount(), bots.userCount());
  for (int i = 0; i < bots.userCount(); ++i) EXPECT_EQ(face->users().row(i).name, bots.row(i).name) << i;
  EXPECT_EQ(face->users().label(), bots.label());
}

TEST_F(FaceWindowTest, ALineTypedInTheChatBarReachesTheServerOnceAndLocalCommandsNever) {
  Type(QStringLiteral("hello from the face"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shows(face->chatPane(), "<acct> hello from the face"); }, kWait));
  EXPECT_EQ(Count(gateway.received(), "hello from the face\n"), 1) << gateway.received();
  EXPECT_TRUE(face->chatBar()->input().text().isEmpty());

  // A bot's local command is answered in this window and goes nowhere else.
  Type(QStringLiteral("//status"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shows(face->chatPane(), "Status: Connected"); }, kWait));
  EXPECT_EQ(gateway.received().find("status"), std::string::npos);
  EXPECT_FALSE(Shows(bot->chatPane(), "Status: Connected"));

  // Up recalls what was sent.
  QTest::keyClick(&face->chatBar()->input(), Qt::Key_Up);
  EXPECT_EQ(face->chatBar()->input().text(), QStringLiteral("//status"));
  QTest::keyClick(&face->chatBar()->input(), Qt::Key_Up);
  EXPECT_EQ(face->chatBar()->input().text(), QStringLiteral("hello from the face"));
}

TEST_F(FaceWindowTest, TheWhisperBarsWhisperThroughTheBot) {
  // A user's own bar, from a double-click on the user.
  const int carol = face->users().findUser("carol");
  ASSERT_GE(carol, 0);
  QTest::mouseDClick(view().viewport(), Qt::LeftButton, {}, RowCenter(carol));
  QDockWidget* dock = face->userWhisperBars()->find(QStringLiteral("carol"));
  ASSERT_NE(dock, nullptr);
  auto* field = qobject_cast<QLineEdit*>(dock->widget());
  ASSERT_NE(field, nullptr);
  QTest::keyClicks(field, QStringLiteral("just for you"));
  QTest::keyClick(field, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("/m carol just for you\n") != std::string::npos; },
                              kWait));

  // The "Whisper Bar": the names typed there.
  QDockWidget* bar = face->userWhisperBars()->openWhisperBar(QString());
  ASSERT_NE(bar, nullptr);
  WhisperBar* whisper = face->userWhisperBars()->whisperBar();
  QTest::keyClicks(&whisper->namesField(), QStringLiteral("bob alice"));
  QTest::keyClicks(&whisper->messageField(), QStringLiteral("to both"));
  QTest::keyClick(&whisper->messageField(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("/m alice to both\n") != std::string::npos; },
                              kWait));
  EXPECT_EQ(Count(gateway.received(), "/m bob to both\n"), 1);
  EXPECT_EQ(Count(gateway.received(), "/m carol just for you\n"), 1);
}

TEST_F(FaceWindowTest, KickFromTheUserMenuWaitsForOperatorStatusAndReachesTheServerOnce) {
  const int alice = face->users().findUser("alice");
  ASSERT_GE(alice, 0);
  QMenu* menu = OpenMenuOn(alice);
  ASSERT_NE(menu, nullptr);
  EXPECT_FALSE(face->userMenu()->action(UserCommand::Kick)->isEnabled());
  menu->close();

  gateway.send("1009 USER acct 0012\r\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return bot->document().Bot().IsOperator(); }, kWait));
  ASSERT_TRUE(QTest::qWaitFor([&] { return face->users().row(0).flags == 0x12; }, kWait));
  const int target = face->users().findUser("alice");
  menu = OpenMenuOn(target);
  ASSERT_NE(menu, nullptr);
  QAction* kick = face->userMenu()->action(UserCommand::Kick);
  ASSERT_TRUE(kick->isEnabled());
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(kick).center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("/kick alice\n") != std::string::npos; }, kWait));
  // A second kick would have gone out before a line typed after it.
  Type(QStringLiteral("after the kick"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("after the kick") != std::string::npos; }, kWait));
  EXPECT_EQ(Count(gateway.received(), "/kick alice\n"), 1);
}

TEST_F(FaceWindowTest, ConfigurationSheetsAndOpenProfileAreDisabledAndSayWhy) {
  for (QAction* local : {face->configureAction(), face->responsesAction(), face->openProfileAction()}) {
    EXPECT_FALSE(local->isEnabled()) << local->text().toStdString();
    EXPECT_EQ(local->toolTip(), FaceWindow::LocalOnlyTip());
  }
  auto* button = qobject_cast<QToolButton*>(face->findChild<QToolBar*>()->widgetForAction(face->configureAction()));
  ASSERT_NE(button, nullptr);
  EXPECT_FALSE(button->isEnabled());
  EXPECT_EQ(button->toolTip(), FaceWindow::LocalOnlyTip());
  EXPECT_TRUE(face->attachAction()->isEnabled());
}

TEST_F(FaceWindowTest, AToggleClickedInTheWindowSwitchesTheBotAndComesBackChecked) {
  const bool before = bot->document().GetToggles().ViewEnterLeave.state;
  QAction* toggle = face->toggles()->action("ViewEnterLeave");
  ASSERT_EQ(toggle->isChecked(), before);
  auto* button = face->findChild<QToolBar*>()->widgetForAction(toggle);
  QTest::mouseClick(button, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return bot->document().GetToggles().ViewEnterLeave.state != before; }, kWait));
  EXPECT_TRUE(toggle->isChecked() == !before);
  // The bot switching back (another face, a reload) shows here.
  SwitchToggle(bot->document(), *FindToggleKey("ViewEnterLeave"), before);
  ASSERT_TRUE(Until([&] { return toggle->isChecked() == before; }));
  EXPECT_EQ(face->statusPanes()->paneText(1),
            before ? QStringLiteral("Enter/Leave Notify: ON") : QStringLiteral("Enter/Leave Notify: OFF"));
}

// The bot's own window shows a switch a face flipped: check mark, pressed
// button and the status bar's pane.
TEST_F(FaceWindowTest, AToggleFlippedInTheFaceShowsInTheBotsWindow) {
  const bool before = bot->document().GetToggles().AllowPage.state;
  QAction* own = bot->toggles()->action("AllowPage");
  ASSERT_EQ(own->isChecked(), before);
  QTest::mouseClick(face->findChild<QToolBar*>()->widgetForAction(face->toggles()->action("AllowPage")),
                    Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return bot->document().GetToggles().AllowPage.state != before; }, kWait));
  ASSERT_TRUE(Until([&] { return own->isChecked() != before; }));
  auto* button = qobject_cast<QToolButton*>(bot->findChild<QToolBar*>()->widgetForAction(own));
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->isChecked(), !before);
  EXPECT_EQ(bot->statusPanes()->paneText(2), before ? QStringLiteral("Page: OFF") : QStringLiteral("Page: On"));
}

TEST_F(FaceWindowTest, TheBotClosingIsSaidAndARestartedBotIsAttachedAgain) {
  bot.reset();  // the bot closes; its faces are told
  ASSERT_TRUE(QTest::qWaitFor([&] { return !face->link().attached(); }, kWait));
  EXPECT_TRUE(Shows(face->chatPane(), "The bot closed"));
  EXPECT_TRUE(Shows(face->chatPane(), "trying to attach again in"));
  EXPECT_EQ(face->statusPanes()->paneText(0), QStringLiteral("Not attached"));
  EXPECT_EQ(face->users().userCount(), 0);
  EXPECT_TRUE(face->link().nextTry().has_value());

  StartBot(2);
  ASSERT_TRUE(QTest::qWaitFor([&] { return face->link().attached() && face->users().userCount() == 4; }, kWait));
  Type(QStringLiteral("back again"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("back again\n") != std::string::npos; }, kWait));

  // Closing the window detaches and stops trying; the bot stays connected.
  face->close();
  EXPECT_FALSE(face->link().attached());
  EXPECT_FALSE(face->link().nextTry().has_value());
  gateway.send("1005 TALK alice 0000 \"still here\"\r\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shows(bot->chatPane(), "still here"); }, kWait));
  EXPECT_EQ(bot->document().State(), Connected);
  EXPECT_FALSE(Shows(face->chatPane(), "still here"));
}

TEST_F(FaceWindowTest, StartingOnAProfileWhoseBotRunsOffersToAttach) {
  InstanceLock running;  // the bot's lock, as its program holds it
  ASSERT_TRUE(running.Acquire(dir.path().string()));
  const WorkingDirectory wd{dir.path().string(), "", ""};

  ProfileSession declined;
  QString offered;
  QString reported;
  declined.setOfferAttach([&](const QString& message) {
    offered = message;
    return false;
  });
  declined.setReport([&](const QString& message) { reported = message; });
  EXPECT_FALSE(declined.open(wd));
  EXPECT_FALSE(offered.isEmpty());
  EXPECT_EQ(reported, offered);
  EXPECT_EQ(declined.faceWindow(), nullptr);

  ProfileSession accepted;
  accepted.setOfferAttach([](const QString&) { return true; });
  ASSERT_TRUE(accepted.open(wd));
  ASSERT_NE(accepted.faceWindow(), nullptr);
  EXPECT_EQ(accepted.window(), nullptr);
  ASSERT_TRUE(QTest::qWaitFor([&] { return accepted.faceWindow()->link().attached(); }, kWait));
  EXPECT_TRUE(accepted.faceWindow()->windowTitle().endsWith(QStringLiteral(" (attached)")));
}

}  // namespace
}  // namespace tolvik::ui
