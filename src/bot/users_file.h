#pragma once
// users.lst: its token rules and the rewrite through "~users.tmp".
//
// The file is a sequence of words separated by white space, commas or NUL
// bytes (IsListSeparator). A word that begins with "[Lev" is a section header
// ("[Level3]"); every other word is a name belonging to the nearest header
// above it (level 0 above the first header). The level look-up and the
// rewrite cut the file with these same rules, so a rewrite never changes what
// a name reads as.
// A rewrite reads every token, lets the caller edit the list, and writes it
// back one token a line (CR LF) with an empty line before every header but the
// first. The new file replaces the old one with a single rename(2) in the same
// directory, so users.lst is always either the old or the new file.
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tolvik {

inline constexpr const char* kUsersFileName = "users.lst";
inline constexpr const char* kUsersTempName = "~users.tmp";
inline constexpr const char* kAutobanFileName = "autoban.lst";

// Names are at most this long (the word reader's cap of 30 less two); a
// longer word is nobody's name, and only this much of a header is read.
inline constexpr size_t kListWordMax = 28;

// The bytes that end a word of users.lst and autoban.lst: space, TAB, LF, VT,
// FF, CR, comma and NUL.
constexpr bool IsListSeparator(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r') || c == ',' || c == '\0';
}

// Calls `each(std::string_view word)` for every word of `bytes`, in order.
template <typename Each>
void ForEachListWord(std::string_view bytes, Each&& each) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    while (i < n && IsListSeparator(bytes[i])) ++i;
    const size_t start = i;
    while (i < n && !IsListSeparator(bytes[i])) ++i;
    if (i > start) each(bytes.substr(start, i - start));
  }
}

// `dir` + '/' + `name`; just `name` when `dir` is empty.
std::string JoinPath(const std::string& dir, const char* name);

// A header begins with "[Lev" (case matters).
bool IsLevelHeader(std::string_view token);
// The level of a header: the leading decimal digits after its first six
// characters ("[Level") and within its first kListWordMax; 0 when there are
// none. Saturates instead of overflowing.
int HeaderLevel(std::string_view token);
// "[Level%d]".
std::string MakeLevelHeader(int level);
// Whether a name can be written to users.lst and read back as the same name:
// not empty, no whitespace or control bytes, not a header.
bool IsListableName(std::string_view name);

class UsersFileRewrite {
 public:
  struct Outcome {
    bool list_ok = true;  // users.lst was read completely and closed
    bool temp_ok = true;  // "~users.tmp" was written completely and closed
    bool replaced = false;
  };

  explicit UsersFileRewrite(std::string dir);
  // A rewrite never committed removes its temporary file.
  ~UsersFileRewrite();
  UsersFileRewrite(const UsersFileRewrite&) = delete;
  UsersFileRewrite& operator=(const UsersFileRewrite&) = delete;

  // Reads all of users.lst and creates "~users.tmp". False when either
  // cannot be opened; nothing is left behind then.
  bool Open();

  std::vector<std::string>& tokens() { return tokens_; }
  const std::vector<std::string>& tokens() const { return tokens_; }

  // Removes every name token equal to `name` (headers are never names).
  // Returns how many were removed.
  int RemoveName(std::string_view name);
  // Removes the name tokens equal to `name` that stand in a section of
  // `level` (0: above the first header or under a header that reads as 0).
  int RemoveNameAtLevel(std::string_view name, int level);
  // Writes `name` right after the first header of `level`. When the file has
  // no such header, "[Level<level>]" and the name go before the first header
  // of a higher level, or at the end.
  void PlaceName(std::string_view name, int level);

  // The file text for the current tokens.
  std::string Render() const;

  // Writes the tokens to "~users.tmp" and renames it over users.lst. A file
  // that was not read or written completely is not put in place (the
  // temporary file is removed), so a failed rewrite changes nothing.
  Outcome Commit();

 private:
  void Abandon();

  std::string list_path_;
  std::string temp_path_;
  std::vector<std::string> tokens_;
  std::FILE* temp_ = nullptr;
  bool list_ok_ = true;
};

}  // namespace tolvik
