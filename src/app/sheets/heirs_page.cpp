#include "app/sheets/heirs_page.h"

#include <algorithm>

#include "settings/config.h"
#include "bot/users_file.h"

namespace tolvik {

void HeirsPage::StepPriority(int delta) {
  long long p = static_cast<long long>(priority_) + delta;
  priority_ = static_cast<int>(std::clamp<long long>(p, kMinPriority, kMaxPriority));
}

PageOutcome HeirsPage::SetPriority(std::string_view text) {
  int value = 0;
  PageOutcome checked = CheckNumberInRange(text, kMinPriority, kMaxPriority, "Priority", value);
  if (checked) priority_ = value;
  return checked;
}

std::string HeirsPage::currentName() const {
  const std::string& slot = heirs_.names[static_cast<size_t>(priority_ - 1)];
  return IsUnset(slot) ? std::string() : slot;
}

// Moving a name moves its presence with it, and the record of which slot was
// designated follows the name (or is forgotten when the name goes).
PageOutcome HeirsPage::Add() {
  std::string name = CutToLimit(new_name_, kNameLimit);
  if (name.empty()) return PageOutcome::Refused("Type the new name first.");
  if (!IsListableName(name))
    return PageOutcome::Refused("\"" + name + "\" cannot be an heir: a user name has no blanks or commas.");
  const int slot = priority_ - 1;
  if (mode_ == Mode::Insert) {
    const int last = HeirTable::kSlots - 1;
    for (int i = last; i > slot; --i) {
      heirs_.names[static_cast<size_t>(i)] = heirs_.names[static_cast<size_t>(i - 1)];
      heirs_.present[static_cast<size_t>(i)] = heirs_.present[static_cast<size_t>(i - 1)];
    }
    if (heirs_.designated == last)
      heirs_.designated = HeirTable::kNone;
    else if (heirs_.designated >= slot && heirs_.designated < last)
      ++heirs_.designated;
  } else if (heirs_.designated == slot) {
    heirs_.designated = HeirTable::kNone;
  }
  heirs_.names[static_cast<size_t>(slot)] = name;
  heirs_.present[static_cast<size_t>(slot)] = false;
  return PageOutcome::Done();
}

void HeirsPage::Delete() {
  const int slot = priority_ - 1;
  const int last = HeirTable::kSlots - 1;
  for (int i = slot; i < last; ++i) {
    heirs_.names[static_cast<size_t>(i)] = heirs_.names[static_cast<size_t>(i + 1)];
    heirs_.present[static_cast<size_t>(i)] = heirs_.present[static_cast<size_t>(i + 1)];
  }
  heirs_.names[static_cast<size_t>(last)] = std::string(kUnset);
  heirs_.present[static_cast<size_t>(last)] = false;
  if (heirs_.designated == slot)
    heirs_.designated = HeirTable::kNone;
  else if (heirs_.designated > slot && heirs_.designated < HeirTable::kNone)
    --heirs_.designated;
}

}  // namespace tolvik
