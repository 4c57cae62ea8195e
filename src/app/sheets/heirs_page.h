#pragma once
// The "Heirs" page of the "Response Configurator": edits the running bot's
// ten heir slots in place. The slots reach Bot.ini when the sheet is
// confirmed (see response_sheet.h); Cancel does not undo them.
#include <cstddef>
#include <string>
#include <string_view>

#include "app/sheets/page_values.h"
#include "bot/roster_state.h"

namespace tolvik {

class HeirsPage {
 public:
  static constexpr int kMinPriority = 1;
  static constexpr int kMaxPriority = HeirTable::kSlots;
  static constexpr size_t kNameLimit = 19;

  static constexpr std::string_view kHelpText =
      "This tab allows you to automatically designate users when they enter your channel.  The heir with the "
      "highest priority (1) who is present is designated.  Choose a priority, type the new name and press Add: "
      "Replace Name overwrites the heir at that priority, Insert Name moves the others down one place.  Delete "
      "removes the heir at that priority.  The bot uses the changes at once; they are saved when this window "
      "is closed with OK.";

  enum class Mode { Replace, Insert };

  explicit HeirsPage(HeirTable& heirs) : heirs_(heirs) {}

  int priority() const { return priority_; }
  // The spin: the priority moves by `delta` and stays within 1..10.
  void StepPriority(int delta);
  // A priority typed: refused outside 1..10.
  PageOutcome SetPriority(std::string_view text);
  // The heir at the current priority; empty for an empty slot.
  std::string currentName() const;

  Mode mode() const { return mode_; }
  void SetMode(Mode mode) { mode_ = mode; }
  const std::string& newName() const { return new_name_; }
  void SetNewName(std::string_view text) { new_name_ = std::string(text); }

  // "Add": "Replace Name" puts the new name (cut to 19 characters) in the
  // slot of the current priority; "Insert Name" moves that slot and the ones
  // after it down by one first (the tenth heir drops out). Refused for an
  // empty name or one with blanks or commas.
  PageOutcome Add();
  // "Delete": the heirs after the current priority move up; the last slot
  // becomes empty.
  void Delete();

 private:
  HeirTable& heirs_;
  int priority_ = kMinPriority;
  Mode mode_ = Mode::Insert;
  std::string new_name_;
};

}  // namespace tolvik
