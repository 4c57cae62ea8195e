#pragma once
// The byte layout of Aliases.db and Aliases.Idx and the key rules shared by
// the alias database, its reindex and its tests.
//
// Aliases.db: records with no header, each a 4-byte little-endian unsigned id,
// the name (one or more bytes, no white space) and one space.
// Aliases.Idx: 8-byte entries (AliasIndexEntry), no header.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tolvik {

// Longest account name the database stores (the longest name an event line carries).
inline constexpr std::size_t kAliasMaxNameLength = 127;

// One entry of Aliases.Idx: entry i of the by-name order and entry i of the
// by-id order, each the offset of a record in Aliases.db.
struct AliasIndexEntry {
  uint32_t byName = 0;
  uint32_t byId = 0;
};
inline constexpr std::size_t kAliasIndexEntrySize = 8;

// The white space that ends a name when a record is read back: space, TAB, LF, VT, FF, CR.
constexpr bool isAliasSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// ASCII letters folded to lower case; every other byte unchanged.
constexpr unsigned char foldAliasByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Name order: bytes compared unsigned after folding; a prefix sorts first.
// Returns <0, 0 or >0.
int compareAliasNames(std::string_view a, std::string_view b);

// A name the database accepts: 1 to kAliasMaxNameLength bytes, none of them
// white space or another control byte (0x00-0x20, 0x7F).
bool isValidAliasName(std::string_view name);

// Reads an id text: one leading '#' is dropped, then white space, an optional
// sign and decimal digits; anything after the digits is ignored (so "17, 20"
// reads as 17). Values from -2147483648 to 4294967295 are taken modulo 2^32,
// so "-1" is 0xFFFFFFFF. No digits, or a value outside that range: nothing.
std::optional<uint32_t> parseAliasId(std::string_view text);

// An id as the database shows it: "%i" of the 32 bits, so 0xFFFFFFFF is "-1".
// parseAliasId reads every such text back to the same id.
std::string formatAliasId(uint32_t id);

void putLe32(std::string& out, uint32_t value);
uint32_t getLe32(const char* bytes);

// Appends one Aliases.db record: id, name, one space.
void appendAliasRecord(std::string& out, uint32_t id, std::string_view name);

// One record as read in file order. `name` points into the scanned bytes and
// may be empty, over-long or hold control bytes in a damaged file.
struct ScannedAliasRecord {
  uint32_t offset = 0;
  uint32_t id = 0;
  std::string_view name;
};

// How the scanned bytes end after the last record.
struct AliasTail {
  enum class Kind {
    Clean,             // the last record ends with its separator (or the file is empty)
    MissingSeparator,  // the last record's name runs to the end: one space completes it
    Incomplete,        // bytes that cannot become a record (under 4 bytes, or an id
                       // followed by nothing but white space) start at `cut`
  };
  Kind kind = Kind::Clean;
  std::size_t cut = 0;
};

// Reads records in file order the way a reindex does: 4 bytes of id, white
// space skipped, one word as the name, one separator byte skipped. Calls
// `each` for every record that has a name. The bytes must be shorter than 4 GiB.
AliasTail scanAliasRecords(std::string_view bytes,
                           const std::function<void(const ScannedAliasRecord&)>& each);

}  // namespace tolvik
