#pragma once
// The word reader every command text of the moderation code is cut with, and
// the name comparison used with it.
#include <cstddef>
#include <string>
#include <string_view>

namespace tolvik {

class ChatDisplay;

// Reads one word of `text` starting at `position` into `dest`.
//
// Spaces before the first stored character are skipped (and counted). The
// word ends at a space, a comma, an LF, a NUL or the end of the text, or when
// cap - 2 characters are stored; the delimiter itself is neither stored nor
// counted, so a caller reading on continues at position + result + 1. An LF at
// `position`, or a position at or past the end, gives an empty word.
//
// `dest` must hold at least cap - 1 bytes (passing sizeof dest as cap is the
// usual call); it is always NUL-terminated. When the stored word has reached
// cap - 2 characters (it may have been cut), "Error - Possible Word Trunctation
// due to buffer overflow" is printed on `report` (if given).
//
// Returns the number of skipped spaces plus stored characters.
int ReadWord(std::string_view text, size_t position, char* dest, int cap, ChatDisplay* report);

// True for the characters that end a word for ReadWord (space, comma, LF, NUL).
inline bool IsWordDelimiter(char c) { return c == ' ' || c == ',' || c == '\n' || c == '\0'; }

// Names compare equal ignoring the case of ASCII letters; other bytes must match exactly.
bool SameName(std::string_view a, std::string_view b);

// `text` with ASCII letters in lower case.
std::string LowerAscii(std::string_view text);

// The text up to its first space (all of it when there is none).
inline std::string_view FirstWord(std::string_view text) { return text.substr(0, text.find(' ')); }

}  // namespace tolvik
