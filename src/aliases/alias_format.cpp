#include "aliases/alias_format.h"

#include <algorithm>

namespace tolvik {

int compareAliasNames(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char fa = foldAliasByte(static_cast<unsigned char>(a[i]));
    const unsigned char fb = foldAliasByte(static_cast<unsigned char>(b[i]));
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool isValidAliasName(std::string_view name) {
  if (name.empty() || name.size() > kAliasMaxNameLength) return false;
  for (char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F) return false;
  }
  return true;
}

std::optional<uint32_t> parseAliasId(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '#') ++i;
  while (i < text.size() && isAliasSpace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const uint64_t limit = negative ? 0x80000000ull : 0xFFFFFFFFull;
  uint64_t value = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > limit) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  return static_cast<uint32_t>(negative ? (0x100000000ull - value) : value);
}

std::string formatAliasId(uint32_t id) { return std::to_string(static_cast<int32_t>(id)); }

void putLe32(std::string& out, uint32_t value) {
  const char bytes[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                         static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
  out.append(bytes, 4);
}

uint32_t getLe32(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

void appendAliasRecord(std::string& out, uint32_t id, std::string_view name) {
  putLe32(out, id);
  out.append(name);
  out.push_back(' ');
}

AliasTail scanAliasRecords(std::string_view bytes,
                           const std::function<void(const ScannedAliasRecord&)>& each) {
  const std::size_t size = bytes.size();
  std::size_t pos = 0;
  while (pos < size) {
    if (size - pos < 4) return {AliasTail::Kind::Incomplete, pos};
    ScannedAliasRecord record;
    record.offset = static_cast<uint32_t>(pos);
    record.id = getLe32(bytes.data() + pos);
    std::size_t p = pos + 4;
    while (p < size && isAliasSpace(static_cast<unsigned char>(bytes[p]))) ++p;
    const std::size_t nameStart = p;
    while (p < size && !isAliasSpace(static_cast<unsigned char>(bytes[p]))) ++p;
    if (p == nameStart) return {AliasTail::Kind::Incomplete, pos};  // only white space to the end
    record.name = bytes.substr(nameStart, p - nameStart);
    each(record);
    if (p == size) return {AliasTail::Kind::MissingSeparator, size};
    pos = p + 1;  // the separator
  }
  return {AliasTail::Kind::Clean, size};
}

}  // namespace tolvik
