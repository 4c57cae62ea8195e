#include "bot/pending_actions.h"

#include <string_view>

#include "bot/read_word.h"

namespace tolvik {

void PendingActionQueue::push(std::string text, int32_t kind, int32_t mode) {
  if (entries_.size() >= kCapacity) entries_.pop_front();
  entries_.push_back(PendingAction{std::move(text), kind, mode});
}

void PendingActionQueue::pop() {
  if (!entries_.empty()) entries_.pop_front();
}

void PendingActionQueue::RecordPendingCommand(const char* line, const char* speaker, ChatDisplay* report) {
  if (line == nullptr) return;
  if (speaker == nullptr) speaker = "";
  std::string_view text(line);
  std::string_view word = text.substr(0, text.find(' '));
  char target[50];
  if (SameName(word, "/designate")) {
    ReadWord(text, 11, target, sizeof target, report);
    push(target, kPendingDesignate, kDesignateTellHeir);
  } else if (SameName(word, "/ban") || SameName(word, ".ban")) {
    ReadWord(text, 5, target, sizeof target, report);
    push(std::string(target) + " " + speaker, kPendingBan, 1);
  } else if (SameName(word, "/unban") || SameName(word, ".unban")) {
    ReadWord(text, 6, target, sizeof target, report);
    push(std::string(target) + " " + speaker, kPendingUnban, 1);
  }
}

}  // namespace tolvik
