// The user list on screen: the icon strip, what the view shows for the
// roster's rows, the name column's width, and selection by pointer and keys.
#include "ui/user_list_view.h"

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <map>
#include <ostream>
#include <set>
#include <string>

#include "bot/user_list.h"
#include "ui/user_icons.h"
#include "ui/user_list_model.h"
#include "ui/user_list_panel.h"

// Readable failure messages for QString comparisons.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace tolvik::ui {
namespace {

QImage ImageOf(const QVariant& decoration) { return qvariant_cast<QPixmap>(decoration).toImage(); }

TEST(UserIconsTest, SeventyPicturesDistinctWithGreyIdleCopies) {
  const UserIcons icons;
  EXPECT_EQ(icons.strip().size(), QSize(70 * 28, 14));
  std::set<QByteArray> seen;
  auto bytes = [](const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    return QByteArray(reinterpret_cast<const char*>(argb.constBits()), argb.sizeInBytes());
  };
  for (int slot = 0; slot < 58; ++slot) {
    const QImage picture = icons.pixmap(slot).toImage();
    ASSERT_EQ(picture.size(), QSize(28, 14)) << slot;
    EXPECT_TRUE(seen.insert(bytes(picture)).second) << "slot " << slot << " repeats another picture";
  }
  for (int slot = 39; slot < 58; ++slot) {
    const QImage idle = icons.pixmap(slot).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 28; ++x) {
        const QRgb p = idle.pixel(x, y);
        ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << "idle slot " << slot << " has colour";
      }
  }
  // Level pictures fit the 10-pixel level column.
  for (int slot = 19; slot < 39; ++slot) {
    const QImage level = icons.pixmap(slot).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 14; ++y)
      for (int x = UserIcons::kLevelPictureWidth; x < 28; ++x)
        ASSERT_EQ(qAlpha(level.pixel(x, y)), 0) << "level slot " << slot << " drawn at x " << x;
  }
  EXPECT_TRUE(icons.pixmap(70).isNull());
  EXPECT_EQ(UserIcons::levelSlot(10), 29);
  EXPECT_EQ(UserIcons::levelSlot(20), -1);
  EXPECT_EQ(UserIcons::levelSlot(-1), -1);
}

class UserListViewTest : public ::testing::Test {
 protected:
  UserListViewTest()
      : users([this](const char* n) { return levels.count(n) ? levels[n] : 0; }, [] { return int64_t{100001}; }),
        panel(users) {
    panel.resize(240, 300);
    panel.show();
  }
  UserListView& view() { return panel.view(); }
  UserListModel& model() { return panel.model(); }
  QVariant Decoration(int row, int column) { return model().index(row, column).data(Qt::DecorationRole); }
  QPoint RowCenter(int row) { return view().visualRect(model().index(row, UserListModel::kUserColumn)).center(); }
  bool ViewSelects(int row) { return view().selectionModel()->isRowSelected(row, {}); }
  void AddNames(std::initializer_list<const char*> names) {
    for (const char* n : names) users.addUser(n, 0, "Home", "[STAR]");
  }

  std::map<std::string, int> levels{{"boss", 12}, {"ann", 3}, {"zed", 25}};
  UserList users;
  UserListPanel panel;
};

TEST_F(UserListViewTest, ShowsChosenIconsLevelsAndOperatorsFirst) {
  const UserIcons& icons = model().icons();
  users.addUser("ann", 0, "Home", "[STAR]");
  users.addUser("chatter", 0x10, "Home", "[XYZW]");
  users.addUser("boss", 0x02 | 0x20, "Home", "[SEXP]");  // squelched operator
  users.addUser("zed", 0x100, "Home", "[STAR]");         // other flags: the product is not looked at

  ASSERT_EQ(model().rowCount(), 4);
  EXPECT_EQ(model().index(0, UserListModel::kUserColumn).data().toString(), "boss");
  EXPECT_EQ(ImageOf(Decoration(0, UserListModel::kUserColumn)), icons.pixmap(8).toImage());
  EXPECT_EQ(ImageOf(Decoration(1, UserListModel::kUserColumn)), icons.pixmap(3).toImage());
  EXPECT_EQ(ImageOf(Decoration(2, UserListModel::kUserColumn)), icons.pixmap(1).toImage());
  EXPECT_EQ(ImageOf(Decoration(3, UserListModel::kUserColumn)), icons.pixmap(0).toImage());
  EXPECT_EQ(model().index(0, UserListModel::kGameTypeColumn).data().toString(), "[SEXP]");

  // Levels 0..19 show slot 19 + level; others show no picture.
  EXPECT_EQ(ImageOf(Decoration(0, UserListModel::kLevelColumn)), icons.pixmap(31).toImage());
  EXPECT_EQ(ImageOf(Decoration(1, UserListModel::kLevelColumn)), icons.pixmap(22).toImage());
  EXPECT_FALSE(Decoration(3, UserListModel::kLevelColumn).isValid());

  // Idle users turn grey and back; the view follows the roster.
  users.setIdle("ann", true);
  EXPECT_EQ(ImageOf(Decoration(1, UserListModel::kUserColumn)), icons.pixmap(42).toImage());
  users.setIdle("ann", false);
  EXPECT_EQ(ImageOf(Decoration(1, UserListModel::kUserColumn)), icons.pixmap(3).toImage());

  // Shown as level, product (hidden), name, without headers.
  const QHeaderView* header = view().header();
  EXPECT_TRUE(header->isHidden());
  EXPECT_EQ(header->logicalIndex(0), UserListModel::kLevelColumn);
  EXPECT_EQ(header->logicalIndex(2), UserListModel::kUserColumn);
  EXPECT_TRUE(view().isColumnHidden(UserListModel::kGameTypeColumn));
  EXPECT_EQ(view().columnWidth(UserListModel::kLevelColumn), 10);

  EXPECT_EQ(panel.labelField().text(), "Home (4)");
  users.clearUsers();
  EXPECT_EQ(panel.labelField().text(), "");
}

// A name holding a right-to-left override is shown without it, so it cannot
// be drawn as another user's name; commands still get the name as it is.
TEST_F(UserListViewTest, NamesAreShownWithoutDirectionControls) {
  users.addUser("\xE2\x80\xAErenwo", 0, "Home", "[STAR]");
  EXPECT_EQ(model().index(0, UserListModel::kUserColumn).data().toString(), "renwo");
  EXPECT_EQ(model().index(0, 0).data(UserListModel::NameRole).toString(), QString::fromUtf8("\u202Erenwo"));
}

TEST_F(UserListViewTest, NameColumnFollowsTheWidestName) {
  const QFontMetrics metrics(view().font());
  AddNames({"al", "a_much_longer_name_here", "bob"});
  EXPECT_EQ(view().columnWidth(UserListModel::kUserColumn),
            metrics.horizontalAdvance("a_much_longer_name_here") + 42);
  users.removeUser("a_much_longer_name_here", "Home");
  EXPECT_EQ(view().columnWidth(UserListModel::kUserColumn),
            std::max(metrics.horizontalAdvance("al"), metrics.horizontalAdvance("bob")) + 42);
  users.clearUsers();
  EXPECT_EQ(view().columnWidth(UserListModel::kUserColumn), 50);
}

TEST_F(UserListViewTest, CtrlUpDownWrapAndScrollingKeepsItsPlace) {
  for (int i = 0; i < 60; ++i) users.addUser(("user" + std::to_string(i)).c_str(), 0, "Home", "");
  QSignalSpy names(&view(), &UserListView::selectedNamesChanged);

  view().selectNext();  // nothing selected: the first row
  EXPECT_EQ(users.firstSelected(), 0);
  EXPECT_TRUE(ViewSelects(0));
  view().selectPrevious();  // from the first row to the last
  EXPECT_EQ(users.firstSelected(), 59);
  EXPECT_TRUE(ViewSelects(59));
  EXPECT_FALSE(ViewSelects(0));
  EXPECT_TRUE(view().viewport()->rect().contains(RowCenter(59)));
  view().selectNext();  // from the last row to the first
  EXPECT_EQ(users.firstSelected(), 0);
  EXPECT_TRUE(view().viewport()->rect().contains(RowCenter(0)));
  ASSERT_GE(names.count(), 3);
  EXPECT_EQ(names.last().at(0).toString(), "user0");

  users.clearSelection();
  view().selectPrevious();  // nothing selected: the last row
  EXPECT_EQ(users.firstSelected(), 59);

  // Ctrl+Page Up / Down: whole rows, at least one.
  QScrollBar* bar = view().verticalScrollBar();
  const int bottom = bar->value();
  ASSERT_GT(bottom, 0);
  view().scrollPageUp();
  const int up = bottom - bar->value();
  EXPECT_GE(up, 1);
  view().scrollPageDown();
  EXPECT_EQ(bar->value(), bottom);

  // A join resets the model; the list stays where the operator scrolled it.
  bar->setValue(20);
  users.addUser("late", 0, "Home", "");
  EXPECT_EQ(bar->value(), 20);
}

TEST_F(UserListViewTest, PointerSelectionReachesTheRosterAndSurvivesChanges) {
  AddNames({"amy", "ben", "cat"});
  QSignalSpy names(&view(), &UserListView::selectedNamesChanged);
  QSignalSpy whisper(&view(), &UserListView::whisperRequested);
  QSignalSpy whisperBar(&view(), &UserListView::whisperBarRequested);
  QSignalSpy menu(&view(), &UserListView::userMenuRequested);
  QSignalSpy focusBack(&view(), &UserListView::focusReturnRequested);
  QWidget* port = view().viewport();

  QTest::mouseClick(port, Qt::LeftButton, {}, RowCenter(0));
  QTest::mouseClick(port, Qt::LeftButton, Qt::ControlModifier, RowCenter(2));
  EXPECT_TRUE(users.row(0).selected);
  EXPECT_FALSE(users.row(1).selected);
  EXPECT_TRUE(users.row(2).selected);
  EXPECT_EQ(names.last().at(0).toString(), "amy cat");
  EXPECT_EQ(focusBack.count(), 2);

  // A join above moves the rows down; the selection moves with them.
  users.addUser("dan", 0x02, "Home", "");
  EXPECT_EQ(users.findUser("amy"), 1);
  EXPECT_TRUE(ViewSelects(1));
  EXPECT_TRUE(ViewSelects(3));
  EXPECT_FALSE(ViewSelects(0));
  // Shift+click extends from the row clicked last (cat, moved down too),
  // keeping what Ctrl+click chose before.
  QTest::mouseClick(port, Qt::LeftButton, Qt::ShiftModifier, RowCenter(2));
  EXPECT_EQ(users.selectedNames(), "amy ben cat");
  QTest::mouseClick(port, Qt::LeftButton, {}, RowCenter(1));
  QTest::mouseClick(port, Qt::LeftButton, Qt::ShiftModifier, RowCenter(2));
  EXPECT_EQ(users.selectedNames(), "amy ben");

  // Empty space keeps the selection; a double-click there asks for the whisper bar.
  const QPoint empty(RowCenter(0).x(), port->height() - 2);
  ASSERT_FALSE(view().indexAt(empty).isValid());
  QTest::mouseClick(port, Qt::LeftButton, {}, empty);
  EXPECT_EQ(users.selectedNames(), "amy ben");
  QTest::mouseDClick(port, Qt::LeftButton, {}, empty);
  EXPECT_EQ(whisperBar.count(), 1);
  EXPECT_EQ(whisper.count(), 0);

  QTest::mouseDClick(port, Qt::LeftButton, {}, RowCenter(3));
  ASSERT_EQ(whisper.count(), 1);
  EXPECT_EQ(whisper.at(0).at(0).toString(), "cat");

  QContextMenuEvent onRow(QContextMenuEvent::Mouse, RowCenter(0), port->mapToGlobal(RowCenter(0)));
  QApplication::sendEvent(port, &onRow);
  QContextMenuEvent onEmpty(QContextMenuEvent::Mouse, empty, port->mapToGlobal(empty));
  QApplication::sendEvent(port, &onEmpty);
  ASSERT_EQ(menu.count(), 1);
  EXPECT_EQ(menu.at(0).at(0).toPoint(), port->mapToGlobal(RowCenter(0)));
}

// Joins, leaves and re-flags arrive as row edits, not resets: the view keeps
// its selection, current row and scroll position through them.
TEST_F(UserListViewTest, RosterEditsAreRowEditsThatKeepTheViewsState) {
  for (int i = 0; i < 40; ++i) users.addUser(("user" + std::to_string(i)).c_str(), 0, "Home", "");
  QSignalSpy resets(&model(), &QAbstractItemModel::modelReset);
  QSignalSpy inserts(&model(), &QAbstractItemModel::rowsInserted);
  QSignalSpy moves(&model(), &QAbstractItemModel::rowsMoved);
  QTest::mouseClick(view().viewport(), Qt::LeftButton, {}, RowCenter(2));
  ASSERT_EQ(users.selectedNames(), "user2");

  users.addUser("op", 0x02, "Home", "");  // on top: every row below moves down one
  EXPECT_EQ(inserts.count(), 1);
  EXPECT_TRUE(ViewSelects(3));
  EXPECT_EQ(view().currentIndex().row(), 3);
  users.updateUserFlags("user5", 0x02);  // gains the bit: moves up under "op"
  EXPECT_EQ(moves.count(), 1);
  EXPECT_EQ(model().index(1, UserListModel::kUserColumn).data().toString(), "user5");
  EXPECT_TRUE(ViewSelects(4)) << "user2, now one further down";
  users.removeUser("op", "Home");
  EXPECT_TRUE(ViewSelects(3));
  EXPECT_EQ(users.selectedNames(), "user2");
  EXPECT_EQ(panel.labelField().text(), "Home (40)");
  EXPECT_EQ(resets.count(), 0);

  // The core's own selection steps still show.
  view().selectNext();
  EXPECT_EQ(users.selectedNames(), "user3");
  EXPECT_TRUE(ViewSelects(users.findUser("user3")));
  EXPECT_FALSE(ViewSelects(users.findUser("user2")));
}

// The widest name is kept row by row: a name coming back in other letter
// case, and a new font, are measured again.
TEST_F(UserListViewTest, WidestNameFollowsCaseChangesAndFonts) {
  // A proportional face, where capitals are wider.
  QFont face("DejaVu Sans");
  face.setPixelSize(12);
  view().setFont(face);
  const QFontMetrics metrics(face);
  ASSERT_GT(metrics.horizontalAdvance("ABCD"), metrics.horizontalAdvance("abcd")) << "needs a proportional font";
  AddNames({"abcd", "a"});
  EXPECT_EQ(view().columnWidth(UserListModel::kUserColumn), metrics.horizontalAdvance("abcd") + 42);
  users.addUser("ABCD", 0, "Home", "");
  EXPECT_EQ(view().columnWidth(UserListModel::kUserColumn), metrics.horizontalAdvance("ABCD") + 42);
  QFont bigger = view().font();
  bigger.setPixelSize(24);
  view().setFont(bigger);
  EXPECT_EQ(view().columnWidth(UserListModel::kUserColumn), QFontMetrics(bigger).horizontalAdvance("ABCD") + 42);
}

// The Menu key and Shift+F10 open the user menu on the current row; F10
// alone does not.
TEST_F(UserListViewTest, MenuKeyAndShiftF10OpenTheMenuOnTheCurrentRow) {
  AddNames({"amy", "ben", "cat"});
  QSignalSpy menu(&view(), &UserListView::userMenuRequested);
  view().setFocus();
  QTest::keyClick(&view(), Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(menu.count(), 0) << "no current row yet";
  view().setCurrentIndex(model().index(1, UserListModel::kUserColumn));
  QTest::keyClick(&view(), Qt::Key_F10);
  EXPECT_EQ(menu.count(), 0);
  QTest::keyClick(&view(), Qt::Key_F10, Qt::ShiftModifier);
  QTest::keyClick(&view(), Qt::Key_Menu);
  ASSERT_EQ(menu.count(), 2);
  const QPoint at = view().viewport()->mapFromGlobal(menu.at(0).at(0).toPoint());
  EXPECT_EQ(view().indexAt(at).row(), 1);
  EXPECT_EQ(users.selectedNames(), "ben");
}

}  // namespace
}  // namespace tolvik::ui
