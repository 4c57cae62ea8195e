// The window's side of the protection: the "Protection" page of the Response
// Configurator (switches, numbers, the rule list and its test field) and the
// "Moderation Record" window with its filters, as real widgets.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>

#include "storage/private_profile.h"
#include "support/temp_dir.h"
#include "ui/dialogs/moderation_record_dialog.h"
#include "ui/sheets/protection_page_widget.h"

namespace tolvik::ui {
namespace {

using testing::TempDir;

void TypeInto(QLineEdit* field, const QString& text) {
  field->clear();
  QTest::keyClicks(field, text);
}

TEST(ProtectionPageTest, RulesAreAddedEditedRemovedTestedAndSaved) {
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\n");
  dir.write("protect.lst", "# house rules\nspam\twarn\n");
  ProtectionPageWidget page(dir.file("Bot.ini"), dir.file("protect.lst"));
  // A profile without the section starts with everything off.
  EXPECT_FALSE(page.flood()->isChecked());
  EXPECT_FALSE(page.repeat()->isChecked());
  EXPECT_EQ(page.floodLines()->value(), 5);
  ASSERT_EQ(page.ruleList()->count(), 1);

  TypeInto(page.pattern(), "*cheap minerals*");
  TypeInto(page.action(), "kick");
  TypeInto(page.reason(), "selling");
  QTest::mouseClick(page.addButton(), Qt::LeftButton);
  ASSERT_EQ(page.ruleList()->count(), 2);
  QTest::keyClicks(page.testLine(), "Buy CHEAP MINERALS now");
  EXPECT_EQ(page.testResult()->text(), "protect.lst:3 kick (selling)");

  // A pattern that does not compile is refused and nothing changes.
  TypeInto(page.pattern(), "/(unclosed/");
  QTest::mouseClick(page.addButton(), Qt::LeftButton);
  EXPECT_EQ(page.ruleList()->count(), 2);
  EXPECT_NE(page.message().indexOf("compile"), -1) << page.message().toStdString();
  TypeInto(page.pattern(), "x");
  TypeInto(page.action(), "slap");
  QTest::mouseClick(page.addButton(), Qt::LeftButton);
  EXPECT_EQ(page.ruleList()->count(), 2);

  // Selecting a rule fills the fields; Edit replaces it.
  page.ruleList()->setCurrentRow(0);
  EXPECT_EQ(page.pattern()->text(), "spam");
  TypeInto(page.pattern(), "/spam\\d+/i");
  TypeInto(page.action(), "tempban:30");
  QTest::mouseClick(page.editButton(), Qt::LeftButton);
  page.testLine()->clear();
  QTest::keyClicks(page.testLine(), "SPAM99");
  EXPECT_EQ(page.testResult()->text(), "protect.lst:2 tempban:30");
  page.ruleList()->setCurrentRow(1);
  QTest::mouseClick(page.removeButton(), Qt::LeftButton);
  EXPECT_EQ(page.ruleList()->count(), 1);
  EXPECT_EQ(page.testResult()->text(), "protect.lst:2 tempban:30");

  QTest::mouseClick(page.flood(), Qt::LeftButton);
  page.floodLines()->setValue(7);
  page.protectedLevel()->setValue(4);
  ASSERT_TRUE(page.save());
  EXPECT_EQ(PrivateProfile::ReadInt("Protection", "Flood", -1, dir.file("Bot.ini")), 1);
  EXPECT_EQ(PrivateProfile::ReadInt("Protection", "FloodLines", -1, dir.file("Bot.ini")), 7);
  EXPECT_EQ(PrivateProfile::ReadInt("Protection", "Repeat", -1, dir.file("Bot.ini")), 0);
  EXPECT_EQ(PrivateProfile::ReadInt("Protection", "ProtectedLevel", -1, dir.file("Bot.ini")), 4);
  // The comment stays; the rules are written back in their form.
  EXPECT_EQ(dir.read("protect.lst"), "# house rules\n/spam\\d+/i\ttempban:30\n");
}

TEST(ModerationRecordWindowTest, NewestFirstFilteredByUserAndAction) {
  TempDir dir;
  dir.write("moderation.log", "2026-12-07T21:50:00Z\tflood\twarn\tann\tflooding\tsent\n"
                              "2026-12-07T21:51:00Z\tmod\tkick\tBob\t\tconfirmed\n"
                              "not a record line\n"
                              "2026-12-07T21:52:00Z\tprotect.lst:2\tban\tcarl\tads\trefused\n"
                              "2026-12-07T21:53:00Z\tbobby\tban\tdave\t\tunanswered\n");
  ModerationRecordDialog dialog(dir.path().string());
  QAbstractItemModel* model = dialog.table()->model();
  ASSERT_EQ(model->rowCount(), 4);
  EXPECT_EQ(model->index(0, ModerationRecordModel::Target).data().toString(), "dave");
  EXPECT_EQ(model->index(3, ModerationRecordModel::Time).data().toString(), "2026-12-07T21:50:00Z");
  EXPECT_EQ(model->index(1, ModerationRecordModel::Result).data().toString(), "refused");

  // "bob" finds the target Bob and the actor bobby.
  QTest::keyClicks(dialog.userFilter(), "bob");
  ASSERT_EQ(model->rowCount(), 2);
  EXPECT_EQ(model->index(1, ModerationRecordModel::Target).data().toString(), "Bob");
  dialog.actionFilter()->setCurrentIndex(dialog.actionFilter()->findText("ban"));
  ASSERT_EQ(model->rowCount(), 1);
  EXPECT_EQ(model->index(0, ModerationRecordModel::Actor).data().toString(), "bobby");
  dialog.userFilter()->clear();
  EXPECT_EQ(model->rowCount(), 2);

  // New lines show after Refresh.
  dir.write("moderation.log", dir.read("moderation.log") + "2026-12-07T21:54:00Z\tflood\tban\teve\t\tconfirmed\n");
  dialog.model()->reload();
  EXPECT_EQ(model->rowCount(), 3);
}

}  // namespace
}  // namespace tolvik::ui
