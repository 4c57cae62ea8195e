// The smaller windows on real widgets: joining a channel and the last-seen
// list against a bot logged in to the scripted gateway, the server-selection
// tool and the say tags on real files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <string>

#include "storage/private_profile.h"
#include "settings/say_tags.h"
#include "support/recording_display.h"
#include "support/session_fixture.h"
#include "support/temp_dir.h"
#include "ui/dialogs/help_dialog.h"
#include "ui/dialogs/join_channel_dialog.h"
#include "ui/dialogs/last_seen_dialog.h"
#include "ui/dialogs/select_server_dialog.h"
#include "ui/dialogs/tags_dialog.h"
#include "ui/main_window.h"

namespace tolvik::ui {
namespace {

using testing::RecordingDisplay;
using testing::TempDir;

QStringList Texts(const QComboBox& box) {
  QStringList texts;
  for (int i = 0; i < box.count(); ++i) texts << box.itemText(i);
  return texts;
}

class DialogSessionTest : public testing::SessionTest {
 protected:
  void SetUp() override {
    WriteBotIni();
    Open();
    LogIn();
  }
};

TEST_F(DialogSessionTest, JoinChannelOffersTheChannelsEnteredAndSendsTheTypedOne) {
  gateway.send("1007 CHANNEL \"Alpha Lounge\"\r\n1007 CHANNEL \"home\"\r\n");
  ASSERT_TRUE(WaitShown("Joining Channel: Alpha Lounge"));
  ASSERT_TRUE(WaitShown("Joining Channel: home"));

  JoinChannelDialog dialog(doc->Bot());
  EXPECT_EQ(Texts(*dialog.channelBox()), QStringList({"Alpha Lounge", "Home"}));
  dialog.show();
  QLineEdit* field = dialog.channelBox()->lineEdit();
  QTest::keyClicks(field, "Alpha Lounge");
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(WaitSent("/join Alpha Lounge\n")) << gateway.received();
}

TEST_F(DialogSessionTest, LastSeenFollowsLeavesAndReturnsNewestFirst) {
  auto play_leave = [&](int n) {
    const std::string name = "user" + std::to_string(n);
    gateway.send("1002 JOIN " + name + " 0000 [STAR]\r\n1003 LEAVE " + name + " 0000\r\n");
  };
  LastSeenList& list = doc->Bot().LastSeen();
  play_leave(0);
  play_leave(1);
  ASSERT_TRUE(Run([&] { return list.size() == 2; }));

  LastSeenDialog dialog(list);
  QTreeWidget* rows = dialog.rows();
  auto names = [&] {
    QStringList shown;
    for (int i = 0; i < rows->topLevelItemCount(); ++i) shown << rows->topLevelItem(i)->text(0);
    return shown;
  };
  EXPECT_EQ(names(), QStringList({"user1", "user0"}));
  EXPECT_EQ(rows->topLevelItem(0)->text(1), QString::fromStdString(list.records().back().time));

  // Returning users go; new leavers come on top; the oldest go at the cap.
  gateway.send("1002 JOIN user0 0000 [STAR]\r\n");
  ASSERT_TRUE(Run([&] { return list.size() == 1; }));
  EXPECT_EQ(names(), QStringList({"user1"}));
  for (int n = 2; n <= 52; ++n) play_leave(n);
  ASSERT_TRUE(Run([&] { return list.records().back().name == "user52"; }));
  ASSERT_EQ(list.size(), 50u);
  ASSERT_EQ(rows->topLevelItemCount(), 50);
  EXPECT_EQ(names().first(), "user52");
  EXPECT_EQ(names().last(), QString::fromStdString(list.records().front().name));
  EXPECT_EQ(names().last(), "user3");

  // "Clear" empties the bot's list as well as the window.
  QPushButton* clear = nullptr;
  for (QPushButton* button : dialog.findChildren<QPushButton*>())
    if (button->text() == "Clear") clear = button;
  ASSERT_NE(clear, nullptr);
  QTest::mouseClick(clear, Qt::LeftButton);
  EXPECT_EQ(list.size(), 0u);
  EXPECT_EQ(rows->topLevelItemCount(), 0);
}

class SelectServerTest : public ::testing::Test {
 protected:
  std::string file() const { return dir.file("ServerList.ini"); }
  std::string Value(std::string_view key) const {
    return PrivateProfile::ReadString(ServerListFile::kSection, key, "(none)", 4095, file());
  }
  QStringList Names(const SelectServerDialog& dialog) const {
    QStringList names;
    for (int i = 0; i < dialog.serverList()->count(); ++i) names << dialog.serverList()->item(i)->text();
    return names;
  }
  TempDir dir;
  RecordingDisplay display;
};

TEST_F(SelectServerTest, OneListedServerStartsSelectedAndOkFollowsTheText) {
  ASSERT_TRUE(PrivateProfile::WriteString(ServerListFile::kSection, ServerListFile::kServerList, "west.example",
                                          file()));
  SelectServerDialog dialog(file(), "elsewhere.example", display);
  EXPECT_EQ(Names(dialog), QStringList({"west.example"}));
  EXPECT_EQ(dialog.serverList()->currentRow(), 0);
  EXPECT_EQ(dialog.serverField()->text(), "west.example");
  EXPECT_TRUE(dialog.okButton()->isEnabled());

  dialog.show();
  dialog.serverField()->selectAll();
  QTest::keyClick(dialog.serverField(), Qt::Key_Delete);
  EXPECT_FALSE(dialog.okButton()->isEnabled());
  QTest::keyClick(dialog.serverField(), Qt::Key_Return);  // no OK while the text is empty
  EXPECT_TRUE(dialog.isVisible());
  QTest::keyClicks(dialog.serverField(), "e");
  EXPECT_TRUE(dialog.okButton()->isEnabled());
}

TEST_F(SelectServerTest, OkKeepsABackupThatReopensAndRestoreBrings) {
  ASSERT_TRUE(PrivateProfile::WriteString(ServerListFile::kSection, ServerListFile::kServerList,
                                          "east.example;west.example;asia.example", file()));
  {
    SelectServerDialog dialog(file(), "west.example", display);
    EXPECT_EQ(dialog.serverList()->currentRow(), -1);  // no backup yet to find it in
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QListWidget* list = dialog.serverList();
    const QPoint west = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, west);
    EXPECT_EQ(dialog.serverField()->text(), "west.example");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, west);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  EXPECT_EQ(Value(ServerListFile::kServerList), "west.example");
  EXPECT_EQ(Value(ServerListFile::kBackup), "east.example;west.example;asia.example");

  SelectServerDialog reopened(file(), "WEST.example", display);
  EXPECT_EQ(Names(reopened), QStringList({"east.example", "west.example", "asia.example"}));
  EXPECT_EQ(reopened.serverList()->currentRow(), 1);
  reopened.show();
  QTest::mouseClick(reopened.restoreButton(), Qt::LeftButton);
  EXPECT_EQ(reopened.result(), SelectServerDialog::kRestored);
  EXPECT_EQ(Value(ServerListFile::kServerList), "east.example;west.example;asia.example");
  EXPECT_EQ(Value(ServerListFile::kBackup), "(none)");
  EXPECT_TRUE(display.texts().empty());
}

TEST_F(SelectServerTest, AFileThatCannotBeWrittenIsReported) {
  // A file where the folder should be.
  dir.write("config", "");
  const std::string unwritable = dir.file("config/ServerList.ini");
  SelectServerDialog dialog(unwritable, "", display);
  dialog.serverField()->setText("west.example");
  dialog.accept();
  EXPECT_TRUE(display.contains("Could not write the server list to " + unwritable));
}

TEST(TagsDialogTest, LevelsRunToTheHighestSayKeyAndSaveEscaped) {
  TempDir dir;
  dir.write("Bot.ini", "[Messages]\r\nPing=[[Ping]]\r\nsay1=first\r\nSay7=[[boss]] says\r\n[Other]\r\nSay9=x\r\n");
  const std::string ini = dir.file("Bot.ini");
  TagsDialog dialog(ini);
  EXPECT_EQ(dialog.levelBox()->minimum(), 0);
  EXPECT_EQ(dialog.levelBox()->maximum(), 7);
  EXPECT_EQ(dialog.tagField()->text(), "");

  dialog.show();
  dialog.levelBox()->setFocus();
  QTest::keyClick(dialog.levelBox(), Qt::Key_Up);
  EXPECT_EQ(dialog.tagField()->text(), "first");
  QTest::keyClick(dialog.levelBox(), Qt::Key_PageUp);
  EXPECT_EQ(dialog.levelBox()->value(), 7);
  EXPECT_EQ(dialog.tagField()->text(), "[boss] says");

  dialog.tagField()->selectAll();
  QTest::keyClicks(dialog.tagField(), "a=b [chief]");
  QTest::mouseClick(dialog.saveButton(), Qt::LeftButton);
  EXPECT_EQ(ReadSayTag(ini, 7), "a=b [chief]");
  EXPECT_NE(dir.read("Bot.ini").find("7=a==b [[chief]]\r\n"), std::string::npos) << dir.read("Bot.ini");
}

// A Bot.ini without say keys (or with only Say0) offers levels 0 to 9; one
// say key above that sets the top again.
TEST(TagsDialogTest, WithoutSayKeysLevelsRunToNine) {
  TempDir dir;
  const std::string ini = dir.file("Bot.ini");
  dir.write("Bot.ini", "[Messages]\r\nPing=x\r\n");
  EXPECT_EQ(TagsDialog(ini).levelBox()->maximum(), 9);
  dir.write("Bot.ini", "[Messages]\r\nSay0=zero\r\n");
  EXPECT_EQ(TagsDialog(ini).levelBox()->maximum(), 9);
  dir.write("Bot.ini", "[Messages]\r\nSay1=one\r\n");
  EXPECT_EQ(TagsDialog(ini).levelBox()->maximum(), 1);
  dir.write("Bot.ini", "[Messages]\r\nSay10=ten\r\n");
  EXPECT_EQ(TagsDialog(ini).levelBox()->maximum(), 10);
}

// Notes the title of the next modal dialog of type T and closes it.
template <typename T>
void CloseNextDialog(QString* title) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [=] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!dialog) return;
    poll->deleteLater();
    *title = dialog->windowTitle();
    dialog->reject();
  });
  poll->start(10);
}

TEST(WindowDialogsTest, TheWindowsKeysOpenTheDialogsAndOneLastSeenWindow) {
  TempDir dir;
  MainWindow window(dir.path().string());
  // The offscreen platform has no window manager to give the window back its activation.
  auto activate = [&] {
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
  };
  window.show();
  ASSERT_TRUE(activate());

  QString title;
  CloseNextDialog<JoinChannelDialog>(&title);
  QTest::keyClick(&window, Qt::Key_H, Qt::AltModifier);
  EXPECT_EQ(title, "Join Channel");
  ASSERT_TRUE(activate());
  CloseNextDialog<HelpDialog>(&title);
  QTest::keyClick(&window, Qt::Key_F1);
  EXPECT_EQ(title, "Main Window Help");
  ASSERT_TRUE(activate());

  QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
  QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
  const QList<LastSeenDialog*> seen = window.findChildren<LastSeenDialog*>();
  ASSERT_EQ(seen.size(), 1);
  EXPECT_TRUE(seen.first()->isVisible());
  EXPECT_FALSE(seen.first()->isModal());
}

}  // namespace
}  // namespace tolvik::ui
