#include "cli/terminal_display.h"

namespace tolvik {

void TerminalDisplay::append(const char* text, const TextFormat& format) {
  // Control bytes from the server must not reach the terminal as escape sequences.
  char safe[512];
  size_t n = 0;
  for (const char* p = text; *p != '\0' && n + 1 < sizeof safe; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    safe[n++] = (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
  }
  safe[n] = '\0';
  if (!colour_) {
    std::fprintf(out_, "%s\n", safe);
  } else {
    unsigned r = format.colour & 0xFF, g = (format.colour >> 8) & 0xFF, b = (format.colour >> 16) & 0xFF;
    const char* bold = (format.mask & kCfmBold) && (format.effects & kCfeBold) ? "\x1b[1m" : "";
    const char* underline = (format.mask & kCfmUnderline) && (format.effects & kCfeUnderline) ? "\x1b[4m" : "";
    // The chat pane is black; keep that so the default white text stays readable.
    std::fprintf(out_, "\x1b[48;2;0;0;0m\x1b[38;2;%u;%u;%um%s%s%s\x1b[0m\n", r, g, b, bold, underline, safe);
  }
  std::fflush(out_);
}

}  // namespace tolvik
