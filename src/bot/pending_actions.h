#pragma once
// Actions sent to the server (/designate, /ban, /unban) that wait for its
// information or error line. The server's answers do not say which command
// they answer, so they are matched oldest first.
#include <cstdint>
#include <deque>
#include <string>

namespace tolvik {

class ChatDisplay;

// Kinds of pending actions.
inline constexpr int32_t kPendingDesignate = 0;
inline constexpr int32_t kPendingBan = 1;
inline constexpr int32_t kPendingUnban = 2;

// Modes of designate entries (ban and unban entries always carry 1).
inline constexpr int32_t kDesignateTellHeirAndRequester = 0;
inline constexpr int32_t kDesignateTellHeir = 1;
inline constexpr int32_t kDesignateSilent = 2;

struct PendingAction {
  // Designate: the target, or the target, a space and the requester.
  // Ban and unban: the victim, a space and the requester.
  std::string text;
  int32_t kind = kPendingDesignate;
  int32_t mode = kDesignateTellHeir;
};

// First in, first out. Main thread only.
class PendingActionQueue {
 public:
  // Entries never answered would pile up without end (a server that stops
  // answering, or a flood of bans to undo); past this many the oldest goes.
  static constexpr size_t kCapacity = 100;

  void push(std::string text, int32_t kind, int32_t mode);
  bool isEmpty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  // The oldest entry, or nullptr when the queue is empty.
  const PendingAction* front() const { return entries_.empty() ? nullptr : &entries_.front(); }
  // Removes the oldest entry; does nothing on an empty queue.
  void pop();

  // Records the action a command line will cause once sent by `speaker`
  // (call it only for a line the outgoing queue accepted):
  // "/designate" (target), "/ban" and ".ban" (victim and speaker), "/unban"
  // and ".unban" (victim and speaker); any other line records nothing.
  // Over-long words are reported on `report` (may be null).
  void RecordPendingCommand(const char* line, const char* speaker, ChatDisplay* report);

 private:
  std::deque<PendingAction> entries_;
};

}  // namespace tolvik
