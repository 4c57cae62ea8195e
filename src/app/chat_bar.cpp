#include "app/chat_bar.h"

#include <algorithm>

#include "display/chat_display.h"
#include "app/document.h"
#include "display/utf8_cut.h"
#include "bot/chat_bot.h"
#include "bot/read_word.h"

namespace tolvik {
namespace {

// A single-line field holds no line break: text from a paste or a terminal
// ends at the first CR or LF, and at the field's limit.
std::string FieldText(std::string_view text, size_t limit) {
  size_t end = text.find_first_of("\r\n");
  if (end == std::string_view::npos) end = text.size();
  return std::string(Utf8Prefix(text.substr(0, end), limit));
}

std::string Cut(std::string text, size_t limit) {
  if (text.size() > limit) text.resize(Utf8Prefix(text, limit).size());
  return text;
}

// `text` begins with `prefix`, ASCII letters compared ignoring case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

}  // namespace

// ---- ChatHistory ------------------------------------------------------------

void ChatHistory::store(std::string_view line) {
  slots_[static_cast<size_t>(write_)] = Cut(std::string(line), kLineLength);
  write_ = next(write_);
  if (write_ == oldest_) oldest_ = next(oldest_);
  slots_[static_cast<size_t>(write_)].clear();
  browse_ = write_;
}

bool ChatHistory::back(std::string& line) {
  if (browse_ == write_) prefix_ = Cut(line, kLineLength);
  if (browse_ == oldest_) return false;
  if (prefix_.empty()) {
    browse_ = previous(browse_);
    line = slots_[static_cast<size_t>(browse_)];
    return true;
  }
  do {
    browse_ = previous(browse_);
    if (StartsWithNoCase(slots_[static_cast<size_t>(browse_)], prefix_)) {
      line = slots_[static_cast<size_t>(browse_)];
      return true;
    }
  } while (browse_ != oldest_);
  return false;
}

bool ChatHistory::forward(std::string& line) {
  // Nothing is newer than the write slot. (A prefix left over from an earlier
  // search must not start a walk from the oldest line.)
  if (browse_ == write_) return false;
  if (prefix_.empty()) {
    browse_ = next(browse_);
    line = slots_[static_cast<size_t>(browse_)];
    return true;
  }
  while (next(browse_) != write_) {
    browse_ = next(browse_);
    if (StartsWithNoCase(slots_[static_cast<size_t>(browse_)], prefix_)) {
      line = slots_[static_cast<size_t>(browse_)];
      return true;
    }
  }
  return false;
}

// ---- ChatBar ----------------------------------------------------------------

ChatBar::ChatBar(CHaldenDoc& doc) : doc_(doc) {}

void ChatBar::changeText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  sel_start_ = sel_end_ = text_.size();
  // A recalled history line is not an edit; anything else ends browsing and completion.
  if (history_.browsing() && text_ == history_.browsed()) return;
  history_.stopBrowsing();
  completion_index_ = -1;
}

void ChatBar::setText(std::string_view text) { changeText(FieldText(text, kFieldLength)); }

void ChatBar::setSelection(size_t start, size_t end) {
  start = std::min(start, text_.size());
  end = std::min(end, text_.size());
  sel_start_ = std::min(start, end);
  sel_end_ = std::max(start, end);
}

void ChatBar::insertText(std::string_view text) {
  size_t kept = text_.size() - (sel_end_ - sel_start_);
  std::string inserted = FieldText(text, kFieldLength - std::min(kept, kFieldLength));
  size_t caret = sel_start_ + inserted.size();
  changeText(text_.substr(0, sel_start_) + inserted + text_.substr(sel_end_));
  sel_start_ = sel_end_ = caret;
}

std::vector<std::string> ChatBar::selectedUsers() const {
  std::vector<std::string> names;
  for (const UserRow& row : doc_.Bot().Users().rows())
    if (row.selected) names.push_back(row.name);
  return names;
}

std::vector<std::string> ChatBar::candidates() const {
  std::vector<std::string> names;
  ChatBot& bot = doc_.Bot();
  for (const UserRow& row : bot.Users().rows()) names.push_back(row.name);
  for (const LastSeenList::Record& record : bot.LastSeen().records()) names.push_back(record.name);
  return names;
}

void ChatBar::queueWhisper(const std::string& name, std::string_view text, bool priority) {
  std::string line = Cut("/m " + name + " " + std::string(text), kFieldLength);
  OutgoingQueue& queue = doc_.Bot().Queue();
  if (priority)
    queue.SayPriority("%s\n", line.c_str());
  else
    queue.Say("%s\n", line.c_str());
}

void ChatBar::sendChatLine(bool ignoreWhisperLock) {
  if (text_.empty()) return;
  const std::string text = Cut(text_, kFieldLength);
  ChatBot& bot = doc_.Bot();
  const std::string own = bot.OwnName();

  const bool locked = whisperLock && !ignoreWhisperLock;
  bool queued = false;
  if (locked) {
    for (const std::string& name : selectedUsers()) queueWhisper(name, text, true);
  } else if (!ChatBot::IsLocalCommand(text.c_str())) {
    queued = bot.Queue().SayPriority("%s\n", text.c_str()) == OutgoingQueue::kQueued;
  }

  bot.TalkCommandInterpreter(own.c_str(), 0, text.c_str());
  // Only a command that goes to the server as typed will be answered; a
  // whispered "/ban x", or a line the full queue dropped, must not leave a
  // ban waiting for a confirmation.
  if (queued && text[0] == '/') bot.RecordPendingCommand(text.c_str(), own.c_str());

  bot.RunTalkHooks(own.c_str(), text.c_str());

  history_.store(text);
  history_.clearPrefix();
  completion_index_ = -1;
  changeText("");
}

void ChatBar::whisperSelected() {
  const std::string text = text_;
  for (const std::string& name : selectedUsers()) queueWhisper(name, text, false);
  history_.store(text);
  changeText("");
}

void ChatBar::historyBack() {
  std::string line = text_;
  if (history_.back(line)) changeText(std::move(line));
}

void ChatBar::historyForward() {
  std::string line = text_;
  if (history_.forward(line)) changeText(std::move(line));
}

void ChatBar::completeName(bool forward) {
  if (completion_index_ == -1) {
    size_t space = text_.rfind(' ');
    completion_prefix_ = space == std::string::npos ? text_ : text_.substr(space + 1);
  }
  if (completion_prefix_.empty()) return;
  const std::vector<std::string> names = candidates();
  const int n = static_cast<int>(names.size());
  if (n == 0) return;

  int start;
  if (forward) {
    start = completion_index_ + 1;
    if (start < 0 || start >= n) start = 0;
  } else {
    start = completion_index_ - 1;
    if (start < 0 || start >= n) start = n - 1;
  }
  completion_index_ = start;
  for (int k = 0; k < n; ++k) {
    int i = forward ? (start + k) % n : (start - k + n) % n;
    const std::string& name = names[static_cast<size_t>(i)];
    if (!StartsWithNoCase(name, completion_prefix_)) continue;
    size_t space = text_.rfind(' ');
    std::string head = space == std::string::npos ? std::string() : text_.substr(0, space + 1);
    changeText(Cut(head + name, kFieldLength));
    completion_index_ = i;
    return;
  }
}

void ChatBar::clear() {
  changeText("");
  completion_index_ = -1;
  history_.stopBrowsing();
}

void ChatBar::pasteSelectedNames() {
  std::string joined;
  for (const std::string& name : selectedUsers()) {
    if (!joined.empty()) joined += ", ";
    joined += name;
  }
  insertText(joined);
}

void ChatBar::pasteServerName() { insertText(doc_.StatusServer()); }

void ChatBar::replyToLastWhisper() {
  sel_start_ = sel_end_ = 0;
  const std::string name = doc_.Bot().LastWhisperer();
  if (!name.empty()) insertText("/w " + name + " ");
}

void ChatBar::sendWhisperBar(std::string_view names, std::string_view message) {
  const std::string text = FieldText(message, kFieldLength);
  for (const std::string& name : selectedUsers()) queueWhisper(name, text, false);
  const std::string typed = FieldText(names, kFieldLength);
  size_t pos = 0;
  while (pos <= typed.size()) {
    size_t space = typed.find(' ', pos);
    if (space == std::string::npos) space = typed.size();
    if (space > pos) queueWhisper(typed.substr(pos, space - pos), text, false);
    pos = space + 1;
  }
  history_.store(text);
}

void ChatBar::sendUserWhisper(std::string_view name, std::string_view text) {
  const std::string to = FieldText(name, kUserBarNameLength);
  if (to.empty()) return;
  // The line with its LF fits 253 characters; the LF is kept when the text is cut.
  std::string line = Cut("/m " + to + " " + FieldText(text, kFieldLength), kUserBarLineLength - 1);
  doc_.Bot().Queue().Say("%s\n", line.c_str());
}

}  // namespace tolvik
