// The chat bar and whisper bars as widgets: keys reach the core chat bar
// (Tab is not lost to focus handling, window accelerators still work), and
// the lines the whisper bars queue, through a real session.
#include "ui/chat_bar_widget.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDockWidget>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>
#include <memory>
#include <ostream>

#include "bot/chat_bot.h"
#include "support/session_fixture.h"
#include "ui/left_out_notice.h"
#include "ui/user_whisper_bars.h"
#include "ui/whisper_bar.h"
#include "ui/wire_text.h"

// Readable failure messages for QString comparisons.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace tolvik::ui {
namespace {

using namespace std::chrono_literals;
using tolvik::testing::SessionTest;

// A window holding the chat bar and one more focusable field, so that a Tab
// that escaped the switch would visibly move the focus.
class ChatBarWidgetTest : public SessionTest {
 protected:
  void SetUp() override {
    WriteBotIni();
    Open();
    auto* central = new QWidget(&window);
    auto* layout = new QVBoxLayout(central);
    other = new QLineEdit(central);
    bar = new ChatBarWidget(*doc, central);
    layout->addWidget(bar);
    layout->addWidget(other);
    window.setCentralWidget(central);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    bar->focusInput();
  }
  QLineEdit& input() { return bar->input(); }
  UserList& users() { return doc->Bot().Users(); }
  void Select(const char* name) { users().setSelected(users().findUser(name), true); }
  void Type(const QString& text) { QTest::keyClicks(&input(), text); }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(&input(), key, mods); }

  QMainWindow window;
  ChatBarWidget* bar = nullptr;
  QLineEdit* other = nullptr;
};

TEST_F(ChatBarWidgetTest, UpAndDownRecallHistoryWithPrefix) {
  for (const char* line : {"hello there", "other", "Help me"}) {
    Type(line);
    Key(Qt::Key_Return);
    EXPECT_EQ(input().text(), "");
  }
  Key(Qt::Key_Up);
  EXPECT_EQ(input().text(), "Help me");
  EXPECT_EQ(input().cursorPosition(), 7);
  Key(Qt::Key_Up);
  EXPECT_EQ(input().text(), "other");
  Key(Qt::Key_Down);
  Key(Qt::Key_Down);
  EXPECT_EQ(input().text(), "");  // onto the empty write slot

  // Typed letters are the prefix, in any case.
  Type("HE");
  Key(Qt::Key_Up);
  EXPECT_EQ(input().text(), "Help me");
  Key(Qt::Key_Up);
  EXPECT_EQ(input().text(), "hello there");
  Key(Qt::Key_Up);  // nothing older: the last match stays
  EXPECT_EQ(input().text(), "hello there");
  // Typing ends browsing: the next Up searches afresh with the new text.
  Type("!");
  EXPECT_FALSE(bar->chatBar().history().browsing());
  Key(Qt::Key_Escape);
  EXPECT_EQ(input().text(), "");
}

TEST_F(ChatBarWidgetTest, TabCompletesTheLastWordAndKeepsFocus) {
  for (const char* n : {"alice", "bob", "Albert"}) users().addUser(n, 0, "Home", "[STAR]");
  Type("hi AL");
  Key(Qt::Key_Tab);
  EXPECT_EQ(input().text(), "hi alice");
  EXPECT_TRUE(input().hasFocus());
  Key(Qt::Key_Tab);
  EXPECT_EQ(input().text(), "hi Albert");
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(input().text(), "hi alice");
  EXPECT_EQ(input().cursorPosition(), 8);
  EXPECT_TRUE(input().hasFocus());
  EXPECT_FALSE(other->hasFocus());

  // Esc resets completion: the next Tab takes a fresh prefix.
  Key(Qt::Key_Escape);
  Type("b");
  Key(Qt::Key_Tab);
  EXPECT_EQ(input().text(), "bob");
}

TEST_F(ChatBarWidgetTest, WindowAcceleratorsReachTheWindowAndInsertAtTheCaret) {
  for (const char* n : {"bob", "carol"}) users().addUser(n, 0, "Home", "");
  Select("bob");
  Select("carol");
  auto* names = new QAction(&window);
  names->setShortcut(QKeySequence(Qt::ALT | Qt::Key_N));
  window.addAction(names);
  QObject::connect(names, &QAction::triggered, bar, &ChatBarWidget::pasteSelectedNames);

  // Ctrl+A is the window's (select the visible chat text), not the field's select-all.
  int selectChat = 0;
  auto* selectAll = new QAction(&window);
  selectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  window.addAction(selectAll);
  QObject::connect(selectAll, &QAction::triggered, [&] { ++selectChat; });

  Type("to  now");
  Key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(selectChat, 1);
  EXPECT_FALSE(input().hasSelectedText());
  input().setCursorPosition(3);
  Key(Qt::Key_N, Qt::AltModifier);
  EXPECT_EQ(input().text(), "to bob, carol now");
  EXPECT_EQ(input().cursorPosition(), 13);
  Type("n");  // a plain letter is typing, not the accelerator
  EXPECT_EQ(input().text(), "to bob, caroln now");

  // A paste keeps its first line and at most 254 UTF-8 bytes, cut between
  // characters; what did not fit is shown in one notice, lines marked.
  bar->clearInput();
  display.clear();
  bar->insertText(QString(200, QChar(0x00E9)) + "\nsecond line");
  EXPECT_EQ(input().text(), QString(127, QChar(0x00E9)));
  EXPECT_EQ(bar->chatBar().text(), ToWire(QString(127, QChar(0x00E9))));
  EXPECT_TRUE(display.contains("Left out of the chat bar (one line of at most 254 bytes): " +
                               ToWire(QString(73, QChar(0x00E9))) + " \xE2\x8F\x8E second line"));
  EXPECT_EQ(display.texts().size(), 1u);

  // The same for text that arrives through the field itself (typing, a paste, a drop).
  display.clear();
  input().setText("first\r\nsecond\n\nthird");
  EXPECT_EQ(input().text(), "first");
  EXPECT_EQ(bar->chatBar().text(), "first");
  EXPECT_TRUE(display.contains("Left out of the chat bar (one line of at most 254 bytes): second \xE2\x8F\x8E third"));
  EXPECT_EQ(display.texts().size(), 1u);
}

// Typing on past the limit gives one notice for the whole burst, once the
// typing stops.
TEST_F(ChatBarWidgetTest, TypingPastTheLimitGivesOneNoticePerBurst) {
  display.clear();
  bar->insertText(QString(254, 'a'));  // exactly at the limit: nothing left out
  QTest::qWait(LeftOutNotice::kBurstMs + 200);
  EXPECT_TRUE(display.texts().empty());
  Type("xyz");
  EXPECT_EQ(input().text(), QString(254, 'a'));
  EXPECT_TRUE(display.texts().empty()) << "the burst is still going";
  QTest::qWait(LeftOutNotice::kBurstMs + 200);
  ASSERT_EQ(display.texts().size(), 1u);
  EXPECT_TRUE(display.contains("Left out of the chat bar (one line of at most 254 bytes): xyz"));
  Type("q");
  QTest::qWait(LeftOutNotice::kBurstMs + 200);
  EXPECT_EQ(display.texts().size(), 2u);
}

class ChatBarSessionWidgetTest : public ChatBarWidgetTest {
 protected:
  void SetUp() override {
    ChatBarWidgetTest::SetUp();
    LogIn();
    ASSERT_TRUE(WaitSent("/time\n"));
    for (const char* n : {"bob", "carol"}) users().addUser(n, 0, "Home", "");
  }
};

TEST_F(ChatBarSessionWidgetTest, WhisperLockAndCtrlEnter) {
  Select("bob");
  QTest::mouseClick(&bar->whisperLockButton(), Qt::LeftButton);
  EXPECT_TRUE(bar->chatBar().whisperLock);
  EXPECT_TRUE(bar->whisperLockButton().isChecked());
  EXPECT_TRUE(input().hasFocus());

  Type("psst");
  Key(Qt::Key_Return);
  ASSERT_TRUE(WaitSent("/m bob psst\n"));
  Type("to all");
  Key(Qt::Key_Return, Qt::ControlModifier);
  ASSERT_TRUE(WaitSent("to all\n"));
  EXPECT_EQ(Count("/m bob to all"), 0);
  EXPECT_TRUE(bar->chatBar().whisperLock);
  EXPECT_TRUE(bar->whisperLockButton().isChecked());

  bar->toggleWhisperLock();  // Ctrl+W
  EXPECT_FALSE(bar->chatBar().whisperLock);
  EXPECT_FALSE(bar->whisperLockButton().isChecked());
}

TEST_F(ChatBarSessionWidgetTest, WhisperBarSendsToSelectedAndTypedNames) {
  Select("bob");
  UserWhisperBars bars(window, bar->chatBar(), &display);
  QDockWidget* dock = bars.openWhisperBar(FromWire(users().selectedNames()));
  ASSERT_NE(dock, nullptr);
  EXPECT_EQ(dock->windowTitle(), "Whisper Bar");
  WhisperBar& whisper = *bars.whisperBar();
  EXPECT_EQ(whisper.namesField().text(), "bob");
  EXPECT_EQ(whisper.namesField().cursorPosition(), 3);

  whisper.namesField().setText("carol  erin ");
  QTest::keyClicks(&whisper.messageField(), "hey");
  QTest::keyClick(&whisper.messageField(), Qt::Key_Return);
  ASSERT_TRUE(WaitSent("/m erin hey\n"));
  EXPECT_EQ(Count("/m bob hey\n"), 1);
  EXPECT_EQ(Count("/m carol hey\n"), 1);
  EXPECT_EQ(Count("/m  "), 0);
  EXPECT_EQ(whisper.messageField().text(), "");
  EXPECT_EQ(whisper.namesField().text(), "carol  erin ");
  EXPECT_EQ(bar->chatBar().history().slot(0), "hey");

  // A second pasted line is shown, not sent and not lost.
  whisper.messageField().setText("one\nnot this");
  EXPECT_EQ(whisper.messageField().text(), "one");
  EXPECT_TRUE(display.contains("Left out of the whisper bar (one line of at most 254 bytes): not this"));
  whisper.messageField().clear();

  // Enter on an empty message sends nothing.
  QTest::keyClick(&whisper.messageField(), Qt::Key_Return);
  host.RunFor(*doc, 100ms);
  EXPECT_EQ(Count("/m bob"), 1);
}

TEST_F(ChatBarSessionWidgetTest, OneBarPerUserAndItsLinesFitWholeCharacters) {
  UserWhisperBars bars(window, bar->chatBar());
  QDockWidget* bob = bars.open("bob");
  ASSERT_NE(bob, nullptr);
  EXPECT_EQ(bob->windowTitle(), "bob");
  EXPECT_TRUE(bob->isFloating());
  EXPECT_EQ(bars.open("BOB"), bob);
  EXPECT_EQ(bars.find("Bob"), bob);
  EXPECT_EQ(bars.openCount(), 1);
  QDockWidget* longName = bars.open(QString(40, 'x'));
  EXPECT_EQ(longName->windowTitle(), QString(29, 'x'));
  EXPECT_EQ(bars.openCount(), 2);

  auto* field = qobject_cast<QLineEdit*>(bob->widget());
  ASSERT_NE(field, nullptr);
  QTest::keyClicks(field, "hello");
  QTest::keyClick(field, Qt::Key_Return);
  ASSERT_TRUE(WaitSent("/m bob hello\n"));
  EXPECT_EQ(field->text(), "");
  EXPECT_EQ(bar->chatBar().history().writeIndex(), 0);  // not remembered

  // The line with its LF fits 253 bytes, cut between characters.
  field->setText(QString(200, QChar(0x00E9)));
  QTest::keyClick(field, Qt::Key_Return);
  const std::string line = "/m bob " + ToWire(QString(122, QChar(0x00E9))) + "\n";
  ASSERT_EQ(line.size(), 252u);
  ASSERT_TRUE(WaitSent(line));

  // A closed bar is gone; opening the name again makes a new one.
  bob->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(bars.openCount(), 1);
  EXPECT_EQ(bars.find("bob"), nullptr);
  EXPECT_NE(bars.open("bob"), nullptr);
  EXPECT_EQ(bars.openCount(), 2);
}

}  // namespace
}  // namespace tolvik::ui
