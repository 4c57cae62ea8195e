// The chat pane under bursts: lines that arrive together enter as one edit,
// with the cap, the selection and the view kept as for single lines; and the
// window reads what a server sends at once in one go.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTime>
#include <string>

#include "app/document.h"
#include "bot/chat_bot.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"
#include "ui/chat_pane.h"
#include "ui/main_window.h"

namespace tolvik::ui {
namespace {

class ChatPaneBurstTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pane_.resize(400, 200);
    pane_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane_));
  }

  void fill(int from, int to) {
    for (int i = from; i <= to; ++i) pane_.print(TextType::OthersText, "line %d", i);
  }
  QString line(int i) const { return QString("line %1 ").arg(i); }
  QString firstLine() const { return pane_.document()->firstBlock().text(); }
  QString lastLine() const { return pane_.document()->lastBlock().text(); }
  QTextBlock topBlock() const { return pane_.cursorForPosition(QPoint(1, 1)).block(); }

  ChatPane pane_;
};

TEST_F(ChatPaneBurstTest, ABatchEntersAtItsEndInOneEditAndOneTrim) {
  constexpr int kMax = ChatPane::kMaxLines;
  fill(1, kMax);
  QTextCursor sel(pane_.document()->findBlockByNumber(9));  // "line 10 "
  sel.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  pane_.setTextCursor(sel);
  pane_.scrollToBottom();
  QSignalSpy shown(&pane_, &ChatPane::lineShown);
  QSignalSpy edits(pane_.document(), &QTextDocument::contentsChange);

  pane_.beginBatch();
  pane_.beginBatch();  // pairs nest
  fill(kMax + 1, kMax + 3);
  pane_.endBatch();
  EXPECT_EQ(lastLine(), line(kMax)) << "the inner end does not let the lines in";
  EXPECT_EQ(shown.size(), 3) << "announced as they arrive";
  EXPECT_EQ(shown[0][0].toString(), QString("line %1").arg(kMax + 1));
  pane_.endBatch();

  EXPECT_EQ(edits.size(), 2) << "one edit for the lines, one for the trim";
  EXPECT_EQ(pane_.document()->blockCount(), kMax);
  EXPECT_EQ(firstLine(), line(4));
  EXPECT_EQ(lastLine(), line(kMax + 3));
  EXPECT_EQ(pane_.textCursor().selectedText(), "line 10 ");
  EXPECT_EQ(pane_.verticalScrollBar()->value(), pane_.verticalScrollBar()->maximum());

  // An unmatched end changes nothing; lines outside a batch go in one by one.
  pane_.endBatch();
  fill(1, 1);
  EXPECT_EQ(lastLine(), line(1));
}

TEST_F(ChatPaneBurstTest, EachLineOfABatchKeepsItsFormatLinksAndTimeOfArrival) {
  auto coloured = [](uint32_t colour) {
    TextFormat f = DefaultTextFormat();
    f.colour = colour;
    return f;
  };
  const TextFormat red = coloured(0x000000FF);
  const TextFormat green = coloured(0x0000FF00);
  const TextFormat blue = coloured(0x00FF0000);
  pane_.setTimestamps(true);
  const QTime before = QTime::currentTime();
  pane_.beginBatch();
  pane_.append("one", red);
  pane_.append("two", green);
  pane_.append("three see http://example.org/3", red);
  pane_.append("", blue);
  pane_.append("five", green);
  pane_.endBatch();
  const QTime after = QTime::currentTime();

  struct Expected {
    const char* text;
    QColor colour;
  };
  const Expected expected[] = {{"one ", Qt::red}, {"two ", Qt::green}, {"three see http://example.org/3 ", Qt::red},
                               {" ", Qt::blue}, {"five ", Qt::green}};
  QTextBlock block = pane_.document()->firstBlock();
  for (const Expected& e : expected) {
    ASSERT_TRUE(block.isValid());
    const QString text = block.text();
    // "[HH:mm:ss] " from the time the line arrived.
    const QTime stamp = QTime::fromString(text.left(10), "[HH:mm:ss]");
    ASSERT_TRUE(stamp.isValid()) << text.toStdString();
    EXPECT_GE(stamp, QTime(before.hour(), before.minute(), before.second()));
    EXPECT_LE(stamp, after);
    EXPECT_EQ(text.mid(11), e.text);
    auto fragment = block.begin();
    ++fragment;  // past the time
    EXPECT_EQ(fragment.fragment().charFormat().foreground().color(), e.colour) << e.text;
    block = block.next();
  }
  EXPECT_FALSE(block.isValid());
  QTextBlock link = pane_.document()->findBlockByNumber(2);
  std::vector<QString> anchors;
  for (auto it = link.begin(); !it.atEnd(); ++it)
    if (it.fragment().charFormat().isAnchor()) anchors.push_back(pane_.linkAt(it.fragment().position()));
  EXPECT_EQ(anchors, std::vector<QString>{"http://example.org/3"});
}

// More lines in one batch than the pane keeps: exactly the newest kMaxLines stay.
TEST_F(ChatPaneBurstTest, ABatchAtAndOnePastTheCap) {
  constexpr int kMax = ChatPane::kMaxLines;
  fill(1, 10);
  pane_.beginBatch();
  for (int i = 1; i <= kMax; ++i) pane_.print(TextType::OthersText, "new %d", i);
  pane_.endBatch();
  EXPECT_EQ(pane_.document()->blockCount(), kMax);
  EXPECT_EQ(firstLine(), "new 1 ");
  EXPECT_EQ(lastLine(), QString("new %1 ").arg(kMax));

  pane_.beginBatch();
  for (int i = 1; i <= kMax + 1; ++i) pane_.print(TextType::OthersText, "next %d", i);
  pane_.endBatch();
  EXPECT_EQ(pane_.document()->blockCount(), kMax);
  EXPECT_EQ(firstLine(), "next 2 ");
  EXPECT_EQ(lastLine(), QString("next %1 ").arg(kMax + 1));
  EXPECT_EQ(pane_.verticalScrollBar()->value(), pane_.verticalScrollBar()->maximum());
}

TEST_F(ChatPaneBurstTest, NotFollowingTheViewStaysOnItsTextWhileABatchTrimsAbove) {
  fill(1, ChatPane::kMaxLines);
  pane_.setFollowNewText(false);
  pane_.scrollToTop();
  for (int i = 0; i < 99; ++i) pane_.lineDown();
  ASSERT_EQ(topBlock().text(), line(100));
  pane_.beginBatch();
  fill(ChatPane::kMaxLines + 1, ChatPane::kMaxLines + 50);
  pane_.endBatch();
  EXPECT_EQ(firstLine(), line(51));
  EXPECT_EQ(topBlock().text(), line(100));
}

// A dialog's event loop running inside a batch shows what came so far, once.
TEST_F(ChatPaneBurstTest, AnEventLoopInsideABatchShowsItsLines) {
  fill(1, 5);
  pane_.beginBatch();
  fill(6, 7);
  QApplication::processEvents();
  EXPECT_EQ(lastLine(), line(7));
  fill(8, 8);
  pane_.endBatch();
  EXPECT_EQ(pane_.document()->blockCount(), 8);
  EXPECT_EQ(lastLine(), line(8));
}

// A server's burst, sent as one write, reaches the pane complete and in order,
// in a few edits rather than one per read or per line.
TEST(ChatPaneBurstWindow, ABurstFromTheServerEntersInFewEdits) {
  testing::ScriptedGateway gateway;
  testing::TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=" + gateway.address() +
                           "\r\nChannel=Home\r\nAutoLogin=1\r\n");
  MainWindow window(dir.path().string());
  window.show();
  window.document().Bot().Queue().SetPause([](int) {});
  window.start();
  ASSERT_TRUE(gateway.waitForClients(1));
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.document().State() == WaitingForLoginPrompt; }, 5000));
  gateway.send("Username: Password: \r\nPlease enter your name and password.\r\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return gateway.received().find("acct\r\nsecret\r\n") != std::string::npos; }));
  gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n1001 USER acct 0012 [CHAT]\r\n");
  QTextDocument* chat = window.chatPane()->document();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.document().Bot().Users().userCount() == 1; }, 5000));

  constexpr int kLines = 1000;  // about 60 KiB
  std::string burst;
  for (int i = 0; i < kLines; ++i) {
    burst += "1005 TALK user" + std::to_string(i % 50) + " 0000 \"line " + std::to_string(i) +
             " of a burst, long enough to fill the reads\"\r\n";
  }
  QSignalSpy edits(chat, &QTextDocument::contentsChange);
  const int before = chat->blockCount();
  ASSERT_TRUE(gateway.send(burst));
  ASSERT_TRUE(QTest::qWaitFor([&] { return chat->lastBlock().text().contains(QString("line %1 ").arg(kLines - 1)); },
                              10000))
      << chat->lastBlock().text().toStdString();
  ASSERT_EQ(chat->blockCount(), before + kLines);
  for (int i : {0, 1, kLines / 2, kLines - 2}) {
    const QString text = chat->findBlockByNumber(before + i).text();
    EXPECT_TRUE(text.startsWith(QString("<user%1> line %2 of").arg(i % 50).arg(i))) << text.toStdString();
  }
  // Read 4 KiB at a time and shown read by read this would take 15 edits or more.
  EXPECT_LT(edits.size(), 8);
}

}  // namespace
}  // namespace tolvik::ui
