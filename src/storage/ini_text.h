#pragma once
// Small text helpers shared by the two INI readers: line cutting that accepts
// CR LF and LF-only files, ASCII case folding and whitespace trimming. Bytes
// outside ASCII (invalid UTF-8 included) are compared as they are.
#include <cstddef>
#include <string>
#include <string_view>

namespace tolvik::ini {

inline char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

// True for "[Name]" compared without regard to case.
inline bool IsBracketed(std::string_view line, std::string_view name) {
  return line.size() == name.size() + 2 && line.front() == '[' && line.back() == ']' &&
         EqualsIgnoreCase(line.substr(1, name.size()), name);
}

// A line that starts a new section: "[" not followed by a second "[".
inline bool IsSectionStart(std::string_view line) {
  return !line.empty() && line[0] == '[' && (line.size() < 2 || line[1] != '[');
}

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

inline std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// What a buffer of `bufferSize` bytes holds of `text`: at most bufferSize - 1
// characters (room for the terminator).
inline std::string_view Bounded(std::string_view text, size_t bufferSize) {
  return bufferSize == 0 ? std::string_view() : text.substr(0, bufferSize - 1);
}

// Appends one line with the file's CR LF; a line end inside it becomes CR LF too.
inline void AppendLine(std::string& out, std::string_view line) {
  for (char c : line) {
    if (c == '\n') out += '\r';
    out += c;
  }
  out += "\r\n";
}

// Walks the lines of a file's bytes. A line ends at LF; one CR before the LF
// is dropped too. The last line may lack its line end.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}

  // Next line without its line end; `hadEnd` tells whether one followed it.
  bool Next(std::string_view& line, bool& hadEnd) {
    if (rest_.empty()) return false;
    size_t nl = rest_.find('\n');
    if (nl == std::string_view::npos) {
      line = rest_;
      rest_ = {};
      hadEnd = false;
    } else {
      line = rest_.substr(0, nl);
      rest_.remove_prefix(nl + 1);
      hadEnd = true;
    }
    if (hadEnd && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    return true;
  }

  bool Next(std::string_view& line) {
    bool hadEnd;
    return Next(line, hadEnd);
  }

  // What has not been read yet.
  std::string_view Rest() const { return rest_; }

 private:
  std::string_view rest_;
};

}  // namespace tolvik::ini
