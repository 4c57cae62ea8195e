#pragma once
// The explicit bidirectional controls: embeddings and overrides (U+202A to
// U+202E) and isolates (U+2066 to U+2069). A user name or message holding
// one can turn the rest of a displayed line around (a name ending in U+202E
// makes "<name> text" read as someone else's line), so shown text loses them.
#include <cstddef>
#include <string>
#include <string_view>

namespace tolvik {

// Whether the UTF-8 bytes at the start of `text` encode one of the controls.
bool StartsWithDirectionControl(std::string_view text);

// Removes every control from the NUL-terminated UTF-8 text in place and
// returns the new length. Other bytes, valid UTF-8 or not, stay as they are.
size_t RemoveDirectionControls(char* text);

std::string WithoutDirectionControls(std::string_view text);

}  // namespace tolvik
