// The caret rests (stops blinking) once nobody has typed or clicked for the
// rest time, and blinks again at the next key or click.
#include "ui/caret_rest.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>

namespace tolvik::ui {
namespace {

TEST(CaretRest, RestsAfterTheQuietTimeAndWakesAtTheNextKeyOrClick) {
  const int blink = QApplication::cursorFlashTime();
  ASSERT_GT(blink, 0);
  QLineEdit edit;
  edit.show();
  edit.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
  {
    CaretRest rest(nullptr, 200);
    EXPECT_FALSE(rest.resting());
    EXPECT_TRUE(QTest::qWaitFor([&] { return rest.resting(); }, 10000));
    EXPECT_EQ(QApplication::cursorFlashTime(), 0);

    QTest::keyClick(&edit, Qt::Key_A);
    EXPECT_FALSE(rest.resting());
    EXPECT_EQ(QApplication::cursorFlashTime(), blink);
    EXPECT_EQ(edit.text(), "a");  // the key still reaches the widget

    EXPECT_TRUE(QTest::qWaitFor([&] { return rest.resting(); }, 10000));
    QTest::mouseClick(&edit, Qt::LeftButton);
    EXPECT_EQ(QApplication::cursorFlashTime(), blink);
    EXPECT_TRUE(QTest::qWaitFor([&] { return rest.resting(); }, 10000));
  }
  // Gone while resting: the blink is back as it was.
  EXPECT_EQ(QApplication::cursorFlashTime(), blink);
}

TEST(CaretRest, TypingKeepsTheCaretAwake) {
  QLineEdit edit;
  edit.show();
  edit.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
  CaretRest rest(nullptr, 1000);
  // Keys at shorter intervals than the rest time, for longer than it: it never rests.
  for (int i = 0; i < 8; ++i) {
    EXPECT_FALSE(QTest::qWaitFor([&] { return rest.resting(); }, 200));
    QTest::keyClick(&edit, Qt::Key_B);
    EXPECT_FALSE(rest.resting());
  }
  EXPECT_EQ(edit.text(), "bbbbbbbb");
}

}  // namespace
}  // namespace tolvik::ui
