#include "display/direction_controls.h"

#include <cstring>

namespace tolvik {
namespace {

// U+202A..U+202E are E2 80 AA..AE; U+2066..U+2069 are E2 81 A6..A9. A lead
// byte never appears inside another character, so matching bytes is enough.
constexpr size_t kControlBytes = 3;

}  // namespace

bool StartsWithDirectionControl(std::string_view text) {
  if (text.size() < kControlBytes || static_cast<unsigned char>(text[0]) != 0xE2) return false;
  const auto second = static_cast<unsigned char>(text[1]);
  const auto third = static_cast<unsigned char>(text[2]);
  return (second == 0x80 && third >= 0xAA && third <= 0xAE) || (second == 0x81 && third >= 0xA6 && third <= 0xA9);
}

size_t RemoveDirectionControls(char* text) {
  const size_t length = std::strlen(text);
  size_t out = 0;
  for (size_t in = 0; in < length;) {
    if (StartsWithDirectionControl(std::string_view(text + in, length - in))) {
      in += kControlBytes;
      continue;
    }
    text[out++] = text[in++];
  }
  text[out] = '\0';
  return out;
}

std::string WithoutDirectionControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t in = 0; in < text.size();) {
    if (StartsWithDirectionControl(text.substr(in))) {
      in += kControlBytes;
      continue;
    }
    out += text[in++];
  }
  return out;
}

}  // namespace tolvik
