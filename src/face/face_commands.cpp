#include "face/face_commands.h"

#include <cstdlib>
#include <sstream>
#include <string_view>

#include "aliases/alias_database.h"
#include "app/document.h"
#include "app/sheets/access_page.h"
#include "app/toggle_switch.h"
#include "bot/chat_bot.h"
#include "bot/moderation_record.h"

namespace tolvik {
namespace {

// "//word" followed by nothing or by a space; `rest` gets what follows, trimmed.
bool IsCommand(const std::string& line, std::string_view word, std::string& rest) {
  if (line.compare(0, word.size(), word) != 0 || (line.size() != word.size() && line[word.size()] != ' '))
    return false;
  rest = line.substr(word.size());
  while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
  while (!rest.empty() && rest.back() == ' ') rest.pop_back();
  return true;
}

std::string SetLevel(CHaldenDoc& doc, const std::string& args) {
  std::istringstream words{args};
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

}  // namespace

std::vector<std::string> RunFaceCommand(CHaldenDoc& doc, const std::string& line) {
  std::string rest;
  if (IsCommand(line, "//connect", rest)) {
    doc.Connect();
    return {};
  }
  if (IsCommand(line, "//disconnect", rest)) {
    doc.Disconnect();
    return {};
  }
  if (IsCommand(line, "//reload", rest)) {
    doc.ReloadBotIni();
    return {};
  }
  if (IsCommand(line, "//status", rest)) return {"Status: " + doc.StatusText()};
  if (IsCommand(line, "//level", rest)) return {SetLevel(doc, rest)};
  if (IsCommand(line, "//reindex", rest)) {
    AliasDatabase& aliases = doc.Bot().Aliases();
    aliases.reindex();
    return {"Alias database: " + std::to_string(aliases.count()) + " records indexed"};
  }
  if (IsCommand(line, "//toggle", rest)) {
    const ToggleKey* key = FindToggleKey(rest);
    if (key == nullptr) {
      std::string keys;
      for (const ToggleKey& k : kToggleKeys) keys += std::string(keys.empty() ? "" : " ") + k.key;
      return {"Unknown toggle '" + rest + "'; one of: " + keys};
    }
    const bool on = !(doc.GetToggles().*key->field).state;
    SwitchToggle(doc, *key, on);
    return {std::string(key->key) + ": " + (on ? "on" : "off")};
  }
  if (IsCommand(line, "//modlog", rest)) {
    long count = 10;
    if (!rest.empty()) {
      char* end = nullptr;
      count = std::strtol(rest.c_str(), &end, 10);
      if (*end != '\0' || count < 1 || count > 10000) return {"//modlog N: N is a number from 1 to 10000"};
    }
    const std::vector<ModerationEntry> entries =
        ReadModerationRecord(doc.Bot().WorkingDir(), static_cast<size_t>(count));
    if (entries.empty()) return {"The moderation record is empty"};
    std::vector<std::string> lines;
    for (const ModerationEntry& e : entries) lines.push_back(DescribeModerationEntry(e));
    return lines;
  }
  return {"Unknown command " + line.substr(0, line.find(' ')) + "; //help lists the local commands."};
}

}  // namespace tolvik
