#include "app/sheets/fonts_page.h"

#include "settings/font_records.h"

namespace tolvik {

const std::array<FontsPage::Row, kTextTypeCount> FontsPage::kRows = {{
    {"Outgoing Normal Text", TextType::MyText},
    {"Incomming Normal Text", TextType::OthersText},
    {"Emotes (/Me)", TextType::Emotes},
    {"Joins", TextType::Joins},
    {"Parts", TextType::Parts},
    {"Whispers", TextType::Whispers},
    {"B.Net Info", TextType::BnetInfo},
    {"Bot Info", TextType::BotInfo},
    {"URLs", TextType::URLs},
    {"Highlights", TextType::Highlighted},
}};

void FontsPage::Select(int row) { selected_ = row >= 0 && row < static_cast<int>(kRows.size()) ? row : -1; }

TextType FontsPage::selectedType() const {
  return kRows[static_cast<size_t>(selected_ < 0 ? 0 : selected_)].type;
}

TextFormat FontsPage::Record() const { return LoadTextFormats(bot_ini_)[TextTypeIndex(selectedType())]; }

PageOutcome FontsPage::SaveRecord(const TextFormat& record) {
  if (selected_ < 0) return PageOutcome::Refused("Select a type of text first.");
  if (!SaveTextFormat(bot_ini_, selectedType(), record))
    return PageOutcome::Refused(std::string("The font of \"") + kRows[static_cast<size_t>(selected_)].label +
                                "\" could not be saved in Bot.ini.");
  return PageOutcome::Done();
}

}  // namespace tolvik
