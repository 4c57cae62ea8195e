#pragma once
// Text categories of the chat display and their font-and-colour records.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tolvik {

// The category of a displayed line. The numbering is the one stored in bits
// 20-23 of a record's effects by the fonts page (MyText 1 ... Highlighted 9);
// URLs has no number of its own there.
enum class TextType : int {
  MyText = 1,
  OthersText = 2,
  Emotes = 3,
  Joins = 4,
  Parts = 5,
  Whispers = 6,
  BnetInfo = 7,
  BotInfo = 8,
  Highlighted = 9,
  URLs = 10,
};

inline constexpr int kTextTypeCount = 10;

// Index 0..9 into per-type tables, in the order of the enum values.
constexpr int TextTypeIndex(TextType t) { return static_cast<int>(t) - 1; }

// One character-format record: the 60-byte little-endian layout of the rich
// edit CHARFORMAT structure. The URLs record is stored in the 84-byte
// CHARFORMAT2 layout; its last 24 bytes are carried along in `extra`.
struct TextFormat {
  uint32_t size = 60;
  uint32_t mask = 0;
  uint32_t effects = 0;
  int32_t height = 0;   // twips
  int32_t offset = 0;   // twips
  uint32_t colour = 0;  // 0x00BBGGRR
  uint8_t charset = 0;
  uint8_t pitchAndFamily = 0;
  char faceName[32] = {};
  uint8_t padding[2] = {};
  uint8_t extra[24] = {};  // CHARFORMAT2 tail, only meaningful when size == 84

  bool operator==(const TextFormat&) const = default;
};

// Mask bits.
inline constexpr uint32_t kCfmSize = 0x80000000u;
inline constexpr uint32_t kCfmColor = 0x40000000u;
inline constexpr uint32_t kCfmFace = 0x20000000u;
inline constexpr uint32_t kCfmOffset = 0x10000000u;
inline constexpr uint32_t kCfmCharset = 0x08000000u;
inline constexpr uint32_t kCfmBold = 0x00000001u;
inline constexpr uint32_t kCfmItalic = 0x00000002u;
inline constexpr uint32_t kCfmUnderline = 0x00000004u;
inline constexpr uint32_t kCfmStrikeOut = 0x00000008u;
inline constexpr uint32_t kCfmLink = 0x00000020u;

// Effect bits.
inline constexpr uint32_t kCfeBold = 0x01u;
inline constexpr uint32_t kCfeItalic = 0x02u;
inline constexpr uint32_t kCfeUnderline = 0x04u;
inline constexpr uint32_t kCfeStrikeOut = 0x08u;
inline constexpr uint32_t kCfeLink = 0x20u;

using TextFormats = std::array<TextFormat, kTextTypeCount>;

// Stored record sizes: CHARFORMAT, and CHARFORMAT2 for the URLs record.
inline constexpr size_t kTextFormatSize = 60;
inline constexpr size_t kTextFormat2Size = 84;

// The type of a per-type table index (0..9).
constexpr TextType TextTypeAt(int index) { return static_cast<TextType>(index + 1); }

// The record size a type is stored with: 84 for URLs, 60 for the others.
constexpr size_t StoredSize(TextType t) { return t == TextType::URLs ? kTextFormat2Size : kTextFormatSize; }

// The [Fonts] key of a type: "MyText", "OthersText", ..., "URLs", "Highlighted".
const char* TextTypeKey(TextType t);

// Writes the record's fields little-endian into `out`, which must hold 60 or
// 84 bytes; with 60 the CHARFORMAT2 tail is left out. The size field is
// written as it is in the record.
void EncodeTextFormat(const TextFormat& format, std::span<uint8_t> out);

// Reads a record from 60 or 84 bytes; the tail stays zero when there are 60.
// Any other length gives false.
bool DecodeTextFormat(std::span<const uint8_t> bytes, TextFormat& format);

// Size and colour only: 200 twips, white, no effects, no face name.
TextFormat DefaultTextFormat();
// 84 bytes; size, colour, bold, italic, underline, strike-out and link set;
// underlined link, 200 twips, white.
TextFormat DefaultUrlFormat();
// The ten defaults, indexed by TextTypeIndex.
TextFormats DefaultTextFormats();

}  // namespace tolvik
