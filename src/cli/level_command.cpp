#include "cli/level_command.h"

#include "app/command_level.h"

namespace tolvik {

std::string RunLevelCommand(CHaldenDoc& doc, std::string_view args) { return SetCommandLevel(doc, args); }

}  // namespace tolvik
