#pragma once
// Chat display lines on a terminal: each line in its text type's colour
// (as many colours as the terminal has) when colour is on, plain text
// otherwise. The terminal's own background is kept, and its own foreground
// for text near white or black.
#include <string>
#include <string_view>

#include "cli/colour_choice.h"
#include "cli/console_output.h"
#include "display/chat_display.h"
#include "display/control_text.h"

namespace tolvik {


class TerminalDisplay : public ChatDisplay {
 public:
  TerminalDisplay(ConsoleOutput& out, ColourDepth depth) : out_(out), depth_(depth) {}
  // On: 24-bit colour.
  TerminalDisplay(ConsoleOutput& out, bool colour)
      : TerminalDisplay(out, colour ? ColourDepth::TrueColour : ColourDepth::None) {}
  void append(const char* text, const TextFormat& format) override;

 private:
  ConsoleOutput& out_;
  ColourDepth depth_;
};

}  // namespace tolvik
