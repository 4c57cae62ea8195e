// The window by keyboard: Ctrl+F finds in the chat, Ctrl+Tab walks the
// docks, every control has a name for screen readers; and the chat's
// optional times.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QToolButton>
#include <QTreeView>

#include "support/temp_dir.h"
#include "ui/chat_bar_widget.h"
#include "ui/chat_pane.h"
#include "ui/find_bar.h"
#include "ui/main_window.h"
#include "ui/user_list_panel.h"
#include "ui/user_list_view.h"

namespace tolvik::ui {
namespace {

using testing::TempDir;

class WindowKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<MainWindow>(dir_.path().string());
    window_->resize(900, 600);
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }
  QWidget* focus() const { return QApplication::focusWidget(); }
  QAction* viewAction(const QString& text) const {
    for (QAction* a : window_->findChildren<QAction*>())
      if (a->text().remove('&') == text) return a;
    return nullptr;
  }

  TempDir dir_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(WindowKeysTest, CtrlFFindsNextAndPreviousWrappingAndHighlightsEveryMatch) {
  ChatPane* pane = window_->chatPane();
  for (const char* line : {"alpha one", "beta", "alpha two", "gamma", "alpha three"})
    pane->print(TextType::OthersText, "%s", line);
  QTest::keyClick(focus(), Qt::Key_F, Qt::ControlModifier);
  FindBar* bar = window_->findBar();
  ASSERT_TRUE(bar->isVisible());
  EXPECT_EQ(focus(), bar->field());
  QTest::keyClicks(bar->field(), "ALPHA");
  EXPECT_EQ(bar->matchCount(), 3);
  EXPECT_EQ(pane->extraSelections().size(), 3);
  auto selectedLine = [&] { return pane->textCursor().block().text(); };
  EXPECT_EQ(selectedLine(), "alpha one ");
  QTest::keyClick(bar->field(), Qt::Key_Return);
  EXPECT_EQ(selectedLine(), "alpha two ");
  QTest::keyClick(bar->field(), Qt::Key_Return);
  EXPECT_EQ(selectedLine(), "alpha three ");
  QTest::keyClick(bar->field(), Qt::Key_Return);  // past the last: wraps to the first
  EXPECT_EQ(selectedLine(), "alpha one ");
  QTest::keyClick(bar->field(), Qt::Key_Return, Qt::ShiftModifier);  // before the first: the last
  EXPECT_EQ(selectedLine(), "alpha three ");
  EXPECT_EQ(pane->textCursor().selectedText(), "alpha");

  QTest::keyClicks(bar->field(), "x");
  EXPECT_EQ(bar->matchCount(), 0);
  EXPECT_TRUE(pane->extraSelections().isEmpty());
  QTest::keyClick(bar->field(), Qt::Key_Escape);
  EXPECT_FALSE(bar->isVisible());
  EXPECT_EQ(focus(), &window_->chatBarWidget()->input());
}

TEST_F(WindowKeysTest, TheOpenedFindFieldHasAWorkingClearButton) {
  ChatPane* pane = window_->chatPane();
  pane->print(TextType::OthersText, "%s", "alpha");
  QTest::keyClick(focus(), Qt::Key_F, Qt::ControlModifier);
  FindBar* bar = window_->findBar();
  ASSERT_TRUE(bar->isVisible());
  EXPECT_TRUE(bar->field()->isClearButtonEnabled());
  QTest::keyClicks(bar->field(), "alp");
  ASSERT_EQ(bar->matchCount(), 1);
  QToolButton* clear = nullptr;
  for (QToolButton* button : bar->field()->findChildren<QToolButton*>())
    if (button->isVisible() && button->isEnabled()) clear = button;
  ASSERT_NE(clear, nullptr);
  QTest::mouseClick(clear, Qt::LeftButton);
  EXPECT_TRUE(bar->field()->text().isEmpty());
  EXPECT_EQ(bar->matchCount(), 0);
  EXPECT_TRUE(pane->extraSelections().isEmpty());
}

TEST_F(WindowKeysTest, CtrlTabWalksTheDocksAndTabStillCompletes) {
  QLineEdit* input = &window_->chatBarWidget()->input();
  QTreeView* list = &window_->userListPanel()->view();
  ASSERT_EQ(focus(), input);
  QTest::keyClick(focus(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(focus(), list);
  QTest::keyClick(focus(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(focus(), input) << "wraps to the chat bar";
  QTest::keyClick(focus(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(focus(), list);

  // A hidden dock is passed over.
  window_->findChild<QDockWidget*>("userListDock")->hide();
  input->setFocus();
  QTest::keyClick(focus(), Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(focus(), input);

  // Plain Tab stays in the chat bar (name completion).
  QTest::keyClick(input, Qt::Key_Tab);
  EXPECT_EQ(focus(), input);
}

TEST_F(WindowKeysTest, EveryControlHasAnAccessibleName) {
  window_->findBar()->open();
  QStringList unnamed;
  for (QWidget* w : window_->findChildren<QWidget*>()) {
    if (!w->isVisible() || w->focusPolicy() == Qt::NoFocus) continue;
    if (qobject_cast<QAbstractButton*>(w) && !qobject_cast<QAbstractButton*>(w)->text().isEmpty()) continue;
    if (w->accessibleName().isEmpty()) unnamed << (w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName());
  }
  EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
}

TEST_F(WindowKeysTest, TimesShowOnlyWhenSwitchedOnAndReachTheLogOnlyByTheirOwnSwitch) {
  ChatPane* pane = window_->chatPane();
  QAction* shown = viewAction("Show Timestamps");
  QAction* logged = viewAction("Timestamps in Log");
  ASSERT_NE(shown, nullptr);
  ASSERT_NE(logged, nullptr);
  EXPECT_FALSE(shown->isChecked());
  EXPECT_FALSE(logged->isChecked());
  ASSERT_TRUE(pane->startLog(QString::fromStdString(dir_.file("chat.log"))));
  pane->print(TextType::OthersText, "plain");
  shown->trigger();
  pane->print(TextType::OthersText, "stamped");
  logged->trigger();
  pane->print(TextType::OthersText, "both");
  pane->stopLog();
  shown->trigger();
  logged->trigger();

  const QRegularExpression stamp("^\\[\\d\\d:\\d\\d:\\d\\d\\] ");
  QTextBlock block = pane->document()->firstBlock();
  EXPECT_EQ(block.text(), "plain ");
  EXPECT_TRUE(stamp.match(block.next().text()).hasMatch()) << block.next().text().toStdString();
  QFile log(QString::fromStdString(dir_.file("chat.log")));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(log.readAll()).split("\r\n", Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], "plain ");
  EXPECT_EQ(lines[1], "stamped ") << "the log keeps its format while only the pane shows times";
  EXPECT_TRUE(stamp.match(lines[2]).hasMatch());
  EXPECT_TRUE(lines[2].endsWith("both "));
}

}  // namespace
}  // namespace tolvik::ui
