#pragma once
// Whether the chat lines are coloured: the usual rules of terminal programs.
#include <cstdint>
#include <string>

#include "cli/cli_options.h"

namespace tolvik {

// --color=always and --color=never decide alone. Otherwise colour needs a
// terminal on the output, TERM set and not "dumb", and NO_COLOR unset (any
// value, even an empty one, turns colour off). `no_colour` and `term` are the
// variables' values, null when unset.
bool WantColour(ColourMode mode, const char* no_colour, const char* term, bool output_is_terminal);

// The colours a terminal can show.
enum class ColourDepth {
  None,        // plain text
  Basic16,     // the 16 colours of the ANSI palette (SGR 30-37, 90-97)
  Palette256,  // the 256-colour palette (SGR 38;5;N)
  TrueColour,  // 24-bit colour (SGR 38;2;R;G;B)
};

// 24-bit colour only when COLORTERM (`colorterm`) is "truecolor" or "24bit";
// the 256-colour palette when TERM names one ("...-256color"); the 16
// colours otherwise. None when WantColour says no.
ColourDepth ChooseColourDepth(ColourMode mode, const char* no_colour, const char* term, const char* colorterm,
                              bool output_is_terminal);

// The SGR sequence that sets the foreground to `rgb` (0x00BBGGRR) at
// `depth`, or "" for the terminal's own foreground: for ColourDepth::None,
// and for colours near white or near black, which one of a light and a dark
// background would swallow.
std::string ForegroundSequence(uint32_t rgb, ColourDepth depth);

}  // namespace tolvik
