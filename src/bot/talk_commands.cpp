// Commands said in the channel and the operator's slash commands from the
// chat bar: the AutoKick/AutoBan switches, the dot commands, the away words
// and the list-editing commands, with [Talk] script overrides.
#include <strings.h>

#include <cstring>
#include <string>

#include "display/chat_display.h"
#include "bot/bot_owner.h"
#include "bot/chat_bot.h"
#include "bot/command_names.h"
#include "storage/profile_file.h"
#include "bot/read_word.h"

namespace tolvik {
namespace {

// What a [Talk] entry for the word does to the row.
enum class ScriptRule { None, Stop, Run };

bool IsOneOf(const std::string& word, std::initializer_list<const char*> words) {
  for (const char* w : words)
    if (word == w) return true;
  return false;
}

}  // namespace

void ChatBot::SendHelp(const char* speaker) {
  std::string list;
  int appended = 0;
  for (int i = 0; i < kCommandNameCount; ++i) {
    std::string_view name = kCommandNameTable[static_cast<size_t>(i)];
    if (SameName(name, "WhisperTagged") || SameName(name, "BanTagged") || SameName(name, "KickTagged")) continue;
    list += ' ';
    list += name;
    if (++appended % 6 == 0) {
      queue_.WhisperTo(speaker, "Commands: %s\n", list.c_str());
      list.clear();
    }
  }
  if (!list.empty()) queue_.WhisperTo(speaker, "Commands: %s\n", list.c_str());
}

void ChatBot::TalkCommandInterpreter(const char* speaker, uint32_t, const char* text) {
  const std::string word = LowerAscii(FirstWord(text));
  const int level = access_.GetUserLevel(speaker);
  const bool from_bot = SameName(speaker, OwnName());

  // Which row the word belongs to, and whether it may run at all.
  ScriptRule rule = ScriptRule::None;
  if (IsOneOf(word, {".autokick", "/autokick", ".autoban", "/autoban"})) {
    if (!is_operator_) return;  // the switches need operator status
    rule = ScriptRule::Stop;
  } else if (word == ".kick" || word == ".tempban") {
    rule = ScriptRule::Stop;
  } else if (IsOneOf(word, {"/tempban", "/tempbans", "/modlog"})) {
    if (!from_bot) return;  // only the operator's own chat bar
    rule = ScriptRule::Stop;
  } else if (IsOneOf(word, {".ban", ".unban", "/add", "/del", "/promote", "/demote", "/help", "/lookup", "/level",
                            "/lvl", "/unforward"})) {
    rule = ScriptRule::Run;
  } else if (IsOneOf(word, {"afk", "brb", "bbl", "bbiaf"})) {
    users_.setIdle(speaker, true);
    return;
  } else if (word == "/direct") {
    if (!from_bot) return;
    char name[30];
    ReadWord(text, 7, name, sizeof name, &display_);
    if (name[0] != '\0') owner_.OpenUserWhisperBar(name);
    return;
  } else {
    return;
  }

  // A [Talk] entry for the word replaces the built-in action, whether or not
  // the auto-responder is on.
  if (RunHook({"Talk", word, word, 4096}, speaker, text, rule == ScriptRule::Run && !from_bot)) return;

  auto allowed = [this, level](const char* key) { return level >= CommandLevel(key); };
  auto refuse = [this, speaker](const char* reply) { queue_.WhisperTo(speaker, "%s", reply); };

  if (word == ".autokick" || word == "/autokick") {
    if (!allowed("AutoKick")) return refuse("Insufficient Access Level\n");
    auto_kick_ = !auto_kick_;
    queue_.Say(auto_kick_ ? "AutoKick now ON\n" : "AutoKick now OFF\n");
  } else if (word == ".autoban" || word == "/autoban") {
    if (!allowed("AutoBan")) return refuse("Insufficient Access Level\n");
    auto_ban_ = !auto_ban_;
    queue_.Say(auto_ban_ ? "AutoBan now ON\n" : "AutoBan now OFF\n");
  } else if (word == ".kick") {
    if (!is_operator_) return;
    if (allowed("Kick"))
      access_.KickUser(text, speaker, level, false);
    else if (allowed("KickTagged"))
      access_.KickUser(text, speaker, level, true);
    else
      refuse("Insufficent access level\n");
  } else if (word == ".ban") {
    if (!is_operator_) return;
    if (allowed("Ban"))
      access_.BanUser(text, speaker, level, false);
    else if (allowed("BanTagged"))
      access_.BanUser(text, speaker, level, true);
    else
      refuse("Insufficent access level\n");
  } else if (word == ".tempban" || word == "/tempban") {
    if (word == ".tempban" && !is_operator_) return;
    if (level < protection_.TempBanLevel() && !from_bot) return refuse("Insufficient access level\n");
    protection_.TempBanCommand(text, speaker, from_bot ? 9999 : level);
  } else if (word == "/tempbans") {
    protection_.ListTempBans(speaker);
  } else if (word == "/modlog") {
    protection_.ModLogCommand(text, speaker);
  } else if (word == ".unban") {
    if (!is_operator_) return;
    if (allowed("Unban"))
      access_.UnbanUser(text, speaker, level);
    else
      refuse("Insufficient access level\n");
  } else if (word == "/add" || word == "/del" || word == "/promote" || word == "/demote") {
    const char* key = word == "/add" ? "Add" : word == "/del" ? "Del" : word == "/promote" ? "Promote" : "Demote";
    if (!allowed(key)) return refuse("Insufficient access level\n");
    // The override belongs to the operator's own chat bar; anyone else saying
    // these words is held to the same level limits as in a whisper.
    const bool override_levels = from_bot;
    if (word == "/add") access_.AddUser(text, speaker, override_levels);
    if (word == "/del") access_.DelUser(text, speaker, override_levels);
    if (word == "/promote") access_.PromoteUser(text, speaker, override_levels);
    if (word == "/demote") access_.DemoteUser(text, speaker, override_levels);
  } else if (word == "/help") {
    SendHelp(OwnName());
  } else if (word == "/lookup") {
    char name[20];
    ReadWord(text, 8, name, sizeof name, &display_);
    aliases_.showAliases(name, speaker);
  } else if (word == "/level" || word == "/lvl") {
    const size_t n = word.size() + 1;
    if (std::strlen(text) > n) {
      char name[30];
      ReadWord(text, n, name, sizeof name, &display_);
      queue_.WhisperTo(speaker, "%s is level %d\n", name, access_.GetUserLevel(name));
    } else {
      queue_.WhisperTo(speaker, "You are level %d\n", level);
    }
  } else if (word == "/unforward") {
    forward_target_.clear();
    display_.print(TextType::BotInfo, "Forwarding off");
  }
}


}  // namespace tolvik
