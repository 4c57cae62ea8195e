#include "cli/typed_lines.h"

#include <cstdlib>
#include <string_view>
#include <vector>

#include "aliases/alias_database.h"
#include "app/chat_bar.h"
#include "net/connection_state.h"
#include "app/document.h"
#include "app/toggle_switch.h"
#include "bot/chat_bot.h"
#include "bot/moderation_record.h"
#include "cli/cli_host.h"
#include "cli/console_output.h"
#include "cli/level_command.h"

namespace tolvik {
namespace {

const char kHelp[] =
    "-- Local commands (anything else is sent to the channel):\n"
    "--   //connect          connect to the server of Bot.ini [Init]\n"
    "--   //disconnect       close the connection\n"
    "--   //reload           read Bot.ini's responses, settings and colours again\n"
    "--   //status           show the connection status\n"
    "--   //toggle NAME      switch a [Toggles] key, e.g. //toggle ViewEnterLeave\n"
    "--   //level COMMAND N  set the level COMMAND needs (0 to 10)\n"
    "--   //reindex          rebuild the alias database from Aliases.db\n"
    "--   //modlog [N]       the last N actions of the moderation record (10)\n"
    "--   //help             this list\n"
    "--   //quit             leave the channel and end the program";

// "//word" followed by nothing or by a space.
bool IsCommand(const std::string& line, std::string_view word) {
  return line.compare(0, word.size(), word) == 0 && (line.size() == word.size() || line[word.size()] == ' ');
}

std::string Trimmed(std::string text) {
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

const char* TypedLines::Help() { return kHelp; }

std::string StatusLine(const std::string& status_text) {
  std::string text = status_text;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (!text.empty() && text.back() == ':') text.pop_back();
  return "-- Status: " + text;
}

void TypedLines::Run(const std::string& line) {
  if (line.empty()) return;
  if (line.compare(0, 2, "//") != 0) {
    if (doc_.State() != Connected) {
      out_.Line("-- Not connected: the line was not sent (//connect connects; Up recalls the line).");
      return;
    }
    chat_bar_.setText(line);
    chat_bar_.sendChatLine();
    return;
  }
  if (IsCommand(line, "//quit")) {
    host_.RequestStop();
  } else if (IsCommand(line, "//help")) {
    std::string_view rest = kHelp;
    while (!rest.empty()) {
      const size_t end = rest.find('\n');
      out_.Line(rest.substr(0, end));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
  } else if (IsCommand(line, "//connect")) {
    doc_.Connect();
  } else if (IsCommand(line, "//disconnect")) {
    doc_.Disconnect();
  } else if (IsCommand(line, "//reload")) {
    doc_.ReloadBotIni();
  } else if (IsCommand(line, "//level")) {
    out_.Line("-- " + RunLevelCommand(doc_, std::string_view(line).substr(7)));
  } else if (IsCommand(line, "//reindex")) {
    AliasDatabase& aliases = doc_.Bot().Aliases();
    aliases.reindex();
    out_.Printf("-- Alias database: %d records indexed", static_cast<int>(aliases.count()));
  } else if (IsCommand(line, "//modlog")) {
    ShowModLog(line.substr(std::string_view("//modlog").size()));
  } else if (IsCommand(line, "//toggle")) {
    SwitchToggle(line.substr(std::string_view("//toggle").size()));
  } else if (IsCommand(line, "//status")) {
    out_.Line(StatusLine(doc_.StatusText()));
  } else {
    out_.Line("-- Unknown command " + line.substr(0, line.find(' ')) + "; //help lists the local commands.");
  }
}

// "//modlog [N]": the newest N entries of moderation.log, oldest first.
void TypedLines::ShowModLog(std::string arg) {
  arg = Trimmed(std::move(arg));
  int count = 10;
  if (!arg.empty()) {
    char* end = nullptr;
    const long n = std::strtol(arg.c_str(), &end, 10);
    if (*end != '\0' || n < 1 || n > 10000) {
      out_.Line("-- //modlog N: N is a number from 1 to 10000");
      return;
    }
    count = static_cast<int>(n);
  }
  const std::vector<ModerationEntry> entries =
      ReadModerationRecord(doc_.Bot().WorkingDir(), static_cast<size_t>(count));
  if (entries.empty()) {
    out_.Line("-- The moderation record is empty");
    return;
  }
  for (const ModerationEntry& e : entries) out_.Line("-- " + DescribeModerationEntry(e));
}

// "//toggle NAME": flips the toggle and says its new state.
void TypedLines::SwitchToggle(std::string name) {
  name = Trimmed(std::move(name));
  const ToggleKey* key = FindToggleKey(name);
  if (!key) {
    std::string keys;
    for (const ToggleKey& k : kToggleKeys) keys += std::string(keys.empty() ? "" : " ") + k.key;
    out_.Line("-- Unknown toggle '" + name + "'; one of: " + keys);
    return;
  }
  const bool on = !(doc_.GetToggles().*key->field).state;
  tolvik::SwitchToggle(doc_, *key, on);
  out_.Line(std::string("-- ") + key->key + ": " + (on ? "on" : "off"));
}

}  // namespace tolvik
