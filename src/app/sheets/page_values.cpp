#include "app/sheets/page_values.h"

#include <climits>
#include <cstdint>

#include "storage/ini_text.h"

namespace tolvik {

std::optional<int> ParseWholeNumber(std::string_view text) {
  text = ini::Trim(text);
  if (text.empty()) return std::nullopt;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return std::nullopt;
  }
  return static_cast<int>(negative ? -value : value);
}

int LeadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && ini::IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) return negative ? INT_MIN : INT_MAX;
  }
  return static_cast<int>(negative ? -value : value);
}

PageOutcome CheckNumberInRange(std::string_view text, int lo, int hi, std::string_view what, int& value) {
  std::optional<int> n = ParseWholeNumber(text);
  if (!n || *n < lo || *n > hi)
    return PageOutcome::Refused(std::string(what) + " must be a number from " + std::to_string(lo) + " to " +
                                std::to_string(hi) + ".");
  value = *n;
  return PageOutcome::Done();
}

std::string CutToLimit(std::string_view text, size_t limit) {
  if (text.size() <= limit) return std::string(text);
  size_t end = limit;
  // Step back over continuation bytes so a character is never split.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

}  // namespace tolvik
