#include "settings/font_records.h"

#include <strings.h>

#include <array>
#include <cstdint>
#include <span>

#include "storage/private_profile.h"

namespace tolvik {
namespace {

constexpr std::string_view kFonts = "Fonts";

std::optional<TextFormat> LoadRecord(const std::string& botIni, std::string_view section, std::string_view key,
                                     size_t size) {
  std::array<uint8_t, kTextFormat2Size> bytes{};
  std::span<uint8_t> record(bytes.data(), size);
  TextFormat format;
  if (!PrivateProfile::ReadStruct(section, key, record, botIni) || !DecodeTextFormat(record, format))
    return std::nullopt;
  return format;
}

bool SaveRecord(const std::string& botIni, std::string_view section, std::string_view key, const TextFormat& format,
                size_t size) {
  std::array<uint8_t, kTextFormat2Size> bytes{};
  std::span<uint8_t> record(bytes.data(), size);
  EncodeTextFormat(format, record);
  return PrivateProfile::WriteStruct(section, key, record, botIni);
}

bool SameKey(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool IsTextTypeKey(std::string_view key) {
  for (int i = 0; i < kTextTypeCount; ++i)
    if (SameKey(key, TextTypeKey(TextTypeAt(i)))) return true;
  return false;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

TextFormats LoadTextFormats(const std::string& botIni) {
  TextFormats formats = DefaultTextFormats();
  for (int i = 0; i < kTextTypeCount; ++i) {
    TextType type = TextTypeAt(i);
    if (auto f = LoadRecord(botIni, kFonts, TextTypeKey(type), StoredSize(type))) formats[i] = *f;
  }
  return formats;
}

bool SaveTextFormat(const std::string& botIni, TextType type, const TextFormat& format) {
  return SaveRecord(botIni, kFonts, TextTypeKey(type), format, StoredSize(type));
}

std::optional<TextFormat> LoadHighlightFormat(const std::string& botIni, std::string_view user) {
  if (user.empty()) return std::nullopt;
  return LoadRecord(botIni, kHighlightsSection, user, kTextFormatSize);
}

bool SaveHighlightFormat(const std::string& botIni, std::string_view user, const TextFormat& format) {
  if (user.empty()) return false;
  return SaveRecord(botIni, kHighlightsSection, user, format, kTextFormatSize);
}

bool DeleteHighlightFormat(const std::string& botIni, std::string_view user) {
  if (user.empty()) return true;
  return PrivateProfile::DeleteKey(kHighlightsSection, user, botIni);
}

int MigrateHighlightRecords(const std::string& botIni) {
  int moved = 0;
  for (const std::string& entry : PrivateProfile::ReadSection(kFonts, botIni)) {
    const size_t eq = entry.find('=');
    if (eq == std::string::npos) continue;
    const std::string key(Trimmed(std::string_view(entry).substr(0, eq)));
    if (key.empty() || IsTextTypeKey(key)) continue;
    const std::optional<TextFormat> old = LoadRecord(botIni, kFonts, key, kTextFormatSize);
    if (!old) continue;  // not a highlight record; left as it is
    if (!LoadHighlightFormat(botIni, key) && !SaveHighlightFormat(botIni, key, *old)) continue;
    if (PrivateProfile::DeleteKey(kFonts, key, botIni)) ++moved;
  }
  return moved;
}

}  // namespace tolvik
