// A profile's first run as a new user meets it: the Bot Configurator opens on
// its own on the missing value, one pass through it connects, and the next
// start connects without asking.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <functional>

#include "settings/config.h"
#include "net/connection_state.h"
#include "app/document.h"
#include "support/crlf.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "ui/chat_pane.h"
#include "ui/main_window.h"
#include "ui/sheets/bot_configurator.h"
#include "ui/sheets/login_page_widget.h"
#include "ui/sheets/servers_page_widget.h"

namespace tolvik::ui {
namespace {

using testing::Crlf;
using testing::ScriptedGateway;
using testing::TempDir;

void ShowExposed(QWidget& widget) {
  widget.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
}

// The window takes keys before the sheet opens over it, as a user's would.
void ShowActive(QWidget& window) {
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
}

// Runs `act` on the next "Bot Configurator" once it is open.
void WhenSheetOpens(std::function<void(BotConfigurator*)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    auto* sheet = qobject_cast<BotConfigurator*>(QApplication::activeModalWidget());
    if (!sheet) return;
    poll->deleteLater();
    // What a window manager does for a new modal window; the offscreen platform does not.
    sheet->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([sheet] { return QApplication::activeWindow() == sheet; }));
    act(sheet);
  });
  poll->start(10);
}

void Type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }
void Press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

bool LoggedIn(ScriptedGateway& gateway, MainWindow& window, int clients) {
  if (!gateway.waitForClients(clients)) return false;
  if (!QTest::qWaitFor([&] { return window.document().State() == WaitingForLoginPrompt; }, 5000)) return false;
  gateway.send("Please enter your name and password.\r\n");
  return QTest::qWaitFor([&] { return gateway.received().find("acct\r\nsecret\r\n") != std::string::npos; }, 5000);
}

TEST(FirstRun, OnePassThroughTheConfiguratorConnectsAndTheNextStartAsksNothing) {
  ScriptedGateway gateway;
  TempDir dir;  // an empty profile
  const QString server = QString::fromStdString(gateway.address());
  {
    MainWindow window(dir.path().string());
    ShowActive(window);
    bool seen = false;
    WhenSheetOpens([&](BotConfigurator* sheet) {
      seen = true;
      LoginPageWidget* login = sheet->loginPage();
      ServersPageWidget* servers = sheet->serversPage();
      EXPECT_EQ(sheet->tabs()->currentWidget(), login);
      EXPECT_EQ(QApplication::focusWidget(), login->userName()) << QApplication::focusWidget()->metaObject()->className() << " " << QApplication::focusWidget()->objectName().toStdString();
      EXPECT_TRUE(login->serverInUse()->text().contains("none chosen"));
      EXPECT_TRUE(login->savePassword()->isChecked());
      EXPECT_TRUE(login->loginOnStartup()->isChecked());

      Type("acct");
      Press(Qt::Key_Tab);
      Type("secret");
      // Enter without a server leads on to the Servers page rather than closing.
      Press(Qt::Key_Return);
      ASSERT_TRUE(sheet->isVisible());
      EXPECT_EQ(sheet->tabs()->currentWidget(), servers);
      EXPECT_EQ(QApplication::focusWidget(), servers->entry());
      Type(server);
      Press(Qt::Key_Return);  // Add Server: listed and chosen at once
      ASSERT_EQ(servers->list()->count(), 1);
      EXPECT_EQ(servers->list()->currentRow(), 0);
      EXPECT_EQ(login->serverInUse()->text(), "Server: " + server);
      Press(Qt::Key_Return);  // OK
    });
    window.start();
    ASSERT_TRUE(seen);
    ASSERT_TRUE(LoggedIn(gateway, window, 1)) << window.chatPane()->document()->toPlainText().toStdString()
                                              << " state " << window.document().State();
    EXPECT_EQ(window.chatPane()->document()->toPlainText().count("Please enter"), 1);
    window.close();
  }
  const LoginSettings stored = LoadLoginSettings(dir.file("Bot.ini"));
  EXPECT_EQ(stored.login, "acct");
  EXPECT_EQ(stored.password, "secret");
  EXPECT_EQ(stored.server, gateway.address());
  EXPECT_TRUE(stored.autoLogin);
  EXPECT_TRUE(stored.savePassword);

  // The next start: straight to the server, no sheet.
  MainWindow again(dir.path().string());
  ShowExposed(again);
  int opened = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (auto* sheet = qobject_cast<BotConfigurator*>(QApplication::activeModalWidget())) {
      ++opened;
      sheet->reject();
    }
  });
  watch.start(10);
  again.start();
  EXPECT_TRUE(LoggedIn(gateway, again, 2));
  EXPECT_EQ(opened, 0);
}

TEST(FirstRun, CancelLeavesTheBotOfflineAndAStoredChoiceUntouched) {
  TempDir dir;
  dir.write("Bot.ini", Crlf("[Init]\nLogin=acct\nAutoLogin=0\n"));
  MainWindow window(dir.path().string());
  ShowActive(window);
  bool seen = false;
  WhenSheetOpens([&](BotConfigurator* sheet) {
    seen = true;
    // A profile begun earlier keeps its own switches; the password is asked first.
    EXPECT_FALSE(sheet->loginPage()->savePassword()->isChecked());
    EXPECT_FALSE(sheet->loginPage()->loginOnStartup()->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), sheet->loginPage()->password());
    Press(Qt::Key_Escape);
  });
  window.start();
  EXPECT_TRUE(seen);
  EXPECT_EQ(window.document().State(), NotConnected);
  EXPECT_EQ(dir.read("Bot.ini"), Crlf("[Init]\nLogin=acct\nAutoLogin=0\n"));
}

TEST(FirstRun, TheLoginPageNamesTheServerInUseAndLeadsToTheServersPage) {
  TempDir dir;
  dir.write("Bot.ini", Crlf("[Init]\nLogin=acct\nServerList=a.example;b.example\n"));
  MainWindow window(dir.path().string());
  CHaldenDoc& doc = window.document();
  {
    BotConfigurator sheet(doc, &window);
    ShowExposed(sheet);
    LoginPageWidget* login = sheet.loginPage();
    ServersPageWidget* servers = sheet.serversPage();
    EXPECT_EQ(sheet.tabs()->currentWidget(), login);  // the password is missing first
    emit login->serverInUse()->linkActivated(QStringLiteral("#servers"));
    EXPECT_EQ(sheet.tabs()->currentWidget(), servers);
    EXPECT_EQ(QApplication::focusWidget(), servers->list());  // a list to choose from

    QTest::mouseClick(servers->list()->viewport(), Qt::LeftButton, {},
                      servers->list()->visualItemRect(servers->list()->item(1)).center());
    EXPECT_EQ(login->serverInUse()->text(), "Server: b.example");
    // A server typed but not added is the one OK uses, and is added then.
    QTest::keyClicks(servers->entry(), "c.example");
    EXPECT_EQ(login->serverInUse()->text(), "Server: c.example");
    QTest::mouseClick(sheet.okButton(), Qt::LeftButton);
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
  }
  EXPECT_EQ(doc.Login().server, "c.example");
  EXPECT_EQ(LoadServerList(dir.file("Bot.ini")), "a.example;b.example;c.example");
  EXPECT_EQ(LoadLoginSettings(dir.file("Bot.ini")).server, "c.example");  // none was stored

  // With the name and password known, a missing server opens the Servers page.
  doc.Login().password = "pw";
  doc.Login().server = std::string(kUnset);
  BotConfigurator sheet(doc, &window);
  ShowExposed(sheet);
  EXPECT_EQ(sheet.tabs()->currentWidget(), sheet.serversPage());
  // A name with a blank cannot be added: OK keeps the sheet open on the Servers page.
  sheet.tabs()->setCurrentWidget(sheet.loginPage());
  QTest::keyClicks(sheet.serversPage()->entry(), "two words");
  QTest::mouseClick(sheet.okButton(), Qt::LeftButton);
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_EQ(sheet.tabs()->currentWidget(), sheet.serversPage());
  EXPECT_FALSE(sheet.serversPage()->message().isEmpty());
}

}  // namespace
}  // namespace tolvik::ui
