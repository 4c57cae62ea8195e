#pragma once
// "//level COMMAND N" as typed in the terminal or sent by a face: sets the
// level a command needs, with the rules of the access settings, and makes
// the bot use it at once.
#include <string>
#include <string_view>

namespace tolvik {

class CHaldenDoc;

// `args` is what follows "//level". Returns the line to show.
std::string SetCommandLevel(CHaldenDoc& doc, std::string_view args);

}  // namespace tolvik
