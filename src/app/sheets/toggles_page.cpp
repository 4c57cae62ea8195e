#include "app/sheets/toggles_page.h"

#include "storage/private_profile.h"

namespace tolvik {

const std::array<TogglesPage::Row, 10> TogglesPage::kRows = {{
    {"Chat Updates", "ViewChatUpdates"},
    {"Auto-Responder", "AutoRespond"},
    {"Show Aliases On Join", "AutoViewAliases"},
    {"Account Logging", "IdLogging"},
    {"User Highlighting", "HighlightUsers"},
    {"View B.Net Pings", "ViewPings"},
    {"View B.Net Non-Message Text", "ViewText"},
    {"Enter Leave Notifications", "ViewEnterLeave"},
    {"Operator Page", "AllowPage"},
    {"Save Windows Position On Exit", "AutoSave"},
}};

TogglesPage::TogglesPage(std::string botIni, const Toggles& inUse) : bot_ini_(std::move(botIni)), in_use_(inUse) {}

TogglesPage::Setting TogglesPage::checked() const {
  if (selected_ < 0) return Setting::None;
  if (chosen_ == 0) return Setting::Off;
  if (chosen_ == 1) return Setting::On;
  return Setting::LastUsed;
}

PageOutcome TogglesPage::WriteChoice() {
  if (selected_ < 0 || !changed_) return PageOutcome::Done();
  if (!WriteToggle(bot_ini_, kRows[static_cast<size_t>(selected_)].key, chosen_))
    return PageOutcome::Refused(std::string("The setting of \"") + kRows[static_cast<size_t>(selected_)].label +
                                "\" could not be saved in Bot.ini.");
  changed_ = false;
  return PageOutcome::Done();
}

PageOutcome TogglesPage::SelectRow(int row) {
  if (row < 0 || row >= static_cast<int>(kRows.size())) return PageOutcome::Refused("There is no such toggle.");
  // A choice that could not be saved keeps its row selected.
  PageOutcome written = WriteChoice();
  if (!written) return written;
  selected_ = row;
  changed_ = false;
  // kToggleKeys lists the same keys in the same order, with their defaults.
  chosen_ = PrivateProfile::ReadInt("Toggles", kRows[static_cast<size_t>(row)].key,
                                    kToggleKeys[static_cast<size_t>(row)].defaultValue, bot_ini_);
  return PageOutcome::Done();
}

void TogglesPage::Choose(Setting setting) {
  if (selected_ < 0 || setting == Setting::None) return;
  if (setting == Setting::On) {
    chosen_ = 1;
  } else if (setting == Setting::Off) {
    chosen_ = 0;
  } else {
    const Toggle& now = in_use_.*kToggleKeys[static_cast<size_t>(selected_)].field;
    chosen_ = now.state ? 3 : 2;
  }
  changed_ = true;
}

PageOutcome TogglesPage::Apply() { return WriteChoice(); }

}  // namespace tolvik
