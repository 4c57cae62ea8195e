#include "display/control_text.h"

#include "display/direction_controls.h"

namespace tolvik {
namespace {

// Length of the well-formed UTF-8 sequence at `p` (at most `left` bytes), or 0.
size_t Utf8SequenceLength(const unsigned char* p, size_t left) {
  size_t len = p[0] >= 0xF0 && p[0] <= 0xF4 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 && p[0] <= 0xDF ? 2 : 0;
  if (len == 0 || len > left) return 0;
  for (size_t i = 1; i < len; ++i)
    if ((p[i] & 0xC0) != 0x80) return 0;
  return len;
}

}  // namespace

std::string WithControlsShown(std::string_view text) {
  std::string safe;
  safe.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = p[i];
    if (c < 0x20 || c == 0x7F) {
      safe += '?';
      ++i;
      continue;
    }
    if (c < 0x80) {
      safe += static_cast<char>(c);
      ++i;
      continue;
    }
    const size_t len = Utf8SequenceLength(p + i, text.size() - i);
    if (len == 2 && c == 0xC2 && p[i + 1] <= 0x9F) {
      safe += '?';  // U+0080 to U+009F
    } else if (len > 0) {
      safe.append(text.substr(i, len));
    } else {
      // A byte that is not part of UTF-8 text: in 0x80-0x9F an 8-bit terminal reads a control.
      safe += c <= 0x9F ? '?' : static_cast<char>(c);
      i += 1;
      continue;
    }
    i += len;
  }
  return safe;
}

std::string CleanShownText(std::string_view text) { return WithControlsShown(WithoutDirectionControls(text)); }

}  // namespace tolvik
