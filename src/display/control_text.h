#pragma once
// Text from a server or a user on its way to a terminal, a status line or a
// log: every control character becomes '?', so none of it can start an
// escape sequence (colours, window titles, clipboard writes) or reorder what
// follows.
#include <string>
#include <string_view>

namespace tolvik {

// `text` with every control character shown as '?': the C0 bytes and DEL,
// and the C1 controls (U+0080 to U+009F, as UTF-8 or as single bytes), any
// of which a terminal may take as the start of an escape sequence. Other
// bytes pass unchanged.
std::string WithControlsShown(std::string_view text);

// The cleaning every shown line gets: the direction controls removed, then
// the other controls shown as '?'.
std::string CleanShownText(std::string_view text);

}  // namespace tolvik
