#include "ui/chat_pane.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTime>
#include <QUrl>
#include <algorithm>
#include <cstring>
#include <string_view>

#include "display/url_runs.h"
#include "ui/chat_log.h"
#include "ui/text_format_qt.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

constexpr int kWheelStep = 120;
constexpr size_t kNoticeBytes = 300;

// Link runs carry one of these in place of their target, so the document
// holds one link format per text format rather than one per target (it
// never gives a format back, even after its text left the pane). The target
// is read from the text: a URL word's own word, or a whole run of a format
// that makes links.
constexpr char kUrlWordLink[] = "tolvik:url-word";
constexpr char kRunLink[] = "tolvik:run";

// What a clicked link opens (the rules live in the core); empty when the
// link must not be opened.
QUrl LinkTarget(const QString& linkText) {
  const std::string target = tolvik::LinkTarget(ToWire(linkText));
  if (target.empty()) return {};
  QUrl url(FromWire(target), QUrl::TolerantMode);
  return url.isValid() ? url : QUrl();
}

std::string NoticeText(const QString& text) { return ToWire(text, kNoticeBytes); }

QString StampText(const QTime& time) { return time.toString(QStringLiteral("[HH:mm:ss] ")); }

}  // namespace

ChatPane::ChatPane(QWidget* parent) : QPlainTextEdit(parent), log_(std::make_unique<ChatLog>()) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  viewport()->setMouseTracking(true);
  // Keyboard focus stays in the chat bar; the window's actions (Select All
  // Visible, Copy, the scroll keys) reach the pane from there, and the pane
  // cannot take Ctrl+A or Ctrl+C away from them.
  setFocusPolicy(Qt::NoFocus);

  // Black background; the selection looks the same with or without focus,
  // since focus normally rests in the chat bar.
  QPalette pal = palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    pal.setColor(group, QPalette::Base, Qt::black);
    pal.setColor(group, QPalette::Text, Qt::white);
    pal.setColor(group, QPalette::Highlight, palette().color(QPalette::Active, QPalette::Highlight));
    pal.setColor(group, QPalette::HighlightedText, palette().color(QPalette::Active, QPalette::HighlightedText));
    pal.setColor(group, QPalette::PlaceholderText, QColor(0xA0, 0xA0, 0xA0));
  }
  setPalette(pal);
}

ChatPane::~ChatPane() = default;

void ChatPane::append(const char* text, const TextFormat& format) {
  // The hint is for an empty pane only; once chat begins it has done its job.
  if (!placeholderText().isEmpty()) setPlaceholderText(QString());
  const size_t size = std::strlen(text) + 1;  // with the trailing space
  const bool stamped = timestamps_ || log_timestamps_;
  const QTime now = stamped ? QTime::currentTime() : QTime();
  std::string logError;
  bool logFailed = false;
  if (log_->isOpen()) {
    std::string line = log_timestamps_ ? StampText(now).toStdString() : std::string();
    line.append(text).push_back(' ');
    logFailed = !log_->write(line, logError);
  }

  // Lines of a batch mostly share a few formats: each is kept once.
  std::vector<TextFormat>& formats = pending_.formats;
  const auto known = std::find(formats.rbegin(), formats.rend(), format);
  const bool is_new = known == formats.rend();
  const auto format_index = static_cast<uint32_t>(is_new ? formats.size() : formats.rend() - known - 1);
  if (is_new) formats.push_back(format);
  pending_.lines.push_back({static_cast<uint32_t>(pending_.text.size()), static_cast<uint32_t>(size), format_index,
                            timestamps_ ? now.msecsSinceStartOfDay() : -1});
  pending_.text.append(text).push_back(' ');
  static const QMetaMethod shown = QMetaMethod::fromSignal(&ChatPane::lineShown);
  if (batch_depth_ == 0) {
    flushPending();
    if (isSignalConnected(shown)) emit lineShown(FromWire(text));
  } else {
    if (isSignalConnected(shown)) emit lineShown(FromWire(text));
    // Runs only when an event loop turns before the batch ends.
    if (!flush_posted_) {
      flush_posted_ = true;
      QMetaObject::invokeMethod(
          this,
          [this] {
            flush_posted_ = false;
            flushPending();
          },
          Qt::QueuedConnection);
    }
  }

  if (logFailed) {
    // The log is closed now, so the notice is shown once and not logged.
    emit loggingChanged(false);
    print(TextType::BotInfo, "File logging stopped: could not write to %s: %s", log_->path().c_str(),
          logError.c_str());
  }
}

void ChatPane::endBatch() {
  if (batch_depth_ > 0 && --batch_depth_ == 0) flushPending();
}

void ChatPane::flushPending() {
  if (pending_.lines.empty()) return;
  Batch batch;
  std::swap(batch, pending_);
  insertLines(batch);
}

void ChatPane::insertLines(const Batch& batch) {
  const std::vector<PendingLine>& lines = batch.lines;
  QScrollBar* bar = verticalScrollBar();
  const int oldValue = bar->value();
  // A selection that reaches the end of the text would take in the new lines.
  const QTextCursor before = textCursor();
  const bool hadSelection = before.hasSelection();
  const int selAnchor = before.anchor();
  const int selPosition = before.position();
  const int fromBottom = bar->maximum() - oldValue;

  // One plain and one link format per text format of the batch, and one for
  // URL words: links carry a marker, not their target (see kUrlWordLink).
  struct Look {
    QTextCharFormat plain;
    QTextCharFormat link;  // for a record that makes links
    bool isLink;
  };
  auto lookOf = [](const TextFormat& record) {
    Look look{CharFormatFor(record), {}, IsLinkFormat(record)};
    if (look.isLink) {
      look.link = look.plain;
      look.link.setAnchor(true);
      look.link.setAnchorHref(QString::fromLatin1(kRunLink));
    }
    return look;
  };
  Look url = lookOf(ChatDisplay::format(TextType::URLs));
  url.link.setAnchorHref(QString::fromLatin1(kUrlWordLink));
  std::vector<Look> looks;
  looks.reserve(batch.formats.size());
  for (const TextFormat& record : batch.formats) looks.push_back(lookOf(record));
  // More lines than the pane keeps: the oldest of them would leave at once.
  const size_t skip = lines.size() > static_cast<size_t>(kMaxLines) ? lines.size() - kMaxLines : 0;

  // Cursor moves inside an edit block and by position only: movePosition()
  // and moves outside an edit block lay the block out first. The whole batch
  // is one edit, so the pane lays out only what is in view afterwards.
  QTextCursor cursor(document());
  cursor.beginEditBlock();
  cursor.setPosition(document()->characterCount() - 1);
  for (size_t i = skip; i < lines.size(); ++i) {
    const PendingLine& pending = lines[i];
    if (!document()->isEmpty()) cursor.insertBlock();
    // Every line reads left to right, whatever script a user's name starts with.
    QTextBlockFormat block = cursor.blockFormat();
    if (block.layoutDirection() != Qt::LeftToRight) {
      block.setLayoutDirection(Qt::LeftToRight);
      cursor.setBlockFormat(block);
    }
    const Look& line = looks[pending.format];
    if (pending.stamp_ms >= 0) {
      QTextCharFormat stampFormat = line.plain;
      stampFormat.setForeground(QColor(0x90, 0x90, 0x90));
      stampFormat.setAnchor(false);
      cursor.insertText(StampText(QTime::fromMSecsSinceStartOfDay(pending.stamp_ms)), stampFormat);
    }
    for (const TextRun& run : SplitUrlRuns(std::string_view(batch.text).substr(pending.text_start, pending.text_size))) {
      const QString shown = FromWire(run.text);
      const Look& look = run.url ? url : line;
      cursor.insertText(shown, look.isLink ? look.link : look.plain);
    }
  }
  cursor.endEditBlock();

  // Trim from the top in one edit, counting what leaves in scroll-bar units (lines).
  int removedLines = 0;
  int removedChars = 0;
  const int excess = document()->blockCount() - kMaxLines;
  if (excess > 0) {
    QTextBlock kept = document()->firstBlock();
    for (int i = 0; i < excess; ++i, kept = kept.next()) removedLines += std::max(1, kept.lineCount());
    removedChars = kept.position();
    QTextCursor top(document());
    top.beginEditBlock();
    top.setPosition(removedChars, QTextCursor::KeepAnchor);
    top.removeSelectedText();
    top.endEditBlock();
  }
  if (hadSelection) keepSelection(selAnchor - removedChars, selPosition - removedChars);

  if (follow_) {
    bar->setValue(bar->maximum() - fromBottom);
  } else {
    bar->setValue(std::max(0, oldValue - removedLines));
  }
}

void ChatPane::keepSelection(int anchor, int position) {
  const QTextCursor now = textCursor();
  anchor = std::max(0, anchor);
  position = std::max(0, position);
  if (now.anchor() == anchor && now.position() == position) return;
  QTextCursor restored(document());
  restored.setPosition(anchor);
  restored.setPosition(position, QTextCursor::KeepAnchor);
  // Setting the cursor scrolls to it; the caller puts the view back.
  setTextCursor(restored);
}

void ChatPane::clearChat() {
  flushPending();
  clear();
}

void ChatPane::selectAllVisible() {
  flushPending();
  const qreal bottomEdge = viewport()->height();
  int start = -1;
  int end = -1;
  // Walks the visible lines the way the pane paints them.
  qreal blockTop = contentOffset().y();
  for (QTextBlock block = firstVisibleBlock(); block.isValid() && end < 0; block = block.next()) {
    if (!block.isVisible()) continue;
    const qreal height = blockBoundingRect(block).height();  // lays the block out when needed
    const QTextLayout* layout = block.layout();
    const qreal layoutTop = blockTop + layout->position().y();
    for (int i = 0; i < layout->lineCount(); ++i) {
      const QTextLine textLine = layout->lineAt(i);
      const qreal top = layoutTop + textLine.y();
      const int at = block.position() + textLine.textStart();
      if (top >= bottomEdge) {
        end = at;
        break;
      }
      if (start < 0 && top + textLine.height() > 0) start = at;
    }
    blockTop += height;
  }
  if (start < 0) return;
  QTextCursor selection(document());
  selection.setPosition(start);
  if (end < 0) {
    selection.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  } else {
    selection.setPosition(end, QTextCursor::KeepAnchor);
  }
  const int value = verticalScrollBar()->value();
  setTextCursor(selection);
  verticalScrollBar()->setValue(value);
}

bool ChatPane::copyAndDeselect() {
  flushPending();
  QTextCursor cursor = textCursor();
  if (!cursor.hasSelection()) return false;
  copy();
  cursor.clearSelection();
  const int value = verticalScrollBar()->value();
  setTextCursor(cursor);
  verticalScrollBar()->setValue(value);
  return true;
}

bool ChatPane::setLogging(bool on) {
  if (on == isLogging()) return on;
  if (!on) {
    stopLog();
    return false;
  }
  QFileDialog chooser(this, tr("Save As"));
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setFileMode(QFileDialog::AnyFile);
  chooser.setDefaultSuffix(QStringLiteral("log"));
  chooser.setNameFilters({tr("Log files (*.log)"), tr("All files (*)")});
  chooser.selectFile(QStringLiteral("*.log"));
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return false;
  return startLog(chooser.selectedFiles().first());
}

bool ChatPane::startLog(const QString& path) {
  const bool wasLogging = isLogging();
  std::string error;
  if (!log_->open(QFile::encodeName(path).toStdString(), error)) {
    print(TextType::BotInfo, "Could not create the chat log %s: %s", NoticeText(path).c_str(), error.c_str());
    if (wasLogging) emit loggingChanged(false);
    return false;
  }
  if (!wasLogging) emit loggingChanged(true);
  return true;
}

void ChatPane::stopLog() {
  if (!isLogging()) return;
  log_->close();
  emit loggingChanged(false);
}

bool ChatPane::isLogging() const { return log_->isOpen(); }

void ChatPane::lineUp() { verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub); }
void ChatPane::lineDown() { verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd); }
void ChatPane::pageUp() { verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub); }
void ChatPane::pageDown() { verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd); }
void ChatPane::scrollToTop() { verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum); }
void ChatPane::scrollToBottom() { verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum); }

void ChatPane::scrollByWheel(int delta) {
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(bar->value() + delta / kWheelStep);
}

void ChatPane::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const LinkSpan link = linkUnder(event->position().toPoint());
    if (!link.target.isEmpty()) {
      selectLink(link);
      openLink(link.target);
      event->accept();
      return;
    }
  }
  QPlainTextEdit::mousePressEvent(event);
}

void ChatPane::mouseReleaseEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) emit focusChatBarRequested();
}

void ChatPane::mouseMoveEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseMoveEvent(event);
  if (event->buttons() == Qt::NoButton) {
    const bool overLink = !anchorAt(event->position().toPoint()).isEmpty();
    viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
  }
}

void ChatPane::contextMenuEvent(QContextMenuEvent* event) {
  const bool hasSelection = textCursor().hasSelection();
  QMenu menu(this);
  QAction* copyAction = menu.addAction(tr("Copy to Clipboard"));
  QAction* pasteAction = menu.addAction(tr("Paste to Chat Bar"));
  copyAction->setEnabled(hasSelection);
  pasteAction->setEnabled(hasSelection);
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen == copyAction) {
    copy();
  } else if (chosen == pasteAction) {
    copy();
    emit pasteToChatBarRequested(QApplication::clipboard()->text());
  }
  emit focusChatBarRequested();
}

QString ChatPane::linkAt(int position) const { return linkSpanAt(position).target; }

ChatPane::LinkSpan ChatPane::linkSpanAt(int position) const {
  const QTextBlock block = document()->findBlock(position);
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    const int from = fragment.position();
    if (position < from || position >= from + fragment.length()) continue;
    const QTextCharFormat format = fragment.charFormat();
    if (!format.isAnchor()) return {};
    const QString text = fragment.text();
    if (format.anchorHref() == QLatin1String(kRunLink)) return {from, text.trimmed()};
    // URL words share one format, so neighbours make one fragment: the link
    // is the word the character is in, or the word before the space after it.
    int at = position - from;
    if (text[at] == u' ' && at > 0) --at;
    int start = at;
    while (start > 0 && text[start - 1] != u' ') --start;
    int end = at;
    while (end < text.size() && text[end] != u' ') ++end;
    return {from + start, text.mid(start, end - start).trimmed()};
  }
  return {};
}

ChatPane::LinkSpan ChatPane::linkUnder(const QPoint& pos) const {
  // anchorAt hits only the characters themselves (not the space beside a
  // line); the character then comes from the line's own layout.
  if (anchorAt(pos).isEmpty()) return {};
  const QTextBlock block = cursorForPosition(pos).block();
  const QTextLayout* layout = block.layout();
  if (layout == nullptr) return {};
  const QPointF local = QPointF(pos) - blockBoundingGeometry(block).translated(contentOffset()).topLeft();
  for (int i = 0; i < layout->lineCount(); ++i) {
    const QTextLine line = layout->lineAt(i);
    if (local.y() < line.y() || local.y() >= line.y() + line.height()) continue;
    const int at = line.xToCursor(local.x(), QTextLine::CursorOnCharacter);
    return linkSpanAt(block.position() + std::min(at, std::max(0, block.length() - 2)));
  }
  return {};
}

void ChatPane::selectLink(const LinkSpan& link) {
  QTextCursor selection(document());
  selection.setPosition(link.start);
  selection.setPosition(link.start + static_cast<int>(link.target.size()), QTextCursor::KeepAnchor);
  const int value = verticalScrollBar()->value();
  setTextCursor(selection);
  verticalScrollBar()->setValue(value);
}

void ChatPane::openLink(const QString& text) {
  const QUrl url = LinkTarget(text);
  if (url.isEmpty()) {
    print(TextType::BotInfo, "Link not opened (only http, https, ftp and mailto links are): %s",
          NoticeText(text).c_str());
    return;
  }
  QDesktopServices::openUrl(url);
}

}  // namespace tolvik::ui
