#pragma once
// The chat display: a read-only pane of coloured lines with clickable URL
// words, capped at kMaxLines lines, optionally copied to a log file.
#include <QPlainTextEdit>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/chat_display.h"

class QContextMenuEvent;
class QMouseEvent;

namespace tolvik::ui {

class ChatLog;

class ChatPane : public QPlainTextEdit, public ChatDisplay {
  Q_OBJECT

 public:
  // Lines (text blocks) the pane keeps; older ones are removed from the top.
  static constexpr int kMaxLines = 5000;

  explicit ChatPane(QWidget* parent = nullptr);
  ~ChatPane() override;

  // ChatDisplay's print, not QPlainTextEdit's printing to paper.
  using ChatDisplay::print;

  // Shows one line in `format`, with URL words in the URLs record's format
  // and clickable; writes it to the log first when logging is on.
  void append(const char* text, const TextFormat& format) override;

  // Lines appended between beginBatch() and the matching endBatch() (pairs
  // nest) are logged and announced at once but enter the pane together at
  // the outermost endBatch(): one edit, one trim and one scroll for all of
  // them, so only the lines left in view are laid out. An event loop run
  // inside the batch (a modal dialog) shows them too.
  void beginBatch() { ++batch_depth_; }
  void endBatch();

  // The target of the link the character at document position `position`
  // belongs to; empty when it is not in a link.
  QString linkAt(int position) const;

  // On: the view moves with new text (a view showing the end keeps showing
  // it). Off: the view stays on the text it shows.
  void setFollowNewText(bool on) { follow_ = on; }
  bool followsNewText() const { return follow_; }

  // On: each new line starts with the time it arrived ("[HH:mm:ss] ").
  void setTimestamps(bool on) { timestamps_ = on; }
  bool timestamps() const { return timestamps_; }
  // On: the log file's lines start with that time too; off, the log keeps
  // its plain format.
  void setLogTimestamps(bool on) { log_timestamps_ = on; }
  bool logTimestamps() const { return log_timestamps_; }

  // A short text shown in the empty pane until the first line arrives.
  void setHint(const QString& hint) { setPlaceholderText(hint); }
  QString hint() const { return placeholderText(); }

  // Empties the pane; logging goes on.
  void clearChat();

  // Selects the lines the pane shows, from the start of the first visible
  // line to the start of the first line beginning at or below the bottom
  // edge (to the end of the text when it ends in view). The view does not move.
  void selectAllVisible();

  // Copies the pane's selection to the clipboard and clears the selection.
  // False when there is no selection.
  bool copyAndDeselect();

  // On: asks for a file with a save-as chooser; cancelling leaves logging
  // off. Off: closes the log. Returns whether logging is on afterwards.
  bool setLogging(bool on);
  // Starts logging to `path` without a chooser; false (with a notice in the
  // pane) when the file cannot be created.
  bool startLog(const QString& path);
  void stopLog();
  bool isLogging() const;

 public slots:
  void lineUp();
  void lineDown();
  void pageUp();
  void pageDown();
  void scrollToTop();
  void scrollToBottom();
  // A wheel turn the main window did not otherwise use: delta / 120 lines,
  // a positive delta moving toward later lines.
  void scrollByWheel(int delta);

 signals:
  void loggingChanged(bool on);
  // A line was added to the pane, as shown.
  void lineShown(const QString& line);
  // Keyboard focus belongs back in the chat bar's input line (after a left
  // click in the pane and after its context menu); ignored while the chat
  // bar floats.
  void focusChatBarRequested();
  // "Paste to Chat Bar": `text` (also on the clipboard) goes into the chat
  // bar's input line at its caret.
  void pasteToChatBarRequested(const QString& text);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Lines waiting for the end of a batch, kept compact: a crowd's lines can
  // wait in the thousands while the pane fills.
  struct PendingLine {
    uint32_t text_start;  // in Batch::text: the line as shown, with the trailing space
    uint32_t text_size;
    uint32_t format;       // in Batch::formats
    int32_t stamp_ms;      // time of arrival (ms since midnight) to show, or -1
  };
  struct Batch {
    std::string text;
    std::vector<TextFormat> formats;  // each one once
    std::vector<PendingLine> lines;
  };
  // Adds the waiting lines to the pane.
  void flushPending();
  void insertLines(const Batch& batch);
  // Puts the selection back on the same text after an append moved it
  // (offsets already shifted for lines removed from the top).
  void keepSelection(int anchor, int position);
  // A link in the document: where it starts, and its target (as long as the
  // link's text without the space after it).
  struct LinkSpan {
    int start = -1;
    QString target;
  };
  LinkSpan linkSpanAt(int position) const;
  // The link under the viewport point `pos`, if the pointer is on one.
  LinkSpan linkUnder(const QPoint& pos) const;
  void selectLink(const LinkSpan& link);
  void openLink(const QString& text);

  bool follow_ = true;
  bool timestamps_ = false;
  bool log_timestamps_ = false;
  std::unique_ptr<ChatLog> log_;
  Batch pending_;
  int batch_depth_ = 0;
  bool flush_posted_ = false;
};

}  // namespace tolvik::ui
