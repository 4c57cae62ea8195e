#include "display/url_runs.h"

#include <array>

#include "display/direction_controls.h"

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

bool IsSchemeChar(char c, bool first) {
  const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '+' || c == '-';
}

// The lower-case scheme before the first ':', or "" when the text has none
// ("example.com:80/x" has dots before its colon, so it counts as a host).
std::string SchemeOf(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  std::string scheme;
  for (size_t i = 0; i < colon; ++i) {
    const char c = text[i];
    if (!IsSchemeChar(c, i == 0)) return {};
    scheme += Lower(c);
  }
  return scheme;
}

// A mail link's address: the text up to a query or fragment, an '@' inside,
// no path. "" when it is not a plain address.
std::string_view MailAddress(std::string_view afterScheme) {
  const std::string_view address = afterScheme.substr(0, afterScheme.find_first_of("?#"));
  const size_t at = address.find('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == address.size()) return {};
  if (address.find_first_of("/\\") != std::string_view::npos) return {};
  return address;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string LinkTarget(std::string_view linkText) {
  const std::string clean = WithoutDirectionControls(linkText);
  std::string_view text = clean;
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.empty()) return {};
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == ' ' || c == 0x7F) return {};

  const std::string scheme = SchemeOf(text);
  if (scheme.empty()) {
    const size_t at = text.find('@');
    if (at != std::string_view::npos && text.substr(0, at).find_first_of("?/") == std::string_view::npos) {
      const std::string_view address = MailAddress(text);
      return address.empty() ? std::string() : "MailTo:" + std::string(address);
    }
    const std::string_view host = text.substr(0, text.find_first_of("/?#\\"));
    if (host.empty() || host.find('@') != std::string_view::npos) return {};
    return "http://" + std::string(text);
  }
  if (scheme == "mailto") {
    const std::string_view address = MailAddress(text.substr(scheme.size() + 1));
    return address.empty() ? std::string() : std::string(text.substr(0, scheme.size() + 1)) + std::string(address);
  }
  if (scheme == "http" || scheme == "https" || scheme == "ftp") return std::string(text);
  return {};
}

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
