#pragma once
// The terminal program's local commands ("//reload", "//level Kick 5", ...)
// as a face sends them: run on the bot, answered in lines to that face.
#include <string>
#include <vector>

namespace tolvik {

class CHaldenDoc;

// Runs `line` ("//" and a command word) on the bot and returns what it says.
std::vector<std::string> RunFaceCommand(CHaldenDoc& doc, const std::string& line);

}  // namespace tolvik
