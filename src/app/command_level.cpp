#include "app/command_level.h"

#include <sstream>

#include "app/document.h"
#include "app/sheets/access_page.h"
#include "bot/chat_bot.h"

namespace tolvik {

std::string SetCommandLevel(CHaldenDoc& doc, std::string_view args) {
  std::istringstream words{std::string(args)};
  std::string command, level, extra;
  words >> command >> level >> extra;
  if (command.empty() || level.empty() || !extra.empty()) return "Usage: //level COMMAND N (N from 0 to 10)";

  AccessPage page(doc.Paths().workingDirectory);
  page.Init();
  if (!page.ChooseCommand(command)) {
    std::string names;
    for (const std::string& name : page.commands()) names += (names.empty() ? "" : " ") + name;
    return "There is no command " + command + "; the commands are: " + names;
  }
  page.SetCommandLevelText(level);
  PageOutcome saved = page.SaveCommandLevel();
  if (!saved) return saved.message;
  doc.Bot().LoadBotSettings();
  return "Level Required for " + page.chosenCommand() + ": " + page.commandLevelText();
}

}  // namespace tolvik
