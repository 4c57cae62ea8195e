#include "face/face_commands.h"

#include <cstdlib>
#include <string_view>

#include "aliases/alias_database.h"
#include "app/command_level.h"
#include "app/document.h"
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
  if (IsCommand(line, "//level", rest)) return {SetCommandLevel(doc, rest)};
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
