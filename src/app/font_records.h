#pragma once
// The text-type records in Bot.ini [Fonts], stored as private-profile structs
// under each type's key (60 bytes; URLs 84 bytes), and the per-user highlight
// records (60 bytes under the user's name).
#include <optional>
#include <string>
#include <string_view>

#include "app/text_format.h"

namespace tolvik {

// All ten records; a missing or invalid one gets its default.
TextFormats LoadTextFormats(const std::string& botIni);

// Writes one type's record with the type's stored size.
bool SaveTextFormat(const std::string& botIni, TextType type, const TextFormat& format);

// A user's permanent highlight record, when a valid one is stored.
std::optional<TextFormat> LoadHighlightFormat(const std::string& botIni, std::string_view user);
bool SaveHighlightFormat(const std::string& botIni, std::string_view user, const TextFormat& format);
// Removes the user's record; a user without one leaves Bot.ini as it is.
bool DeleteHighlightFormat(const std::string& botIni, std::string_view user);

}  // namespace tolvik
