#pragma once
// The "Toggles" page of the "Bot Configurator": picks how each toggle starts
// ("On", "Off" or "Last Used") by writing its [Toggles] value. The toggles in
// use are not changed; the values count from the next start.
#include <array>
#include <string>
#include <string_view>

#include "settings/config.h"
#include "app/sheets/page_values.h"

namespace tolvik {

class TogglesPage {
 public:
  struct Row {
    const char* label;
    const char* key;
  };
  // The list, in its order.
  static const std::array<Row, 10> kRows;

  enum class Setting { None, On, Off, LastUsed };

  // `inUse`: the toggles of this run, which "Last Used" remembers.
  TogglesPage(std::string botIni, const Toggles& inUse);

  // The selected row, -1 before the first selection (the buttons are
  // disabled then).
  int selectedRow() const { return selected_; }
  bool buttonsEnabled() const { return selected_ >= 0; }
  // The radio button checked for the selected row.
  Setting checked() const;
  // The value that will be stored for the selected row.
  int chosenValue() const { return chosen_; }

  // Selecting a row first writes the previous row's choice, if one was made,
  // then shows the new row's stored value (0 "Off", 1 "On", anything else
  // "Last Used"; a missing key shows the toggle's own default). When the
  // previous choice cannot be written, the previous row stays selected.
  PageOutcome SelectRow(int row);
  // "On" stores 1, "Off" 0, "Last Used" 2 plus the toggle's state in use now
  // (3 when it is on, 2 when off). Ignored while no row is selected.
  void Choose(Setting setting);
  // OK: writes the selected row's choice, if one was made.
  PageOutcome Apply();

 private:
  PageOutcome WriteChoice();

  std::string bot_ini_;
  Toggles in_use_;
  int selected_ = -1;
  int chosen_ = 0;
  bool changed_ = false;
};

}  // namespace tolvik
