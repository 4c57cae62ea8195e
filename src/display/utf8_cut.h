#pragma once
// Cutting text for a length limit without splitting a UTF-8 character.
#include <string>
#include <string_view>

namespace tolvik {

// The longest prefix of `bytes` of at most `limit` bytes that does not end
// inside a UTF-8 sequence. Bytes that are not UTF-8 cost at most three more.
inline std::string_view Utf8Prefix(std::string_view bytes, size_t limit) {
  if (bytes.size() <= limit) return bytes;
  size_t end = limit;
  // Step back over continuation bytes (10xxxxxx) to the start of the cut character.
  for (int step = 0; step < 3 && end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80; ++step) --end;
  if ((static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) end = limit;  // not UTF-8: plain cut
  return bytes.substr(0, end);
}

}  // namespace tolvik
