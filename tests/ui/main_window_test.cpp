// The main window as a user meets it: its switches and status panes, its
// saved placement, and a whole session against the scripted gateway.
#include "ui/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "settings/config.h"
#include "app/document.h"
#include "settings/font_records.h"
#include "storage/private_profile.h"
#include "settings/window_placement.h"
#include "bot/chat_bot.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "ui/chat_bar_widget.h"
#include "ui/chat_pane.h"
#include "ui/sheets/bot_configurator.h"
#include "ui/sheets/login_page_widget.h"
#include "ui/status_bar.h"
#include "ui/toggle_actions.h"
#include "ui/user_list_model.h"
#include "ui/user_list_panel.h"
#include "ui/user_list_view.h"
#include "ui/user_whisper_bars.h"

namespace tolvik::ui {
namespace {

using testing::ScriptedGateway;
using testing::TempDir;

// Shows the window and waits until it takes keys, as a user's window would.
void ShowActive(MainWindow& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

std::string Toggle(const TempDir& dir, const char* key) {
  return PrivateProfile::ReadString("Toggles", key, "(none)", 16, dir.file("Bot.ini"));
}

TEST(MainWindowToggles, SwitchesFollowTheRememberRuleAndTheStatusPanes) {
  TempDir dir;
  dir.write("Bot.ini", "[Toggles]\r\nViewEnterLeave=1\r\nAllowPage=3\r\nViewPings=2\r\n");
  MainWindow window(dir.path().string());
  ShowActive(window);
  StatusBar* status = window.statusPanes();
  EXPECT_EQ(status->paneText(0), "Not Connected");
  EXPECT_EQ(status->paneText(1), "Enter/Leave Notify: ON");
  EXPECT_EQ(status->paneText(2), "Page: On");

  // Not remembered: Alt+V flips the switch and its pane, writes nothing and says nothing.
  QTest::keyClick(&window, Qt::Key_V, Qt::AltModifier);
  EXPECT_FALSE(window.document().GetToggles().ViewEnterLeave.state);
  EXPECT_FALSE(window.toggles()->action("ViewEnterLeave")->isChecked());
  EXPECT_EQ(status->paneText(1), "Enter/Leave Notify: OFF");
  EXPECT_EQ(Toggle(dir, "ViewEnterLeave"), "1");
  EXPECT_FALSE(window.chatPane()->document()->toPlainText().contains("Enter/Leave Notifications"));

  // Remembered: Alt+P writes 2 when off; the toolbar button shows the state.
  QTest::keyClick(&window, Qt::Key_P, Qt::AltModifier);
  EXPECT_EQ(Toggle(dir, "AllowPage"), "2");
  EXPECT_EQ(status->paneText(2), "Page: OFF");
  // ViewPings, remembered, writes 1 rather than 3: the next start keeps the state, not the remembering.
  QToolButton* pings = nullptr;
  for (QToolBar* bar : window.findChildren<QToolBar*>())
    if (auto* b = qobject_cast<QToolButton*>(bar->widgetForAction(window.toggles()->action("ViewPings")))) pings = b;
  ASSERT_NE(pings, nullptr);
  EXPECT_FALSE(pings->isChecked());
  QTest::mouseClick(pings, Qt::LeftButton);
  EXPECT_TRUE(pings->isChecked());
  EXPECT_TRUE(window.document().GetToggles().ViewPings.state);
  EXPECT_EQ(Toggle(dir, "ViewPings"), "1");
}

TEST(MainWindowPlacement, RestoresOnScreenAndSavesOnExitWhenAsked) {
  TempDir dir;
  dir.write("Bot.ini", "[Toggles]\r\nAutoSave=1\r\n[Window]\r\nUserListWidth=150\r\n");
  WindowPlacement saved;
  saved.normal = {5000, 40, 5600, 500};  // far off to the right
  ASSERT_TRUE(SaveWindowPlacement(dir.file("Bot.ini"), saved));
  {
    MainWindow window(dir.path().string());
    ShowActive(window);
    const ScreenSize screen = ClampScreenSize(window.screen()->size().width(), window.screen()->size().height());
    EXPECT_EQ(window.geometry(), QRect(screen.width - 30, 40, 600, 460));
    window.setGeometry(20, 30, 700, 500);
    window.close();
  }
  const std::optional<WindowPlacement> written = LoadWindowPlacement(dir.file("Bot.ini"));
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(written->normal, (PlacementRect{20, 30, 720, 530}));
  EXPECT_EQ(LoadUserListWidth(dir.file("Bot.ini")), 150);
}

// Answers the next "Bot Configurator" opened for a missing password: types
// `value` into the Login page's password field and presses Enter, or cancels
// when `value` is empty. Records the field's echo mode.
void AnswerLoginDialog(const QString& value, QLineEdit::EchoMode* echo) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [=] {
    auto* sheet = qobject_cast<BotConfigurator*>(QApplication::activeModalWidget());
    if (!sheet) return;
    poll->deleteLater();
    QLineEdit* field = sheet->loginPage()->password();
    *echo = field->echoMode();
    if (value.isEmpty()) {
      QTest::keyClick(sheet, Qt::Key_Escape);
    } else {
      QTest::keyClicks(field, value);
      QTest::keyClick(field, Qt::Key_Return);
    }
  });
  poll->start(10);
}

TEST(MainWindowLogin, AMissingPasswordIsAskedForHidden) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nServer=" + gateway.address() + "\r\nAutoLogin=1\r\n");
  MainWindow window(dir.path().string());
  ShowActive(window);
  QLineEdit::EchoMode echo = QLineEdit::Normal;

  // Cancelled: the bot stays offline.
  AnswerLoginDialog(QString(), &echo);
  window.start();
  EXPECT_EQ(echo, QLineEdit::Password);
  EXPECT_TRUE(window.chatPane()->document()->toPlainText().contains("Please enter password"));
  EXPECT_EQ(window.document().State(), NotConnected);

  // Given: the connection starts with it.
  AnswerLoginDialog(QStringLiteral("secret"), &echo);
  window.document().Connect();
  ASSERT_TRUE(gateway.waitForClients(1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.document().State() == WaitingForLoginPrompt; }, 5000));
  gateway.send("Please enter your name and password.\r\n");
  EXPECT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("acct\r\nsecret\r\n") != std::string::npos; }));
}

TEST(MainWindowSession, LogsInShowsTheChannelSendsTypedLinesAndLeavesOnClose) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=" + gateway.address() +
                           "\r\nChannel=Home\r\nAutoLogin=1\r\n[AutoSend]\r\nLeave=see you\r\n"
                           "[Toggles]\r\nViewEnterLeave=2\r\n");
  TextFormat others;
  others.mask = kCfmColor;
  others.colour = 0x0000A0F0;  // 0x00BBGGRR: orange
  ASSERT_TRUE(SaveTextFormat(dir.file("Bot.ini"), TextType::OthersText, others));

  MainWindow window(dir.path().string());
  ShowActive(window);
  window.document().Bot().Queue().SetPause([](int) {});
  window.start();  // AutoLogin
  ASSERT_TRUE(gateway.waitForClients(1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.document().State() == WaitingForLoginPrompt; }, 5000));
  gateway.send("Username: Password: \r\nPlease enter your name and password.\r\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("acct\r\nsecret\r\n") != std::string::npos; }));
  gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n1001 USER acct 0012 [CHAT]\r\n"
               "1001 USER alice 0000 [STAR]\r\n1002 JOIN bob 0010 [CHAT]\r\n1005 TALK alice 0000 \"hi bot\"\r\n");

  QTextDocument* chat = window.chatPane()->document();
  ASSERT_TRUE(QTest::qWaitFor([&] { return chat->toPlainText().contains("<alice> hi bot"); }, 5000))
      << chat->toPlainText().toStdString();
  EXPECT_EQ(window.statusPanes()->paneText(0), QString::fromStdString("Connected: " + gateway.address()));
  // Others' talk in its own colour.
  QTextCursor talk = chat->find("<alice> hi bot");
  EXPECT_EQ(talk.charFormat().foreground().color(), QColor(0xF0, 0xA0, 0x00));

  // The list: operators first, each with its icon, and the count in the label.
  UserListPanel* list = window.userListPanel();
  ASSERT_TRUE(QTest::qWaitFor([&] { return list->model().rowCount() == 3; }, 5000));
  const UserListModel& model = list->model();
  EXPECT_EQ(model.index(0, UserListModel::kUserColumn).data().toString(), "acct");
  for (int row = 0; row < 3; ++row)
    EXPECT_FALSE(model.index(row, UserListModel::kUserColumn).data(Qt::DecorationRole).value<QPixmap>().isNull());
  EXPECT_EQ(list->labelField().text(), "Home (3)");

  // The window's keys reach the list and the chat bar: Ctrl+Down selects the
  // first user, Alt+N pastes the selection; Esc empties the line again.
  QLineEdit* input = &window.chatBarWidget()->input();
  ASSERT_TRUE(input->hasFocus());
  QTest::keyClick(input, Qt::Key_Down, Qt::ControlModifier);
  QTest::keyClick(input, Qt::Key_N, Qt::AltModifier);
  EXPECT_EQ(input->text(), "acct");
  QTest::keyClick(input, Qt::Key_Escape);
  // A double-click on a user opens that user's whisper bar.
  UserListView& view = list->view();
  const QRect alice = view.visualRect(model.index(1, UserListModel::kUserColumn));
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, alice.center());
  EXPECT_NE(window.userWhisperBars()->find("alice"), nullptr);
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  input->setFocus();

  // A line typed in the chat bar goes to the channel.
  QTest::keyClicks(input, "hello all");
  QTest::keyClick(input, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("hello all\n") != std::string::npos; }, 5000));

  // Remembered: Alt+V announces the change in the chat and writes 3.
  QTest::keyClick(input, Qt::Key_V, Qt::AltModifier);
  EXPECT_TRUE(chat->toPlainText().contains("Enter/Leave Notifications On"));
  EXPECT_EQ(Toggle(dir, "ViewEnterLeave"), "3");
  EXPECT_EQ(window.statusPanes()->paneText(1), "Enter/Leave Notify: ON");

  // Closing the window sends the leave line and closes the connection.
  window.close();
  EXPECT_TRUE(gateway.waitForReceived("see you\n"));
  EXPECT_TRUE(gateway.waitForClientClose());
}

}  // namespace
}  // namespace tolvik::ui
