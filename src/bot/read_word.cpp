#include "bot/read_word.h"

#include "display/chat_display.h"

namespace tolvik {

int ReadWord(std::string_view text, size_t position, char* dest, int cap, ChatDisplay* report) {
  if (cap < 1) return 0;
  dest[0] = '\0';
  if (position >= text.size() || text[position] == '\n') return 0;

  const int limit = cap >= 2 ? cap - 2 : 0;
  int stored = 0;
  int skipped = 0;
  for (size_t i = position; i < text.size() && stored < limit; ++i) {
    char c = text[i];
    if (c == ' ' && stored == 0) {
      ++skipped;
      continue;
    }
    if (IsWordDelimiter(c)) break;
    dest[stored++] = c;
  }
  dest[stored] = '\0';
  if (stored >= limit && report != nullptr)
    report->print(TextType::BotInfo, "Error - Possible Word Trunctation due to buffer overflow");
  return skipped + stored;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + ('a' - 'A'));
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + ('a' - 'A'));
    if (x != y) return false;
  }
  return true;
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace tolvik
