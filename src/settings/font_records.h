#pragma once
// The text-type records in Bot.ini [Fonts], stored as private-profile structs
// under each type's key (60 bytes; URLs 84 bytes), and the per-user highlight
// records (60 bytes under the user's name) in a section of their own,
// [Highlights], so that a user called "MyText" is not the MyText record.
#include <optional>
#include <string>
#include <string_view>

#include "display/text_format.h"

namespace tolvik {

// All ten records; a missing or invalid one gets its default.
TextFormats LoadTextFormats(const std::string& botIni);

// Writes one type's record with the type's stored size.
bool SaveTextFormat(const std::string& botIni, TextType type, const TextFormat& format);

inline constexpr std::string_view kHighlightsSection = "Highlights";

// Older files kept highlight records in [Fonts] under the user's name: moves
// every valid 60-byte record there whose key is not a text type's to
// [Highlights] (a record already there wins) and removes it from [Fonts].
// Returns how many were moved; a record that cannot be written stays where
// it was.
int MigrateHighlightRecords(const std::string& botIni);

// A user's permanent highlight record, when a valid one is stored.
std::optional<TextFormat> LoadHighlightFormat(const std::string& botIni, std::string_view user);
bool SaveHighlightFormat(const std::string& botIni, std::string_view user, const TextFormat& format);
// Removes the user's record; a user without one leaves Bot.ini as it is.
bool DeleteHighlightFormat(const std::string& botIni, std::string_view user);

}  // namespace tolvik
