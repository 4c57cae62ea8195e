#include "app/font_records.h"

#include <array>
#include <cstdint>
#include <span>

#include "app/private_profile.h"

namespace tolvik {
namespace {

constexpr std::string_view kFonts = "Fonts";

std::optional<TextFormat> LoadRecord(const std::string& botIni, std::string_view key, size_t size) {
  std::array<uint8_t, kTextFormat2Size> bytes{};
  std::span<uint8_t> record(bytes.data(), size);
  TextFormat format;
  if (!PrivateProfile::ReadStruct(kFonts, key, record, botIni) || !DecodeTextFormat(record, format))
    return std::nullopt;
  return format;
}

bool SaveRecord(const std::string& botIni, std::string_view key, const TextFormat& format, size_t size) {
  std::array<uint8_t, kTextFormat2Size> bytes{};
  std::span<uint8_t> record(bytes.data(), size);
  EncodeTextFormat(format, record);
  return PrivateProfile::WriteStruct(kFonts, key, record, botIni);
}

}  // namespace

TextFormats LoadTextFormats(const std::string& botIni) {
  TextFormats formats = DefaultTextFormats();
  for (int i = 0; i < kTextTypeCount; ++i) {
    TextType type = TextTypeAt(i);
    if (auto f = LoadRecord(botIni, TextTypeKey(type), StoredSize(type))) formats[i] = *f;
  }
  return formats;
}

bool SaveTextFormat(const std::string& botIni, TextType type, const TextFormat& format) {
  return SaveRecord(botIni, TextTypeKey(type), format, StoredSize(type));
}

std::optional<TextFormat> LoadHighlightFormat(const std::string& botIni, std::string_view user) {
  if (user.empty()) return std::nullopt;
  return LoadRecord(botIni, user, kTextFormatSize);
}

bool SaveHighlightFormat(const std::string& botIni, std::string_view user, const TextFormat& format) {
  if (user.empty()) return false;
  return SaveRecord(botIni, user, format, kTextFormatSize);
}

bool DeleteHighlightFormat(const std::string& botIni, std::string_view user) {
  if (user.empty()) return true;
  return PrivateProfile::DeleteKey(kFonts, user, botIni);
}

}  // namespace tolvik
