#pragma once
// Chat display lines on a terminal: each line in its text type's colour
// (24-bit escape codes) when colour is on, plain text otherwise. The
// terminal's own background is kept.
#include <string>
#include <string_view>

#include "display/chat_display.h"
#include "cli/console_output.h"

namespace tolvik {

// `text` with every control character shown as '?': the C0 bytes and DEL,
// and the C1 controls (U+0080 to U+009F, as UTF-8 or as single bytes), any
// of which a terminal may take as the start of an escape sequence. Other
// bytes pass unchanged.
std::string TerminalSafeText(std::string_view text);

class TerminalDisplay : public ChatDisplay {
 public:
  TerminalDisplay(ConsoleOutput& out, bool colour) : out_(out), colour_(colour) {}
  void append(const char* text, const TextFormat& format) override;

 private:
  ConsoleOutput& out_;
  bool colour_;
};

}  // namespace tolvik
