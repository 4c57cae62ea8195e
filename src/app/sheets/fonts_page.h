#pragma once
// The "Fonts" page of the "Bot Configurator": the text types in the page's
// order and their [Fonts] records, which are written as soon as a font is
// chosen.
#include <array>
#include <string>
#include <string_view>

#include "app/sheets/page_values.h"
#include "display/text_format.h"

namespace tolvik {

class FontsPage {
 public:
  struct Row {
    const char* label;
    TextType type;
  };
  // The "Text Type" list, in its order (URLs before Highlights).
  static const std::array<Row, kTextTypeCount> kRows;

  static constexpr std::string_view kHelpText =
      "This tab allows you to change the font, color, and styles for each type of text that gets displayed.  "
      "Select a type of text in the list and press Font to choose its font, size, style and color.  A new font "
      "is saved as soon as you press OK in the font window and is used for new lines once this window is "
      "closed with OK.";

  explicit FontsPage(std::string botIni) : bot_ini_(std::move(botIni)) {}

  // The selected row, -1 before the first selection ("Font" is disabled then).
  int selectedRow() const { return selected_; }
  bool fontEnabled() const { return selected_ >= 0; }
  void Select(int row);
  // The selected type, meaningful while a row is selected.
  TextType selectedType() const;

  // The selected type's stored record, or its default when none is stored.
  TextFormat Record() const;
  // Writes the selected type's record to [Fonts] at once. Refused without a
  // selection or when Bot.ini cannot be written.
  PageOutcome SaveRecord(const TextFormat& record);

 private:
  std::string bot_ini_;
  int selected_ = -1;
};

}  // namespace tolvik
