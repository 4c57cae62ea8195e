#pragma once
// Shared pieces of the configuration pages: the outcome of an operation and
// the reading of the numbers typed into their level and limit fields.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tolvik {

// What a page operation did: done, or refused with a message for the
// operator (nothing was written then).
struct PageOutcome {
  bool ok = true;
  std::string message;  // empty when ok

  static PageOutcome Done() { return {}; }
  static PageOutcome Refused(std::string why) { return {false, std::move(why)}; }
  explicit operator bool() const { return ok; }
};

// A whole decimal number with an optional sign and surrounding blanks:
// "12" and " -1 " are numbers, "", "12abc" and "99999999999" are not.
std::optional<int> ParseWholeNumber(std::string_view text);

// The number a spin control reads from its buddy field: the leading number
// (blanks, sign, digits), 0 when there is none; saturates instead of overflowing.
int LeadingNumber(std::string_view text);

// A number of `text` within lo..hi, or a refusal saying "<what> must be a
// number from lo to hi.".
PageOutcome CheckNumberInRange(std::string_view text, int lo, int hi, std::string_view what, int& value);

// The text cut to at most `limit` bytes, never inside a UTF-8 sequence.
std::string CutToLimit(std::string_view text, size_t limit);

}  // namespace tolvik
