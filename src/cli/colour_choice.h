#pragma once
// Whether the chat lines are coloured: the usual rules of terminal programs.
#include "cli/cli_options.h"

namespace tolvik {

// --color=always and --color=never decide alone. Otherwise colour needs a
// terminal on the output, TERM set and not "dumb", and NO_COLOR unset (any
// value, even an empty one, turns colour off). `no_colour` and `term` are the
// variables' values, null when unset.
bool WantColour(ColourMode mode, const char* no_colour, const char* term, bool output_is_terminal);

}  // namespace tolvik
