#pragma once
// Test text written with "\n" and stored with the CR LF line ends of INI files.
#include <string>
#include <string_view>

namespace tolvik::testing {

inline std::string Crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace tolvik::testing
