#include "bot/responses.h"

#include <cstring>

#include "display/chat_display.h"
#include "settings/config.h"
#include "bot/bot_owner.h"
#include "settings/font_records.h"
#include "storage/profile_file.h"
#include "bot/chat_bot.h"
#include "bot/read_word.h"

namespace tolvik {
namespace {

// A wildcard asterisk stands alone: "*x" and "x*" have one, "**x" and "x**" none.
bool SingleLeadingStar(std::string_view p) { return p.size() >= 2 && p[0] == '*' && p[1] != '*'; }
bool SingleTrailingStar(std::string_view p) { return p.size() >= 2 && p.back() == '*' && p[p.size() - 2] != '*'; }

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && SameName(s.substr(0, prefix.size()), prefix);
}
bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && SameName(s.substr(s.size() - suffix.size()), suffix);
}

}  // namespace

int ResponseTable::Load(const std::string& botIni, ChatDisplay* report) {
  names_.clear();
  // The whole key list is read (not a fixed-size buffer's worth), so no name
  // at the end is lost or cut in the middle; the limit below decides.
  std::vector<std::string> keys = ProfileFile::KeyNames(section_, botIni);
  for (const std::string& key : keys) {
    if (names_.size() == kMaxNames) {
      if (report != nullptr) report->print(TextType::BotInfo, "Error:  Limit of 128 response names exceeded");
      break;
    }
    names_.push_back(key.substr(0, kNameLength));
  }
  return count();
}

bool ResponseNameMatches(std::string_view pattern, std::string_view speaker) {
  const size_t length = pattern.size();
  std::string p(pattern);
  std::string n(speaker);
  if (length <= 1) {
    if (pattern == "*") return true;
  } else if (SingleLeadingStar(pattern)) {
    p.erase(0, 1);
    if (SingleTrailingStar(pattern))
      p.pop_back();
    else if (n.size() > length - 1)
      n.erase(length - 1, 1);
  } else if (SingleTrailingStar(pattern)) {
    p.pop_back();
    if (n.size() > p.size()) n.resize(p.size());
  }
  if (n.size() == p.size()) return SameName(n, p);
  return n.find(p) != std::string::npos;
}

bool GreetingNameMatches(std::string_view pattern, std::string_view name) {
  if (pattern == "*") return true;
  const bool leading = SingleLeadingStar(pattern);
  const bool trailing = SingleTrailingStar(pattern);
  if (leading && trailing && pattern.size() >= 3)
    return name.find(pattern.substr(1, pattern.size() - 2)) != std::string_view::npos;
  if (leading) return EndsWithNoCase(name, pattern.substr(1));
  if (trailing) return StartsWithNoCase(name, pattern.substr(0, pattern.size() - 1));
  return SameName(pattern, name);
}

std::optional<std::string> GreetingMatch(const ResponseTable& table, std::string_view name) {
  for (const std::string& pattern : table.names()) {
    if (!GreetingNameMatches(pattern, name)) continue;
    if (SameName(pattern, name)) return std::string(name);
    return pattern;
  }
  return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> ResponsePairs(std::string_view value) {
  // Single colons end items; a doubled colon is one literal colon.
  std::vector<std::string> items;
  std::string item;
  auto finish = [&] {
    if (!item.empty()) {
      if (item.size() >= 2 && item[0] == ' ' && item[1] == ':') item.erase(0, 1);
      items.push_back(std::move(item));
    }
    item.clear();
  };
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == ':' && i + 1 < value.size() && value[i + 1] == ':') {
      item += ':';
      ++i;
    } else if (c == ':' || c == '\n') {
      finish();
    } else {
      item += c;
    }
  }
  finish();

  std::vector<std::pair<std::string, std::string>> pairs;
  for (size_t i = 0; i + 1 < items.size(); i += 2) pairs.emplace_back(std::move(items[i]), std::move(items[i + 1]));
  return pairs;
}

// ---- The bot's side: loading, answering, and the talk and emote events ----

void ChatBot::LoadResponseTables() {
  for (ResponseTable* table : {&greet_table_, &part_table_, &respond_table_, &emote_table_})
    table->Load(paths_.botIni, &display_);
}

void ChatBot::AnswerFromTable(const ResponseTable& table, const char* speaker, const char* text) {
  for (const std::string& pattern : table.names()) {
    if (!ResponseNameMatches(pattern, speaker)) continue;
    std::string value;
    ProfileFile::Read(table.section(), pattern, kUnset, value, ResponseTable::kValueBuffer, paths_.botIni);
    for (const auto& [phrase, response] : ResponsePairs(value))
      if (SameName(phrase, text)) queue_.Say("%s\n", response.c_str());
  }
}

void ChatBot::AnswerTalk(const char* speaker, const char* text) { AnswerFromTable(respond_table_, speaker, text); }

void ChatBot::AnswerEmote(const char* speaker, const char* text) { AnswerFromTable(emote_table_, speaker, text); }

bool ChatBot::SendGreeting(const ResponseTable& table, const char* name) {
  std::optional<std::string> key = GreetingMatch(table, name);
  if (!key) return false;
  std::string line;
  ProfileFile::Read(table.section(), *key, kUnset, line, OutgoingQueue::kLineSize, paths_.botIni);
  // A key gone from Bot.ini since the load reads as the unset "\n": that is
  // no greeting, and no empty line goes to the server for it.
  queue_.Say("%s\n", AsOneLine(line).c_str());
  return true;
}

int ChatBot::OnTalk(const char* name, uint32_t flags, const char* text) {
  ChatConnection::OnTalk(name, flags, text);
  users_.setIdle(name, false);
  users_.touchUser(name);

  // A permanent highlight record of the speaker wins over the selection's.
  TextFormat format = display_.format(TextType::OthersText);
  TextType type = TextType::OthersText;
  if (owner_.GetToggles().HighlightUsers.state) {
    if (std::optional<TextFormat> own = LoadHighlightFormat(paths_.botIni, name)) {
      format = *own;
      type = TextType::Highlighted;
    } else if (users_.isSelected(name)) {
      format = display_.format(TextType::Highlighted);
      type = TextType::Highlighted;
    }
  }
  char line[512];
  std::snprintf(line, sizeof line, "<%s> %s", name, text);
  display_.showLine(type, line, format);

  protection_.OnChannelLine(name, text);
  TalkCommandInterpreter(name, flags, text);

  if (!owner_.GetToggles().AutoRespond.state) return 1;
  RunTalkHooks(name, text);
  AnswerTalk(name, text);
  return 1;
}

int ChatBot::OnEmote(const char* name, uint32_t flags, const char* text) {
  ChatConnection::OnEmote(name, flags, text);
  users_.setIdle(name, false);
  users_.touchUser(name);
  display_.print(TextType::Emotes, "<%s %s>", name, text);
  protection_.OnChannelLine(name, text);
  if (owner_.GetToggles().AutoRespond.state) AnswerEmote(name, text);
  RunEventHook("OnEmote", name, text);
  return 1;
}

}  // namespace tolvik
