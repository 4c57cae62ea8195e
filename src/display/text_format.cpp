#include "display/text_format.h"

#include <cstring>

namespace tolvik {
namespace {

void Put32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Field offsets of the stored record.
constexpr size_t kSizeAt = 0, kMaskAt = 4, kEffectsAt = 8, kHeightAt = 12, kOffsetAt = 16, kColourAt = 20,
                 kCharsetAt = 24, kPitchAt = 25, kFaceAt = 26, kPaddingAt = 58, kExtraAt = 60;

static_assert(kPaddingAt + 2 == kTextFormatSize);
static_assert(kExtraAt + sizeof(TextFormat::extra) == kTextFormat2Size);
static_assert(sizeof(TextFormat::faceName) == kPaddingAt - kFaceAt);

}  // namespace

const char* TextTypeKey(TextType t) {
  switch (t) {
    case TextType::MyText: return "MyText";
    case TextType::OthersText: return "OthersText";
    case TextType::Emotes: return "Emotes";
    case TextType::Joins: return "Joins";
    case TextType::Parts: return "Parts";
    case TextType::Whispers: return "Whispers";
    case TextType::BnetInfo: return "BnetInfo";
    case TextType::BotInfo: return "BotInfo";
    case TextType::Highlighted: return "Highlighted";
    case TextType::URLs: return "URLs";
  }
  return "";
}

void EncodeTextFormat(const TextFormat& f, std::span<uint8_t> out) {
  if (out.size() != kTextFormatSize && out.size() != kTextFormat2Size) return;
  uint8_t* p = out.data();
  Put32(p + kSizeAt, f.size);
  Put32(p + kMaskAt, f.mask);
  Put32(p + kEffectsAt, f.effects);
  Put32(p + kHeightAt, static_cast<uint32_t>(f.height));
  Put32(p + kOffsetAt, static_cast<uint32_t>(f.offset));
  Put32(p + kColourAt, f.colour);
  p[kCharsetAt] = f.charset;
  p[kPitchAt] = f.pitchAndFamily;
  std::memcpy(p + kFaceAt, f.faceName, sizeof f.faceName);
  std::memcpy(p + kPaddingAt, f.padding, sizeof f.padding);
  if (out.size() == kTextFormat2Size) std::memcpy(p + kExtraAt, f.extra, sizeof f.extra);
}

bool DecodeTextFormat(std::span<const uint8_t> bytes, TextFormat& f) {
  if (bytes.size() != kTextFormatSize && bytes.size() != kTextFormat2Size) return false;
  const uint8_t* p = bytes.data();
  f = TextFormat{};
  f.size = Get32(p + kSizeAt);
  f.mask = Get32(p + kMaskAt);
  f.effects = Get32(p + kEffectsAt);
  f.height = static_cast<int32_t>(Get32(p + kHeightAt));
  f.offset = static_cast<int32_t>(Get32(p + kOffsetAt));
  f.colour = Get32(p + kColourAt);
  f.charset = p[kCharsetAt];
  f.pitchAndFamily = p[kPitchAt];
  std::memcpy(f.faceName, p + kFaceAt, sizeof f.faceName);
  std::memcpy(f.padding, p + kPaddingAt, sizeof f.padding);
  if (bytes.size() == kTextFormat2Size) std::memcpy(f.extra, p + kExtraAt, sizeof f.extra);
  return true;
}

TextFormat DefaultTextFormat() {
  TextFormat f;
  f.size = kTextFormatSize;
  f.mask = kCfmSize | kCfmColor;
  f.height = 200;
  f.colour = 0x00FFFFFF;
  return f;
}

TextFormat DefaultUrlFormat() {
  TextFormat f = DefaultTextFormat();
  f.size = kTextFormat2Size;
  f.mask = kCfmSize | kCfmColor | kCfmBold | kCfmItalic | kCfmUnderline | kCfmStrikeOut | kCfmLink;
  f.effects = kCfeUnderline | kCfeLink;
  return f;
}

TextFormats DefaultTextFormats() {
  TextFormats all;
  all.fill(DefaultTextFormat());
  all[TextTypeIndex(TextType::URLs)] = DefaultUrlFormat();
  return all;
}

}  // namespace tolvik
