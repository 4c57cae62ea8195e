#pragma once
// Chat display lines on a terminal: each line in its text type's colour
// (24-bit escape codes) when the output is a terminal, plain text otherwise.
#include <cstdio>

#include "app/chat_display.h"

namespace tolvik {

class TerminalDisplay : public ChatDisplay {
 public:
  TerminalDisplay(FILE* out, bool colour) : out_(out), colour_(colour) {}
  void append(const char* text, const TextFormat& format) override;

 private:
  FILE* out_;
  bool colour_;
};

}  // namespace tolvik
