#pragma once
// The operator's input line and the whisper bars, without widgets: the text
// and caret of the line, the whisper lock, the recall history, name
// completion, and what Enter, Alt+W and the whisper bars send. A front-end
// mirrors its widget into this state (setText, setSelection) and copies the
// text and caret back after every operation.
#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvik {

class CHaldenDoc;

// The last lines sent, for Up and Down with prefix search. A ring of 15
// slots; the write slot is always empty, so 14 lines are kept.
class ChatHistory {
 public:
  static constexpr int kSlots = 15;
  static constexpr size_t kLineLength = 254;

  // Stores `line` (cut to 254 characters) and stops browsing.
  void store(std::string_view line);
  // Up: steps back to the previous line (or the previous one beginning with
  // the text the input line held when browsing started). Returns true and
  // sets `line` when the input line is to show another text.
  bool back(std::string& line);
  // Down: steps forward likewise; with no prefix, stepping onto the write
  // slot empties the line.
  bool forward(std::string& line);
  // Browsing ends: the browse index returns to the write index.
  void stopBrowsing() { browse_ = write_; }
  void clearPrefix() { prefix_.clear(); }

  bool browsing() const { return browse_ != write_; }
  // The slot shown while browsing (the empty write slot when not browsing).
  const std::string& browsed() const { return slots_[static_cast<size_t>(browse_)]; }
  const std::string& slot(int index) const { return slots_[static_cast<size_t>(index)]; }
  const std::string& prefix() const { return prefix_; }
  int writeIndex() const { return write_; }
  int browseIndex() const { return browse_; }
  int oldestIndex() const { return oldest_; }

 private:
  static int next(int index) { return index == kSlots - 1 ? 0 : index + 1; }
  static int previous(int index) { return index == 0 ? kSlots - 1 : index - 1; }

  std::array<std::string, kSlots> slots_;
  int write_ = 0;
  int browse_ = 0;
  int oldest_ = 0;
  std::string prefix_;
};

class ChatBar {
 public:
  // Longest text of an input field and of a line queued from it (before the LF).
  static constexpr size_t kFieldLength = 254;
  // Per-user whisper bars: longest caption name, longest queued line (LF included).
  static constexpr size_t kUserBarNameLength = 29;
  static constexpr size_t kUserBarLineLength = 253;

  explicit ChatBar(CHaldenDoc& doc);

  // ---- The input line ----
  // The widget's text changed (typing, paste, or an echo of our own change).
  // The text is cut at a line break and to 254 characters; the caret goes to
  // its end. The same text again is not a change.
  void setText(std::string_view text);
  // The widget's selection (caret = end); clamped to the text.
  void setSelection(size_t start, size_t end);
  const std::string& text() const { return text_; }
  size_t caret() const { return sel_end_; }
  size_t selectionStart() const { return sel_start_; }
  // Inserts at the caret, replacing the selection, as far as the field's
  // limit allows (paste, Alt+N, Alt+S); the caret ends after the insertion.
  void insertText(std::string_view text);

  // ---- Keys ----
  // Enter (lock honoured) and Ctrl+Enter (lock off for this one line).
  void sendChatLine(bool ignoreWhisperLock = false);
  // Alt+W: whispers the line to every selected user on the normal ring.
  void whisperSelected();
  // Ctrl+W and the "Whisper Lock" button.
  void toggleWhisperLock() { whisperLock = !whisperLock; }
  void historyBack();     // Up
  void historyForward();  // Down
  // Tab (forward) and Shift+Tab (backward).
  void completeName(bool forward = true);
  // Esc: empties the line and ends completion and browsing.
  void clear();
  // Alt+N: the selected users' names joined by ", ".
  void pasteSelectedNames();
  // Alt+S: the current server name.
  void pasteServerName();
  // Ctrl+R: caret to the start, then "/w <last whisperer> " there.
  void replyToLastWhisper();

  // ---- Whisper bars ----
  // The whisper bar's Enter: `message` to every selected user, then to every
  // name of `names` (split at spaces); the message enters the history.
  void sendWhisperBar(std::string_view names, std::string_view message);
  // A per-user whisper bar's Enter; these lines do not enter the history.
  void sendUserWhisper(std::string_view name, std::string_view text);

  bool whisperLock = false;

  const ChatHistory& history() const { return history_; }
  // Stores a line in the history (Enter, Alt+W and the whisper bar do this).
  void storeHistory(std::string_view line) { history_.store(line); }
  int completionIndex() const { return completion_index_; }
  const std::string& completionPrefix() const { return completion_prefix_; }

 private:
  // Replaces the whole text, applying the rule every change of the text follows.
  void changeText(std::string text);
  // Completion candidates: the user list's names, then the last-seen names.
  std::vector<std::string> candidates() const;
  std::vector<std::string> selectedUsers() const;
  // Queues "/m name text" cut to 254 characters, plus LF, on the priority or normal ring.
  void queueWhisper(const std::string& name, std::string_view text, bool priority);

  CHaldenDoc& doc_;
  std::string text_;
  size_t sel_start_ = 0;
  size_t sel_end_ = 0;
  ChatHistory history_;
  std::string completion_prefix_;
  int completion_index_ = -1;
};

}  // namespace tolvik
