#include "cli/colour_choice.h"

#include <cstring>

namespace tolvik {

bool WantColour(ColourMode mode, const char* no_colour, const char* term, bool output_is_terminal) {
  if (mode == ColourMode::Always) return true;
  if (mode == ColourMode::Never) return false;
  if (no_colour != nullptr) return false;
  if (term == nullptr || *term == '\0' || std::strcmp(term, "dumb") == 0) return false;
  return output_is_terminal;
}

}  // namespace tolvik
