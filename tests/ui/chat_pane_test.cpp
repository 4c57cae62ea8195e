#include "ui/chat_pane.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QUrl>

#include "ui/text_format_qt.h"

// Readable failure messages.
static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace tolvik::ui {
namespace {

// Collects what QDesktopServices would have opened.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void open(const QUrl& url) { opened.append(url); }
};

struct Fragment {
  QString text;
  QTextCharFormat format;
  int position;
};

std::vector<Fragment> Fragments(const QTextBlock& block) {
  std::vector<Fragment> out;
  for (auto it = block.begin(); !it.atEnd(); ++it)
    out.push_back({it.fragment().text(), it.fragment().charFormat(), it.fragment().position()});
  return out;
}

TextFormat Coloured(uint32_t colour) {
  TextFormat f = DefaultTextFormat();
  f.colour = colour;
  return f;
}

class ChatPaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pane_.resize(400, 200);
    pane_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane_));
  }

  void fill(int from, int to) {
    for (int i = from; i <= to; ++i) pane_.print(TextType::OthersText, "line %d", i);
  }

  QTextBlock topBlock() const { return pane_.cursorForPosition(QPoint(1, 1)).block(); }

  QString lastLine() const { return pane_.document()->lastBlock().text(); }

  // The middle of the first occurrence of `word` in the pane, in viewport coordinates.
  QPoint pointOf(const QString& word) const {
    const QTextCursor found = pane_.document()->find(word);
    QTextCursor mid(pane_.document());
    mid.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    return pane_.cursorRect(mid).center() + QPoint(1, 0);
  }

  ChatPane pane_;
};

TEST_F(ChatPaneTest, RecordMaskDecidesWhichAttributesAreSet) {
  TextFormat plain = DefaultTextFormat();
  plain.height = 240;
  plain.colour = 0x00336699;  // 0x00BBGGRR
  plain.effects = kCfeBold;   // not in the mask: left to the pane
  const QTextCharFormat f = CharFormatFor(plain);
  EXPECT_DOUBLE_EQ(f.fontPointSize(), 12.0);
  EXPECT_EQ(f.foreground().color(), QColor(0x99, 0x66, 0x33));
  EXPECT_FALSE(f.hasProperty(QTextFormat::FontWeight));
  EXPECT_FALSE(f.hasProperty(QTextFormat::FontFamilies));

  TextFormat full = plain;
  full.mask = 0xFFFFFFFFu;
  full.effects = kCfeItalic | kCfeStrikeOut;
  std::strcpy(full.faceName, "DejaVu Serif");
  const QTextCharFormat g = CharFormatFor(full);
  EXPECT_EQ(g.fontWeight(), QFont::Normal);
  EXPECT_TRUE(g.fontItalic());
  EXPECT_TRUE(g.fontStrikeOut());
  EXPECT_FALSE(g.fontUnderline());
  EXPECT_EQ(g.fontFamilies().toStringList(), QStringList{"DejaVu Serif"});
}

TEST_F(ChatPaneTest, UrlWordIsItsOwnClickableRunBetweenTheLinesOwnRuns) {
  pane_.print(TextType::OthersText, "%s", "<bob> see http://example.de/x now");  // OthersText: white
  pane_.append("<amy> visit WWW.EXAMPLE.COM", Coloured(0x000000FF));
  pane_.append("bad \xff byte", Coloured(0x000000FF));

  const QTextBlock first = pane_.document()->firstBlock();
  const auto runs = Fragments(first);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].text, "<bob> see ");
  EXPECT_EQ(runs[1].text, "http://example.de/x ");
  EXPECT_EQ(runs[2].text, "now ");
  EXPECT_TRUE(runs[1].format.isAnchor());
  EXPECT_EQ(pane_.linkAt(runs[1].position), "http://example.de/x");
  EXPECT_TRUE(runs[1].format.fontUnderline());
  for (int i : {0, 2}) {
    EXPECT_FALSE(runs[i].format.isAnchor());
    EXPECT_FALSE(runs[i].format.fontUnderline());
  }

  const auto second = Fragments(first.next());
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].format.foreground().color(), QColor(Qt::red));
  EXPECT_EQ(pane_.linkAt(second[1].position), "WWW.EXAMPLE.COM");

  // Invalid UTF-8 is shown as a replacement character; the line stays.
  EXPECT_EQ(lastLine(), QString::fromUtf8("bad \xEF\xBF\xBD byte "));
}

TEST_F(ChatPaneTest, CapRemovesOldestLinesAndKeepsTheUserSelection) {
  fill(1, ChatPane::kMaxLines);
  ASSERT_EQ(pane_.document()->blockCount(), ChatPane::kMaxLines);
  QTextCursor sel(pane_.document()->findBlockByNumber(9));  // "line 10 "
  sel.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  pane_.setTextCursor(sel);

  fill(ChatPane::kMaxLines + 1, ChatPane::kMaxLines + 3);
  EXPECT_EQ(pane_.document()->blockCount(), ChatPane::kMaxLines);
  EXPECT_EQ(pane_.document()->firstBlock().text(), "line 4 ");
  EXPECT_EQ(lastLine(), QString("line %1 ").arg(ChatPane::kMaxLines + 3));
  EXPECT_EQ(pane_.textCursor().selectedText(), "line 10 ");
}

TEST_F(ChatPaneTest, FollowsNewTextOnlyWhileOn) {
  QScrollBar* bar = pane_.verticalScrollBar();
  fill(1, 100);
  ASSERT_EQ(bar->value(), bar->maximum());
  fill(101, 110);
  EXPECT_EQ(bar->value(), bar->maximum()) << "following: the end stays in view";

  pane_.setFollowNewText(false);
  pane_.scrollToTop();
  for (int i = 0; i < 29; ++i) pane_.lineDown();
  EXPECT_EQ(topBlock().text(), "line 30 ");
  fill(111, 120);
  EXPECT_EQ(topBlock().text(), "line 30 ");
  // Still on the same text while lines leave at the top.
  fill(121, ChatPane::kMaxLines + 20);
  EXPECT_EQ(topBlock().text(), "line 30 ");

  pane_.setFollowNewText(true);
  pane_.scrollToBottom();
  fill(1, 5);
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(pane_.cursorForPosition(QPoint(1, pane_.viewport()->height() - 2)).block().text(), "line 5 ");
}

TEST_F(ChatPaneTest, ScrollCommandsAndSelectAllVisibleKeepTheirLines) {
  fill(1, 100);
  pane_.scrollToTop();
  for (int i = 0; i < 4; ++i) pane_.lineDown();
  pane_.pageDown();
  pane_.pageUp();
  const int value = pane_.verticalScrollBar()->value();
  const QTextBlock top = topBlock();
  ASSERT_EQ(top.text(), "line 5 ");
  pane_.scrollByWheel(2 * 120);  // turned away from the user: toward later lines
  EXPECT_EQ(topBlock().text(), "line 7 ");
  pane_.scrollByWheel(-2 * 120);
  const QTextBlock lastShown = pane_.cursorForPosition(QPoint(1, pane_.viewport()->height() - 1)).block();

  pane_.selectAllVisible();
  const QTextCursor sel = pane_.textCursor();
  EXPECT_EQ(sel.selectionStart(), top.position());
  EXPECT_EQ(sel.selectionEnd(), lastShown.next().position());
  EXPECT_EQ(pane_.verticalScrollBar()->value(), value);

  // With the end of the text in view the selection runs to the end.
  pane_.scrollToBottom();
  pane_.selectAllVisible();
  EXPECT_EQ(pane_.textCursor().selectionEnd(), pane_.document()->characterCount() - 1);
  EXPECT_TRUE(pane_.copyAndDeselect());
  EXPECT_TRUE(QApplication::clipboard()->text().endsWith("line 100 "));
  EXPECT_FALSE(pane_.textCursor().hasSelection());
}

// A selection reaching the end of the text (Select All Visible with the
// newest line in view) stays on the same text while lines arrive, also once
// lines leave at the top.
TEST_F(ChatPaneTest, SelectionToTheEndDoesNotGrowWithNewLines) {
  fill(1, ChatPane::kMaxLines - 2);
  pane_.scrollToBottom();
  pane_.selectAllVisible();
  const QString selected = pane_.textCursor().selectedText();
  ASSERT_TRUE(selected.endsWith(QString("line %1 ").arg(ChatPane::kMaxLines - 2)));
  const int value = pane_.verticalScrollBar()->value();

  fill(ChatPane::kMaxLines - 1, ChatPane::kMaxLines);  // up to the cap: nothing leaves
  EXPECT_EQ(pane_.textCursor().selectedText(), selected);
  fill(ChatPane::kMaxLines + 1, ChatPane::kMaxLines + 3);  // past it: three leave at the top
  EXPECT_EQ(pane_.textCursor().selectedText(), selected);
  EXPECT_GE(pane_.verticalScrollBar()->value(), value) << "following: the view went on down";
  EXPECT_EQ(pane_.verticalScrollBar()->value(), pane_.verticalScrollBar()->maximum());

  EXPECT_TRUE(pane_.copyAndDeselect());
  EXPECT_EQ(QApplication::clipboard()->text().split('\n').size(), selected.split(QChar::ParagraphSeparator).size());
}

// The hint shows in the empty pane and goes with the first line for good.
TEST_F(ChatPaneTest, HintShowsUntilTheFirstLine) {
  pane_.setHint("Not connected");
  EXPECT_EQ(pane_.placeholderText(), "Not connected");
  pane_.print(TextType::BotInfo, "first");
  EXPECT_TRUE(pane_.hint().isEmpty());
  pane_.clearChat();
  EXPECT_TRUE(pane_.hint().isEmpty()) << "an emptied pane does not bring the hint back";
}

TEST_F(ChatPaneTest, LogHoldsEachShownLineWithItsSpaceAndCrLf) {
  QTemporaryDir dir;
  const QString path = dir.filePath("chat.log");
  QSignalSpy changed(&pane_, &ChatPane::loggingChanged);
  pane_.print(TextType::BotInfo, "%s", "before logging");
  ASSERT_TRUE(pane_.startLog(path));
  pane_.print(TextType::OthersText, "<%s> %s", "bob", "hi http://x.org");
  pane_.print(TextType::BotInfo, "%s", "x");  // too short: neither shown nor logged
  pane_.append("caf\xc3\xa9", DefaultTextFormat());
  pane_.clearChat();  // clearing does not stop the log
  pane_.print(TextType::BotInfo, "%s", "after clear");
  pane_.stopLog();
  pane_.print(TextType::BotInfo, "%s", "after logging");

  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("<bob> hi http://x.org \r\ncaf\xc3\xa9 \r\nafter clear \r\n"));
  ASSERT_EQ(changed.size(), 2);
  EXPECT_TRUE(changed[0][0].toBool());
  EXPECT_FALSE(changed[1][0].toBool());
}

TEST_F(ChatPaneTest, FailedLogWriteStopsLoggingWithOneNotice) {
  QSignalSpy changed(&pane_, &ChatPane::loggingChanged);
  ASSERT_TRUE(pane_.startLog("/dev/full"));
  pane_.print(TextType::OthersText, "%s", "<bob> lost?");
  EXPECT_FALSE(pane_.isLogging());
  EXPECT_TRUE(lastLine().startsWith("File logging stopped: could not write to /dev/full"));
  pane_.print(TextType::OthersText, "%s", "<bob> next");
  EXPECT_EQ(lastLine(), "<bob> next ");

  // A log file removed while open.
  QTemporaryDir dir;
  const QString path = dir.filePath("gone.log");
  ASSERT_TRUE(pane_.startLog(path));
  QFile::remove(path);
  pane_.print(TextType::OthersText, "%s", "<bob> where to?");
  EXPECT_FALSE(pane_.isLogging());
  EXPECT_TRUE(lastLine().contains("the file was removed"));
  EXPECT_EQ(changed.size(), 4);

  // A file that cannot be created leaves logging off, with a notice.
  EXPECT_FALSE(pane_.startLog(dir.filePath("no/such/dir.log")));
  EXPECT_TRUE(lastLine().startsWith("Could not create the chat log"));
  EXPECT_EQ(changed.size(), 4);
}

TEST_F(ChatPaneTest, CancelledChooserLeavesLoggingOff) {
  QTimer::singleShot(0, [] {
    if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
  });
  EXPECT_FALSE(pane_.setLogging(true));
  EXPECT_FALSE(pane_.isLogging());
}

TEST_F(ChatPaneTest, LinkClicksOpenOnlyWebFtpAndMailLinks) {
  UrlRecorder recorder;
  const QStringList schemes{"http", "https", "ftp", "mailto", "javascript", "file"};
  for (const QString& scheme : schemes) QDesktopServices::setUrlHandler(scheme, &recorder, "open");

  pane_.print(TextType::OthersText, "%s", "<a> go www.example.com/a now");
  pane_.print(TextType::OthersText, "%s", "<b> mail bob@example.org");
  pane_.print(TextType::OthersText, "%s", "<c> Ftp://files.example.net/ and mailto:amy@example.com");
  pane_.print(TextType::OthersText, "%s", "<d> https://example.org/@amy javascript:alert(1)//.com file:///etc/x.org");

  QTest::mouseMove(pane_.viewport(), pointOf("www.example"));
  EXPECT_EQ(pane_.viewport()->cursor().shape(), Qt::PointingHandCursor);
  QTest::mouseClick(pane_.viewport(), Qt::LeftButton, {}, pointOf("www.example"));
  EXPECT_EQ(pane_.textCursor().selectedText(), "www.example.com/a");
  QTest::mouseMove(pane_.viewport(), pointOf("now"));
  EXPECT_EQ(pane_.viewport()->cursor().shape(), Qt::IBeamCursor);

  for (const char* word : {"bob@", "files.", "amy@example.com", "/@amy", "alert", "etc"}) {
    QTest::mouseClick(pane_.viewport(), Qt::LeftButton, {}, pointOf(word));
  }
  for (const QString& scheme : schemes) QDesktopServices::unsetUrlHandler(scheme);

  const QStringList expected{"http://www.example.com/a", "mailto:bob@example.org", "ftp://files.example.net/",
                             "mailto:amy@example.com", "https://example.org/@amy"};
  QStringList opened;
  for (const QUrl& url : recorder.opened) opened.append(url.toString());
  EXPECT_EQ(opened, expected);
  EXPECT_TRUE(lastLine().startsWith("Link not opened")) << lastLine().toStdString();
  EXPECT_TRUE(lastLine().contains("file:///etc/x.org"));
}

TEST_F(ChatPaneTest, LinksPassingThroughLeaveNoFormatBehindAndEachOpensItsOwnTarget) {
  auto link = [this](int i) { pane_.print(TextType::OthersText, "<u> see http://example.org/%d now", i); };
  for (int i = 1; i <= ChatPane::kMaxLines + 1; ++i) link(i);
  const qsizetype formats = pane_.document()->allFormats().size();
  // A full pane's worth of new targets, every old one leaving at the top.
  for (int i = ChatPane::kMaxLines + 2; i <= 2 * ChatPane::kMaxLines; ++i) link(i);
  EXPECT_EQ(pane_.document()->allFormats().size(), formats);
  EXPECT_EQ(pane_.document()->blockCount(), ChatPane::kMaxLines);

  // Neighbouring URL words share their format and still each have their own target.
  pane_.print(TextType::OthersText, "%s", "<u> http://a.example/1 www.example.com/b end");
  const QTextBlock last = pane_.document()->lastBlock();
  const int at = last.position();
  EXPECT_EQ(pane_.linkAt(at + 4), "http://a.example/1");   // its first character
  EXPECT_EQ(pane_.linkAt(at + 21), "http://a.example/1");  // its last
  EXPECT_EQ(pane_.linkAt(at + 22), "http://a.example/1");  // the space after it
  EXPECT_EQ(pane_.linkAt(at + 23), "www.example.com/b");
  EXPECT_EQ(pane_.linkAt(at + 40), "www.example.com/b");
  EXPECT_EQ(pane_.linkAt(at + 42), "");  // "end"
  EXPECT_EQ(pane_.linkAt(at + 1), "");

  UrlRecorder recorder;
  QDesktopServices::setUrlHandler("http", &recorder, "open");
  QTest::mouseClick(pane_.viewport(), Qt::LeftButton, {}, pointOf("example.com/b"));
  EXPECT_EQ(pane_.textCursor().selectedText(), "www.example.com/b");
  QTest::mouseClick(pane_.viewport(), Qt::LeftButton, {}, pointOf("a.example/1"));
  EXPECT_EQ(pane_.textCursor().selectedText(), "http://a.example/1");
  QTest::mouseClick(pane_.viewport(), Qt::LeftButton, {}, pointOf("example.org/9999"));
  QDesktopServices::unsetUrlHandler("http");
  EXPECT_EQ(recorder.opened,
            (QList<QUrl>{QUrl("http://www.example.com/b"), QUrl("http://a.example/1"), QUrl("http://example.org/9999")}));
}

TEST_F(ChatPaneTest, UsersCannotTurnALineOrALinkAround) {
  // "<\u202EX> olleh <renwo" would read "<owner> hello <X".
  pane_.print(TextType::OthersText, "<%s> %s", "\xE2\x80\xAEX", "olleh <renwo");
  EXPECT_EQ(lastLine(), "<X> olleh <renwo ");
  EXPECT_EQ(pane_.document()->lastBlock().blockFormat().layoutDirection(), Qt::LeftToRight);
  // A name in a right-to-left script does not make the line right-to-left.
  pane_.print(TextType::OthersText, "<%s> %s", "\xD7\x90\xD7\x91", "1 2 3");
  EXPECT_EQ(pane_.document()->lastBlock().blockFormat().layoutDirection(), Qt::LeftToRight);

  UrlRecorder recorder;
  const QStringList schemes{"http", "mailto"};
  for (const QString& scheme : schemes) QDesktopServices::setUrlHandler(scheme, &recorder, "open");
  pane_.print(TextType::OthersText, "%s", "<m> http://good.com/\xE2\x80\xAEmoc.live");
  pane_.print(TextType::OthersText, "%s", "<n> mailto:a@b.com?attach=/etc/x.com/");
  pane_.print(TextType::OthersText, "%s", "<o> ?attach=/root/.ssh/id_rsa@x.com/");
  QTest::mouseClick(pane_.viewport(), Qt::LeftButton, {}, pointOf("good.com"));
  EXPECT_EQ(pane_.textCursor().selectedText(), "http://good.com/moc.live");  // shown as it opens
  QTest::mouseClick(pane_.viewport(), Qt::LeftButton, {}, pointOf("a@b.com"));
  QTest::mouseClick(pane_.viewport(), Qt::LeftButton, {}, pointOf("id_rsa"));
  for (const QString& scheme : schemes) QDesktopServices::unsetUrlHandler(scheme);

  QStringList opened;
  for (const QUrl& url : recorder.opened) opened.append(url.toString());
  EXPECT_EQ(opened, (QStringList{"http://good.com/moc.live", "mailto:a@b.com"}));
  EXPECT_TRUE(lastLine().startsWith("Link not opened")) << lastLine().toStdString();
}

TEST_F(ChatPaneTest, ContextMenuOffersCopyAndPasteOnlyWithASelection) {
  pane_.print(TextType::OthersText, "%s", "<bob> hello there");
  QSignalSpy focus(&pane_, &ChatPane::focusChatBarRequested);
  QSignalSpy paste(&pane_, &ChatPane::pasteToChatBarRequested);
  QStringList items;
  QList<bool> enabled;
  auto openMenu = [&](const QString& pick) {
    QTimer::singleShot(0, [&, pick] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      items.clear();
      enabled.clear();
      QAction* chosen = nullptr;
      for (QAction* a : menu->actions()) {
        items.append(a->text());
        enabled.append(a->isEnabled());
        if (a->text() == pick) chosen = a;
      }
      if (chosen) {
        menu->setActiveAction(chosen);
        QTest::keyClick(menu, Qt::Key_Return);
      } else {
        menu->close();
      }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), pane_.viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(pane_.viewport(), &event);
  };

  openMenu({});
  EXPECT_EQ(items, (QStringList{"Copy to Clipboard", "Paste to Chat Bar"}));
  EXPECT_EQ(enabled, (QList<bool>{false, false}));
  EXPECT_EQ(focus.size(), 1);

  QTextCursor sel = pane_.document()->find("hello");
  pane_.setTextCursor(sel);
  openMenu("Paste to Chat Bar");
  EXPECT_EQ(enabled, (QList<bool>{true, true}));
  ASSERT_EQ(paste.size(), 1);
  EXPECT_EQ(paste[0][0].toString(), "hello");
  EXPECT_EQ(QApplication::clipboard()->text(), "hello");
  EXPECT_EQ(focus.size(), 2);

  // A left click in the pane also hands focus back.
  QTest::mouseClick(pane_.viewport(), Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(focus.size(), 3);
}

}  // namespace
}  // namespace tolvik::ui

#include "chat_pane_test.moc"
