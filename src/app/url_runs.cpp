#include "app/url_runs.h"

#include <array>

namespace tolvik {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithLower(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (size_t i = 0; i < lowerPrefix.size(); ++i) {
    if (Lower(text[i]) != lowerPrefix[i]) return false;
  }
  return true;
}

// ".com", ".net" or ".org" (any case) followed by ' ', '/' or '\' at `at`.
bool DomainEndAt(std::string_view word, size_t at) {
  static constexpr std::array<std::string_view, 3> kEnds = {".com", ".net", ".org"};
  if (at + 5 > word.size()) return false;
  const char after = word[at + 4];
  if (after != ' ' && after != '/' && after != '\\') return false;
  for (std::string_view end : kEnds) {
    if (StartsWithLower(word.substr(at), end)) return true;
  }
  return false;
}

}  // namespace

bool IsUrlWord(std::string_view word) {
  if (StartsWithLower(word, "http:") || StartsWithLower(word, "ftp:") || StartsWithLower(word, "https:")) {
    return true;
  }
  for (size_t at = word.find('.'); at != std::string_view::npos; at = word.find('.', at + 1)) {
    if (DomainEndAt(word, at)) return true;
  }
  return false;
}

std::vector<TextRun> SplitUrlRuns(std::string_view line) {
  std::vector<TextRun> runs;
  size_t pendingStart = 0;
  size_t start = 0;
  while (start < line.size()) {
    const size_t space = line.find(' ', start);
    const size_t end = space == std::string_view::npos ? line.size() : space + 1;
    const std::string_view word = line.substr(start, end - start);
    if (IsUrlWord(word)) {
      if (start > pendingStart) runs.push_back({line.substr(pendingStart, start - pendingStart), false});
      runs.push_back({word, true});
      pendingStart = end;
    }
    start = end;
  }
  if (line.size() > pendingStart) runs.push_back({line.substr(pendingStart), false});
  return runs;
}

}  // namespace tolvik
