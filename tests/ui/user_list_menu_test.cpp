// The user list's menu as the operator uses it: a right-click on a row of the
// real window, logged in to the scripted gateway, and a click on an item.
#include "ui/user_list_menu.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/document.h"
#include "settings/font_records.h"
#include "bot/chat_bot.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "row_menu.h"
#include "ui/chat_bar_widget.h"
#include "ui/chat_pane.h"
#include "ui/dialogs/add_alias_dialog.h"
#include "ui/font_color_dialog.h"
#include "ui/main_window.h"
#include "ui/user_list_model.h"
#include "ui/user_list_panel.h"
#include "ui/user_list_view.h"

namespace tolvik::ui {
namespace {

using testing::ScriptedGateway;
using testing::TempDir;

// Answers the next modal dialog of type T with `answer`, from the event loop
// the dialog's exec() runs.
template <typename T>
void AnswerDialog(std::function<void(T*)> answer) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [=] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!dialog) return;
    poll->deleteLater();
    answer(dialog);
  });
  poll->start(10);
}

class UserListMenuTest : public ::testing::Test {
 protected:
  // Logs in as acct (not an operator) with bob [W2BN], alice [STAR] and carol [SEXP] listed in that order.
  void SetUp() override {
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=" + gateway.address() +
                             "\r\nChannel=Home\r\nAutoLogin=1\r\n");
    dir.write("users.lst", "");
    window = std::make_unique<MainWindow>(dir.path().string());
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->document().Bot().Queue().SetPause([](int) {});
    window->start();
    ASSERT_TRUE(gateway.waitForClients(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->document().State() == WaitingForLoginPrompt; }, 5000));
    gateway.send("Username: Password: \r\nPlease enter your name and password.\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("secret\r\n") != std::string::npos; }));
    gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n1001 USER acct 0010 [CHAT]\r\n"
                 "1001 USER bob 0000 [W2BN]\r\n1001 USER alice 0000 [STAR]\r\n1001 USER carol 0000 [SEXP]\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return users().userCount() == 4; }, 5000));
    ASSERT_EQ(users().row(1).name, "bob");
  }

  UserList& users() { return window->document().Bot().Users(); }
  UserListView& view() { return window->userListPanel()->view(); }
  QPoint RowCenter(int row) { return testing::RowCenter(view(), row); }
  bool Shown(const QString& text) { return window->chatPane()->document()->toPlainText().contains(text); }
  bool WaitSent(const std::string& text) {
    return QTest::qWaitFor([&] { return gateway.received().find(text) != std::string::npos; }, 5000);
  }

  QMenu* OpenMenuOn(int row) { return testing::OpenMenuOn(view(), row); }
  QAction* Item(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions())
      if (action->text() == text) return action;
    return nullptr;
  }
  // Opens the menu on `row` and clicks the item.
  void Choose(int row, const QString& text) {
    QMenu* menu = OpenMenuOn(row);
    ASSERT_NE(menu, nullptr);
    QAction* action = Item(menu, text);
    ASSERT_NE(action, nullptr) << text.toStdString();
    ASSERT_TRUE(action->isEnabled()) << text.toStdString();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, 2000));
  }
  void SelectOnly(int row) { QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, RowCenter(row)); }

  ScriptedGateway gateway;
  TempDir dir;
  std::unique_ptr<MainWindow> window;
};

TEST_F(UserListMenuTest, EveryCommandActsOnTheFirstOfThreeSelectedUsers) {
  QWidget* port = view().viewport();
  SelectOnly(1);
  QTest::mouseClick(port, Qt::LeftButton, Qt::ControlModifier, RowCenter(2));
  QTest::mouseClick(port, Qt::LeftButton, Qt::ControlModifier, RowCenter(3));
  ASSERT_TRUE(users().row(1).selected && users().row(2).selected && users().row(3).selected);

  QMenu* menu = OpenMenuOn(3);  // on carol, the last of the three
  ASSERT_NE(menu, nullptr);
  QStringList texts;
  for (QAction* action : menu->actions()) texts << (action->isSeparator() ? QStringLiteral("---") : action->text());
  EXPECT_EQ(texts.join(u'|'),
            "Show Aliases|Add Alias|WhoIs|Stats|Idle Time|---|Show User Level|Add to User List|Promote|Demote|"
            "Delete from List|---|Squelch|UnSquelch|---|Kick|Ban|Designate|---|Permanantly Highlight|"
            "Stop Highlighting user");
  menu->close();
  ASSERT_TRUE(users().row(1).selected && users().row(3).selected);  // the right-click kept the selection

  Choose(3, "Stats");
  EXPECT_TRUE(WaitSent("/stats bob W2BN\n")) << gateway.received();
  Choose(3, "WhoIs");
  Choose(3, "Squelch");
  EXPECT_TRUE(WaitSent("/whois bob\n/squelch bob\n")) << gateway.received();
  Choose(3, "Idle Time");
  EXPECT_TRUE(Shown("bob has been idle for 0 minutes"));

  // The access list, as the bot's own account with the override; the level icon follows.
  Choose(3, "Add to User List");
  Choose(3, "Promote");
  EXPECT_EQ(window->document().Bot().Access().GetUserLevel("bob"), 2);
  EXPECT_EQ(users().row(users().findUser("bob")).level, 2);
  Choose(3, "Show User Level");
  EXPECT_TRUE(Shown("bob is Level 2"));
  Choose(3, "Delete from List");
  EXPECT_EQ(window->document().Bot().Access().GetUserLevel("bob"), 0);
  EXPECT_EQ(window->document().Bot().Access().GetUserLevel("alice"), 0);

  const std::string sent = gateway.received();
  for (const char* other : {"alice", "carol"}) EXPECT_EQ(sent.find(other), std::string::npos) << sent;
}

TEST_F(UserListMenuTest, KickBanAndDesignateWaitForOperatorStatus) {
  SelectOnly(2);
  QMenu* menu = OpenMenuOn(2);
  ASSERT_NE(menu, nullptr);
  for (const char* text : {"Kick", "Ban", "Designate"}) EXPECT_FALSE(Item(menu, text)->isEnabled()) << text;
  EXPECT_TRUE(Item(menu, "Squelch")->isEnabled());
  menu->close();

  gateway.send("1009 USER acct 0012\r\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->document().Bot().IsOperator(); }, 5000));
  Choose(2, "Kick");
  Choose(2, "Designate");
  EXPECT_TRUE(WaitSent("/kick alice\n/designate alice\n")) << gateway.received();
  const PendingAction* pending = window->document().Bot().Pending().front();
  ASSERT_NE(pending, nullptr);
  EXPECT_EQ(pending->text, "alice");
  EXPECT_EQ(pending->kind, kPendingDesignate);
  EXPECT_EQ(pending->mode, kDesignateTellHeir);
}

TEST_F(UserListMenuTest, PermanentHighlightColoursTalkUntilStopped) {
  const std::string ini = dir.file("Bot.ini");
  SelectOnly(2);
  // Without a record, stopping leaves Bot.ini as it is, not even rewritten.
  struct stat before {};
  ASSERT_EQ(stat(ini.c_str(), &before), 0);
  const std::string bytes = dir.read("Bot.ini");
  Choose(2, "Stop Highlighting user");
  struct stat after {};
  ASSERT_EQ(stat(ini.c_str(), &after), 0);
  EXPECT_EQ(dir.read("Bot.ini"), bytes);
  EXPECT_EQ(after.st_ino, before.st_ino);

  const QColor chosen(0x12, 0x9A, 0x56);
  AnswerDialog<FontColorDialog>([&](FontColorDialog* dialog) {
    dialog->setColor(chosen);
    dialog->accept();
  });
  Choose(2, "Permanantly Highlight");
  const std::optional<TextFormat> record = LoadHighlightFormat(ini, "alice");
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->size, 60u);
  EXPECT_EQ(record->mask, 0xFFFFFFFFu);
  EXPECT_EQ(record->colour, 0x00569A12u);

  // Alice's talk takes it while the switch is on, whether she is selected or not.
  SelectOnly(1);
  gateway.send("1005 TALK alice 0000 \"first\"\r\n");
  QTextDocument* chat = window->chatPane()->document();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown("<alice> first"); }, 5000));
  EXPECT_EQ(chat->find("<alice> first").charFormat().foreground().color(), chosen);

  // A cancelled chooser changes nothing; stopping removes the record.
  AnswerDialog<FontColorDialog>([](FontColorDialog* dialog) { dialog->reject(); });
  Choose(2, "Permanantly Highlight");
  EXPECT_TRUE(LoadHighlightFormat(ini, "alice").has_value());
  Choose(2, "Stop Highlighting user");
  EXPECT_FALSE(LoadHighlightFormat(ini, "alice").has_value());
  EXPECT_EQ(dir.read("Bot.ini").find("alice"), std::string::npos);
  SelectOnly(1);
  gateway.send("1005 TALK alice 0000 \"second\"\r\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown("<alice> second"); }, 5000));
  EXPECT_NE(chat->find("<alice> second").charFormat().foreground().color(), chosen);
}

TEST_F(UserListMenuTest, AddAliasNeedsAKnownName) {
  AliasDatabase& aliases = window->document().Bot().Aliases();
  ASSERT_EQ(aliases.add("oldname", "17"), AliasAddResult::Added);
  SelectOnly(3);

  QString offered;
  AnswerDialog<AddAliasDialog>([&](AddAliasDialog* dialog) {
    offered = dialog->nameField()->text();
    QTest::keyClicks(dialog->knownField(), "stranger");
    QTest::keyClick(dialog->knownField(), Qt::Key_Return);
  });
  Choose(3, "Add Alias");
  EXPECT_EQ(offered, "carol");
  EXPECT_TRUE(Shown("stranger does not exist in Data Base"));
  EXPECT_EQ(aliases.idsOfName("carol"), "Not Found");

  AnswerDialog<AddAliasDialog>([&](AddAliasDialog* dialog) {
    QTest::keyClicks(dialog->knownField(), "OLDNAME");
    QTest::keyClick(dialog->knownField(), Qt::Key_Return);
  });
  Choose(3, "Add Alias");
  EXPECT_EQ(aliases.idsOfName("carol"), "17");

  // Asked again, the database says the pair is there.
  AnswerDialog<AddAliasDialog>([&](AddAliasDialog* dialog) {
    QTest::keyClicks(dialog->knownField(), "oldname");
    QTest::keyClick(dialog->knownField(), Qt::Key_Return);
  });
  Choose(3, "Add Alias");
  EXPECT_TRUE(Shown("Account already in database"));
}

}  // namespace
}  // namespace tolvik::ui
