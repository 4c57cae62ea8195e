#include "cli/terminal_display.h"

#include <cstdio>

#include "cli/colour_choice.h"

namespace tolvik {
void TerminalDisplay::append(const char* text, const TextFormat& format) {
  const std::string safe = WithControlsShown(text);
  if (depth_ == ColourDepth::None) {
    out_.Line(safe);
    return;
  }
  std::string line = ForegroundSequence(format.colour & 0xFFFFFF, depth_);
  if ((format.mask & kCfmBold) && (format.effects & kCfeBold)) line += "\x1b[1m";
  if ((format.mask & kCfmUnderline) && (format.effects & kCfeUnderline)) line += "\x1b[4m";
  line += safe;
  if (line.size() != safe.size()) line += "\x1b[0m";
  out_.Line(line);
}

}  // namespace tolvik
