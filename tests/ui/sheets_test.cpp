// The two configuration sheets as a user drives them: keys and clicks on the
// real pages, checked against what lands in Bot.ini and users.lst, and the
// sheets opened from the window.
#include <gtest/gtest.h>

#include <QAction>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <functional>

#include "settings/config.h"
#include "net/connection_state.h"
#include "app/document.h"
#include "settings/font_records.h"
#include "storage/private_profile.h"
#include "storage/profile_file.h"
#include "bot/chat_bot.h"
#include "support/crlf.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "ui/chat_pane.h"
#include "ui/main_window.h"
#include "ui/sheets/access_page_widget.h"
#include "ui/font_color_dialog.h"
#include "ui/sheets/bot_configurator.h"
#include "ui/sheets/fonts_page_widget.h"
#include "ui/sheets/heirs_page_widget.h"
#include "ui/sheets/login_page_widget.h"
#include "ui/sheets/response_configurator.h"
#include "ui/sheets/servers_page_widget.h"
#include "ui/sheets/responses_page_widget.h"
#include "ui/sheets/spin_edit.h"
#include "ui/sheets/toggles_page_widget.h"
#include "ui/status_bar.h"
#include "ui/user_list_model.h"
#include "ui/user_list_panel.h"

namespace tolvik::ui {
namespace {

using testing::Crlf;
using testing::ScriptedGateway;
using testing::TempDir;

void ShowExposed(QWidget& widget) {
  widget.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
}

// A check box or radio button takes clicks on its box and label only.
void ClickBox(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

void ClickRow(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
}

// Runs `act` on the next modal window of type T (and `title`, when given) once it is open.
template <class T>
void WhenOpen(std::function<void(T*)> act, const QString& title = {}) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act, title] {
    auto* sheet = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!sheet || (!title.isEmpty() && sheet->windowTitle() != title)) return;
    poll->deleteLater();
    act(sheet);
  });
  poll->start(10);
}

QAction* MenuAction(MainWindow& window, const QString& menu, const QString& text) {
  for (QAction* top : window.menuBar()->actions())
    if (top->text() == menu)
      for (QAction* item : top->menu()->actions())
        if (item->text() == text) return item;
  return nullptr;
}

// ---- Access page

TEST(AccessPageWidget, ButtonsFollowTheTypedNameAndTheLevelShown) {
  TempDir dir;
  dir.write("Bot.ini", Crlf("[Commands]\nBan=5\n"));
  dir.write("users.lst", Crlf("[Level3]\nBob\n\n[Level5]\nann\n"));
  AccessPageWidget page(dir.path().string());
  ShowExposed(page);
  QLineEdit* name = page.userBox()->lineEdit();
  EXPECT_FALSE(page.addSaveButton()->isEnabled());
  EXPECT_FALSE(page.deleteButton()->isEnabled());
  EXPECT_TRUE(page.editTagsButton()->isEnabled());

  // A listed name, in any case, selects the user at his stored level.
  QTest::keyClicks(name, "bob");
  EXPECT_EQ(page.userBox()->currentIndex(), 1);  // after "ann"
  EXPECT_EQ(name->text(), "Bob");
  EXPECT_EQ(page.userLevel()->text(), "3");
  EXPECT_TRUE(page.deleteButton()->isEnabled());
  EXPECT_FALSE(page.addSaveButton()->isEnabled());

  // Another level: Add/Save; back to the stored one: Delete. The spin stops at 9.
  QTest::keyClick(page.userLevel(), Qt::Key_Up);
  EXPECT_EQ(page.userLevel()->text(), "4");
  EXPECT_TRUE(page.addSaveButton()->isEnabled());
  EXPECT_FALSE(page.deleteButton()->isEnabled());
  QTest::keyClick(page.userLevel(), Qt::Key_Down);
  EXPECT_TRUE(page.deleteButton()->isEnabled());
  QTest::keyClick(page.userLevel(), Qt::Key_PageUp);
  EXPECT_EQ(page.userLevel()->text(), "9");

  // Typing on makes a longer, new name rather than replacing the listed one.
  QTest::keyClicks(name, "by");
  EXPECT_EQ(name->text(), "Bobby");
  EXPECT_EQ(page.userBox()->currentIndex(), -1);
  EXPECT_TRUE(page.addSaveButton()->isEnabled());
  EXPECT_FALSE(page.deleteButton()->isEnabled());

  // Command levels: a command without a key shows that everybody may use it
  // (whole, not cut by the field), the spin starts from -1.
  page.commandBox()->setFocus();
  QTest::keyClick(page.commandBox(), Qt::Key_Down);
  EXPECT_EQ(page.commandBox()->currentText(), "Say");
  EXPECT_EQ(page.commandLevel()->text(), "-1 (everybody)");
  EXPECT_FALSE(page.saveButton()->isEnabled());
  QTest::keyClick(page.commandLevel(), Qt::Key_Up);
  EXPECT_EQ(page.commandLevel()->text(), "0");
  QTest::keyClick(page.commandLevel(), Qt::Key_Up);
  ASSERT_TRUE(page.saveButton()->isEnabled());
  QTest::mouseClick(page.saveButton(), Qt::LeftButton);
  EXPECT_EQ(PrivateProfile::ReadInt("Commands", "Say", -1, dir.file("Bot.ini")), 1);
  EXPECT_FALSE(page.saveButton()->isEnabled());
}

TEST(AccessPageWidget, AddSaveWritesUsersLstAndARefusalIsShown) {
  TempDir dir;
  dir.write("Bot.ini", "");
  dir.write("users.lst", Crlf("[Level1]\nguest\n[Level3]\nbob\n"));
  AccessPageWidget page(dir.path().string());
  ShowExposed(page);
  QLineEdit* name = page.userBox()->lineEdit();

  QTest::keyClicks(name, "joe");
  QTest::keyClicks(page.userLevel(), "3");
  ASSERT_TRUE(page.addSaveButton()->isEnabled());
  QTest::mouseClick(page.addSaveButton(), Qt::LeftButton);
  EXPECT_EQ(dir.read("users.lst"), Crlf("[Level1]\nguest\n\n[Level3]\njoe\nbob\n"));
  EXPECT_TRUE(page.message().isEmpty());
  EXPECT_TRUE(page.deleteButton()->isEnabled());  // joe is listed now at that level
  EXPECT_GE(page.userBox()->findText("joe"), 0);

  // A level out of range is refused with a message; users.lst is untouched.
  name->clear();
  QTest::keyClicks(name, "amy");
  page.userLevel()->setFocus();
  QTest::keyClick(page.userLevel(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(page.userLevel(), "12");
  QTest::mouseClick(page.addSaveButton(), Qt::LeftButton);
  EXPECT_EQ(dir.read("users.lst"), Crlf("[Level1]\nguest\n\n[Level3]\njoe\nbob\n"));
  EXPECT_TRUE(page.message().contains("from 0 to 9")) << page.message().toStdString();
  EXPECT_TRUE(page.findChild<QLabel*>("pageMessage")->isVisible());

  // Delete takes the chosen user out.
  name->clear();
  QTest::keyClicks(name, "guest");
  ASSERT_TRUE(page.deleteButton()->isEnabled());
  QTest::mouseClick(page.deleteButton(), Qt::LeftButton);
  EXPECT_EQ(dir.read("users.lst"), Crlf("[Level1]\n\n[Level3]\njoe\nbob\n"));
  EXPECT_EQ(page.userBox()->findText("guest"), -1);
  EXPECT_TRUE(page.message().isEmpty());
}

// ---- Responses page

TEST(ResponsesPageWidget, AStoredColonPhraseShowsAsTypedAndSaveComposesTheValue) {
  TempDir dir;
  dir.write("Bot.ini", Crlf("[AutoRespond]\nBob= ::):hi there\n"));
  ResponsesPageWidget page(dir.file("Bot.ini"), nullptr);
  ShowExposed(page);
  EXPECT_FALSE(page.nameBox()->isEnabled());

  page.typeBox()->setFocus();
  QTest::keyClick(page.typeBox(), Qt::Key_Down);  // "Respond to Normal Text"
  ASSERT_EQ(page.typeBox()->currentIndex(), 0);
  EXPECT_TRUE(page.nameBox()->isEnabled());
  EXPECT_TRUE(page.phraseBox()->isEnabled());
  QTest::keyClicks(page.nameBox()->lineEdit(), "bob");
  ASSERT_EQ(page.phraseBox()->count(), 1);
  EXPECT_EQ(page.phraseBox()->itemText(0), ":)");

  QTest::keyClicks(page.phraseBox()->lineEdit(), ":)");
  EXPECT_EQ(page.response()->text(), "hi there");
  EXPECT_TRUE(page.deleteButton()->isEnabled());
  EXPECT_FALSE(page.saveButton()->isEnabled());

  // A second pair: each colon doubled, a space before a leading colon.
  page.phraseBox()->lineEdit()->clear();
  QTest::keyClicks(page.phraseBox()->lineEdit(), ":(");
  EXPECT_EQ(page.response()->text(), "hi there");  // a new phrase starts from the text shown
  page.response()->selectAll();
  QTest::keyClicks(page.response(), "a:b");
  ASSERT_TRUE(page.saveButton()->isEnabled());
  QTest::mouseClick(page.saveButton(), Qt::LeftButton);
  std::string stored;
  ProfileFile::Read("AutoRespond", "Bob", "", stored, 1024, dir.file("Bot.ini"));
  EXPECT_EQ(stored, " ::):hi there: ::(:a::b");
  EXPECT_EQ(page.phraseBox()->count(), 2);

  // The messages of [AutoSend] need no name or phrase.
  QTest::keyClick(page.typeBox(), Qt::Key_End);  // "Anti-Idle Message"
  EXPECT_FALSE(page.nameBox()->isEnabled());
  EXPECT_FALSE(page.phraseBox()->isEnabled());
  EXPECT_EQ(page.response()->text(), "/time");  // the bot's message while none is stored
  page.response()->selectAll();
  QTest::keyClicks(page.response(), "still here");
  QTest::mouseClick(page.saveButton(), Qt::LeftButton);
  EXPECT_EQ(PrivateProfile::ReadString("AutoSend", "AntiIdleMsg", "", 64, dir.file("Bot.ini")), "still here");
}

// "Message When Exiting Bot" says what the close will really send: nothing
// while no message is saved (whatever the field starts with), else the line.
TEST(ResponsesPageWidget, ExitMessageShowsWhatTheCloseSends) {
  TempDir dir;
  dir.write("Bot.ini", Crlf("[AutoSend]\nJoin=hello\n"));
  ResponsesPageWidget page(dir.file("Bot.ini"), nullptr);
  ShowExposed(page);
  page.typeBox()->setFocus();
  for (int i = 0; i < 5; ++i) QTest::keyClick(page.typeBox(), Qt::Key_Down);  // "Message When Joining Home Channel"
  ASSERT_EQ(page.typeBox()->currentIndex(), 4);
  EXPECT_FALSE(page.exitLine()->isVisible());
  QTest::keyClick(page.typeBox(), Qt::Key_Down);  // "Message When Exiting Bot"
  ASSERT_EQ(page.typeBox()->currentIndex(), 5);
  EXPECT_TRUE(page.exitLine()->isVisible());
  EXPECT_EQ(page.exitLine()->text(), "Nothing is sent on exit: no message is saved.");

  page.response()->selectAll();
  QTest::keyClicks(page.response(), "bye all");
  EXPECT_EQ(page.exitLine()->text(), "Nothing is sent on exit: no message is saved.") << "not saved yet";
  QTest::mouseClick(page.saveButton(), Qt::LeftButton);
  EXPECT_EQ(page.exitLine()->text(), "Sent on exit: bye all");
  QTest::mouseClick(page.deleteButton(), Qt::LeftButton);
  EXPECT_EQ(page.exitLine()->text(), "Nothing is sent on exit: no message is saved.");
}

// ---- Toggles page

TEST(TogglesPageWidget, ChoosingAnotherToggleWritesTheFirstChoiceAtOnce) {
  TempDir dir;
  dir.write("Bot.ini", "");
  Toggles in_use;
  in_use.AutoRespond.state = true;
  TogglesPageWidget page(dir.file("Bot.ini"), in_use);
  ShowExposed(page);
  EXPECT_FALSE(page.onButton()->isEnabled());
  EXPECT_FALSE(page.lastUsedButton()->isChecked());

  ClickRow(page.list(), 1);  // "Auto-Responder", on by default
  ASSERT_TRUE(page.onButton()->isEnabled());
  EXPECT_TRUE(page.onButton()->isChecked());
  ClickBox(page.lastUsedButton());
  EXPECT_TRUE(page.lastUsedButton()->isChecked());
  EXPECT_FALSE(page.onButton()->isChecked());
  EXPECT_EQ(PrivateProfile::ReadInt("Toggles", "AutoRespond", -5, dir.file("Bot.ini")), -5);  // not yet

  ClickRow(page.list(), 3);  // "Account Logging"
  EXPECT_EQ(PrivateProfile::ReadInt("Toggles", "AutoRespond", -5, dir.file("Bot.ini")), 3);  // on now: 3
  EXPECT_TRUE(page.offButton()->isChecked());
  ClickBox(page.onButton());
  ASSERT_TRUE(page.save());
  EXPECT_EQ(PrivateProfile::ReadInt("Toggles", "IdLogging", -5, dir.file("Bot.ini")), 1);
}

// ---- The sheets in the window

TEST(BotConfiguratorSheet, LoginOkWithoutSavePasswordKeepsThePasswordForThisRunOnly) {
  TempDir dir;
  dir.write("Bot.ini", Crlf("[Init]\nLogin=old\nPassword=oldpw\nSavePassword=1\nServer=east.example\n"));
  MainWindow window(dir.path().string());
  ShowExposed(window);
  QAction* configure = MenuAction(window, "&Options", "Configure Bot");
  ASSERT_NE(configure, nullptr);
  ASSERT_TRUE(configure->isEnabled());

  bool seen = false;
  WhenOpen<BotConfigurator>([&](BotConfigurator* sheet) {
    seen = true;
    EXPECT_EQ(sheet->windowTitle(), "Bot Configurator");
    ASSERT_EQ(sheet->tabs()->count(), 4);
    EXPECT_EQ(sheet->tabs()->tabText(2), "Fonts");
    // Enter in the server entry adds the server; the sheet stays open.
    ServersPageWidget* servers = sheet->serversPage();
    sheet->tabs()->setCurrentWidget(servers);
    QTest::keyClicks(servers->entry(), "north.example");
    QTest::keyClick(servers->entry(), Qt::Key_Return);
    EXPECT_EQ(LoadServerList(dir.file("Bot.ini")), "north.example");
    EXPECT_TRUE(servers->entry()->text().isEmpty());
    EXPECT_TRUE(sheet->isVisible());
    sheet->tabs()->setCurrentIndex(0);

    LoginPageWidget* login = sheet->loginPage();
    EXPECT_EQ(login->userName()->text(), "old");
    EXPECT_EQ(login->password()->echoMode(), QLineEdit::Password);
    login->userName()->selectAll();
    QTest::keyClicks(login->userName(), "a-name-longer-than-fifteen");
    login->password()->selectAll();
    QTest::keyClicks(login->password(), "newpw");
    ClickBox(login->savePassword());
    EXPECT_FALSE(login->savePassword()->isChecked());
    QTest::keyClicks(login->homeChannel(), "Clan Home");
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
  });
  configure->trigger();
  ASSERT_TRUE(seen);

  const LoginSettings stored = LoadLoginSettings(dir.file("Bot.ini"));
  EXPECT_EQ(stored.login, "a-name-longer-t");
  EXPECT_TRUE(IsUnset(stored.password));
  EXPECT_EQ(stored.channel, "Clan Home");
  EXPECT_FALSE(stored.savePassword);
  EXPECT_EQ(window.document().Login().password, "newpw");
  EXPECT_STREQ(window.document().Bot().Password(), "newpw");
  // The added server was chosen for this run; Bot.ini keeps its own until "Save".
  EXPECT_EQ(window.document().Login().server, "north.example");
  EXPECT_EQ(LoadLoginSettings(dir.file("Bot.ini")).server, "east.example");
}

TEST(BotConfiguratorSheet, AFontIsStoredAtOnceAndOkShowsItInTheChat) {
  TempDir dir;
  dir.write("Bot.ini", "");
  MainWindow window(dir.path().string());
  ShowExposed(window);
  const TextFormat before = window.chatPane()->format(TextType::Whispers);

  WhenOpen<BotConfigurator>([&](BotConfigurator* sheet) {
    sheet->tabs()->setCurrentWidget(sheet->fontsPage());
    FontsPageWidget* fonts = sheet->fontsPage();
    EXPECT_FALSE(fonts->fontButton()->isEnabled());
    ClickRow(fonts->list(), 5);  // "Whispers"
    ASSERT_TRUE(fonts->fontButton()->isEnabled());
    WhenOpen<FontColorDialog>([](FontColorDialog* chooser) {
      chooser->setColor(QColor(0x11, 0x22, 0x33));
      QTest::mouseClick(chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    QTest::mouseClick(fonts->fontButton(), Qt::LeftButton);
    // Written before the sheet closes, so Cancel would keep it too.
    EXPECT_EQ(LoadTextFormats(dir.file("Bot.ini"))[TextTypeIndex(TextType::Whispers)].colour, 0x00332211u);
    EXPECT_EQ(window.chatPane()->format(TextType::Whispers), before);
    sheet->tabs()->setCurrentWidget(sheet->togglesPage());
    EXPECT_FALSE(sheet->helpButton()->isEnabled());  // the Toggles page has no help
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
  });
  MenuAction(window, "&Options", "Configure Bot")->trigger();
  EXPECT_EQ(window.chatPane()->format(TextType::Whispers).colour, 0x00332211u);
}

TEST(BotConfiguratorSheet, ConnectOpensTheSheetForAMissingPasswordUntilGivenOrCancelled) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nServer=" + gateway.address() + "\r\n");
  MainWindow window(dir.path().string());
  ShowExposed(window);

  // OK without a password opens the sheet again; Cancel ends the connect.
  int opened = 0;
  WhenOpen<BotConfigurator>([&](BotConfigurator* sheet) {
    ++opened;
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    WhenOpen<BotConfigurator>([&](BotConfigurator* again) {
      ++opened;
      QTest::keyClick(again, Qt::Key_Escape);
    });
  });
  window.document().Connect();
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(window.document().State(), NotConnected);
  EXPECT_EQ(window.chatPane()->document()->toPlainText().count("Please enter password"), 2);

  WhenOpen<BotConfigurator>([&](BotConfigurator* sheet) {
    EXPECT_EQ(sheet->tabs()->currentIndex(), 0);  // the Login page in front
    QTest::keyClicks(sheet->loginPage()->password(), "secret");
    QTest::keyClick(sheet->loginPage()->password(), Qt::Key_Return);
  });
  window.document().Connect();
  ASSERT_TRUE(gateway.waitForClients(1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.document().State() == WaitingForLoginPrompt; }, 5000));
  gateway.send("Please enter your name and password.\r\n");
  EXPECT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("acct\r\nsecret\r\n") != std::string::npos; }));
}

TEST(ResponseConfiguratorSheet, OpensFromTheMenuAndOkStoresPasswordsHeirsAndLevels) {
  TempDir dir;
  dir.write("Bot.ini", Crlf("[Security]\nChannelPassword=open\n"));
  dir.write("users.lst", Crlf("[Level2]\nbob\n"));
  MainWindow window(dir.path().string());
  ShowExposed(window);
  ChatBot& bot = window.document().Bot();
  bot.Users().addUser("bob", 0, "Home", "[CHAT]");
  ASSERT_EQ(bot.Users().row(bot.Users().findUser("bob")).level, 2);
  QAction* responses = MenuAction(window, "&Options", "Setup Responses and Automation");
  ASSERT_NE(responses, nullptr);

  bool seen = false;
  WhenOpen<ResponseConfigurator>([&](ResponseConfigurator* sheet) {
    seen = true;
    EXPECT_EQ(sheet->windowTitle(), "Response Configurator");
    ASSERT_EQ(sheet->tabs()->count(), 5);
    EXPECT_EQ(sheet->tabs()->tabText(0), "Access");
    EXPECT_EQ(sheet->tabs()->tabText(4), "Protection");
    EXPECT_FALSE(sheet->applyButton()->isEnabled());
    // Help shows the page's text in the "Help" window.
    QString help;
    WhenOpen<QDialog>(
        [&](QDialog* window) {
          if (auto* text = window->findChild<QPlainTextEdit*>()) help = text->toPlainText();
          window->accept();
        },
        "Help");
    QTest::mouseClick(sheet->helpButton(), Qt::LeftButton);
    EXPECT_TRUE(help.startsWith("\nThis tab allows you to add new users, adjust user levels")) << help.toStdString();
    // bob moves to level 4 on the Access page.
    AccessPageWidget* access = sheet->accessPage();
    QTest::keyClicks(access->userBox()->lineEdit(), "bob");
    QTest::keyClick(access->userLevel(), Qt::Key_Up);
    QTest::keyClick(access->userLevel(), Qt::Key_Up);
    QTest::mouseClick(access->addSaveButton(), Qt::LeftButton);
    EXPECT_TRUE(sheet->applyButton()->isEnabled());
    // An heir typed and entered is added at once, and the sheet stays open.
    HeirsPageWidget* heirs = sheet->heirsPage();
    QTest::keyClicks(heirs->newName(), "carol");
    QTest::keyClick(heirs->newName(), Qt::Key_Return);
    EXPECT_EQ(bot.Heirs().names[0], "carol");
    EXPECT_EQ(heirs->currentName()->text(), "carol");
    EXPECT_TRUE(sheet->isVisible());
    // A password that could not be read back keeps the sheet open on its page.
    auto* channel = sheet->findChild<QLineEdit*>("channelPassword");
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(channel->text(), "open");
    QTest::keyClicks(channel, " ");
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->tabs()->currentIndex(), 3);
    QTest::keyClick(channel, Qt::Key_Backspace);
    QTest::keyClicks(channel, "door");
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
  });
  responses->trigger();
  ASSERT_TRUE(seen);
  EXPECT_EQ(PrivateProfile::ReadString("Security", "ChannelPassword", "", 64, dir.file("Bot.ini")), "opendoor");
  EXPECT_EQ(bot.Settings().channelPassword, "opendoor");
  EXPECT_EQ(PrivateProfile::ReadString("AutoDesignate", "Designate0", "", 32, dir.file("Bot.ini")), "carol");
  EXPECT_EQ(bot.Users().row(bot.Users().findUser("bob")).level, 4);  // the level icons follow
}

}  // namespace
}  // namespace tolvik::ui
