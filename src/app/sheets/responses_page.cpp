#include "app/sheets/responses_page.h"

#include <algorithm>

#include "settings/config.h"
#include "storage/profile_file.h"
#include "bot/chat_bot.h"
#include "bot/read_word.h"
#include "bot/responses.h"
#include "net/outgoing_queue.h"

namespace tolvik {
namespace {

// What the profile writer doubles, undone for showing.
constexpr std::string_view kStoredEscapes = "=[]";

std::string DoubleColons(std::string_view text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == ':') out += ':';
  }
  return out;
}

std::string SingleColons(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == ':' && i + 1 < text.size() && text[i + 1] == ':') ++i;
  }
  return out;
}

bool HasLineBreakOrTab(std::string_view text) { return text.find_first_of("\t\r\n") != std::string_view::npos; }

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace

const std::array<ResponsesPage::MessageType, 7> ResponsesPage::kTypes = {{
    {"Respond to Normal Text", "AutoRespond", nullptr, Kind::Responses},
    {"Respond to Emote (/Me command)", "AutoRespondToEmote", nullptr, Kind::Responses},
    {"Respond to Join (User Joining the Channel)", "AutoGreet", nullptr, Kind::Greeting},
    {"Respond to Exit (User Leaving the Channel)", "AutoPart", nullptr, Kind::Greeting},
    {"Message When Joining Home Channel", "AutoSend", "Join", Kind::AutoSend},
    {"Message When Exiting Bot", "AutoSend", "Leave", Kind::AutoSend},
    {"Anti-Idle Message", "AutoSend", "AntiIdleMsg", Kind::AutoSend},
}};

ResponsesPage::ResponsesPage(std::string botIni, ChatBot* bot) : bot_ini_(std::move(botIni)), bot_(bot) {}

std::string ResponsesPage::ComposeValue(const std::vector<std::pair<std::string, std::string>>& pairs) {
  std::string value;
  auto add = [&](const std::string& item) {
    if (!value.empty()) value += ':';
    if (!item.empty() && item[0] == ':') value += ' ';
    value += DoubleColons(item);
  };
  for (const auto& [phrase, response] : pairs) {
    add(phrase);
    add(response);
  }
  return value;
}

const ResponsesPage::MessageType* ResponsesPage::type() const {
  return type_ < 0 ? nullptr : &kTypes[static_cast<size_t>(type_)];
}

bool ResponsesPage::nameEnabled() const { return type() != nullptr && type()->kind != Kind::AutoSend; }
bool ResponsesPage::phraseEnabled() const { return type() != nullptr && type()->kind == Kind::Responses; }

std::vector<std::string> ResponsesPage::TableNames() const {
  const std::string section = type()->section;
  if (bot_ != nullptr) {
    for (const ResponseTable* table : {&bot_->AutoRespondTable(), &bot_->AutoRespondToEmoteTable(),
                                       &bot_->AutoGreetTable(), &bot_->AutoPartTable()})
      if (table->section() == section) return table->names();
    return {};
  }
  ResponseTable table(section);
  table.Load(bot_ini_, nullptr);
  return table.names();
}

std::string ResponsesPage::CurrentMessage() const {
  BotSettings loaded;
  const BotSettings& settings = bot_ != nullptr ? bot_->Settings() : (loaded = LoadBotSettings(bot_ini_));
  std::string_view key = type()->key;
  const std::string& text = key == "Join" ? settings.joinMsg : key == "Leave" ? settings.leaveMsg : settings.antiIdleMsg;
  return IsUnset(text) ? std::string() : ProfileFile::Unescape(AsOneLine(text), kStoredEscapes);
}

void ResponsesPage::ChooseType(int index) {
  type_ = index >= 0 && index < static_cast<int>(kTypes.size()) ? index : -1;
  names_.clear();
  name_index_ = -1;
  name_text_.clear();
  ClearValue();
  if (type() == nullptr) return;
  if (type()->kind == Kind::AutoSend) {
    stored_line_ = CurrentMessage();
    response_text_ = stored_line_;
  } else {
    names_ = TableNames();
  }
}

void ResponsesPage::ClearValue() {
  phrases_.clear();
  responses_.clear();
  phrase_index_ = -1;
  phrase_text_.clear();
  response_text_.clear();
  stored_line_.clear();
}

void ResponsesPage::LoadValue() {
  ClearValue();
  std::string value;
  ProfileFile::Read(type()->section, name_text_, kUnset, value, ResponseTable::kValueBuffer, bot_ini_);
  if (IsUnset(value)) return;
  value = ProfileFile::Unescape(value, kStoredEscapes);
  if (type()->kind == Kind::Greeting) {
    stored_line_ = SingleColons(value);
    response_text_ = stored_line_;
    return;
  }
  // Every stored pair is kept, so a save never drops any; only adding is
  // limited to kMaxPhrases.
  for (auto& [phrase, response] : ResponsePairs(value)) {
    phrases_.push_back(std::move(phrase));
    responses_.push_back(std::move(response));
  }
}

void ResponsesPage::ChooseName(int index) {
  if (!nameEnabled() || index < 0 || index >= static_cast<int>(names_.size())) return;
  name_index_ = index;
  name_text_ = names_[static_cast<size_t>(index)];
  LoadValue();
}

void ResponsesPage::TypeName(std::string_view text) {
  if (!nameEnabled()) return;
  name_text_ = CutToLimit(text, kNameLimit);
  for (size_t i = 0; i < names_.size(); ++i) {
    if (SameName(names_[i], name_text_)) {
      ChooseName(static_cast<int>(i));
      return;
    }
  }
  name_index_ = -1;
  ClearValue();
}

void ResponsesPage::ChoosePhrase(int index) {
  if (!phraseEnabled() || index < 0 || index >= static_cast<int>(phrases_.size())) return;
  phrase_index_ = index;
  phrase_text_ = phrases_[static_cast<size_t>(index)];
  response_text_ = responses_[static_cast<size_t>(index)];
}

void ResponsesPage::TypePhrase(std::string_view text) {
  if (!phraseEnabled()) return;
  phrase_text_ = std::string(text);
  for (size_t i = 0; i < phrases_.size(); ++i) {
    if (SameName(phrases_[i], phrase_text_)) {
      ChoosePhrase(static_cast<int>(i));
      return;
    }
  }
  phrase_index_ = -1;
}

std::string ResponsesPage::StoredResponse() const {
  if (phraseEnabled()) return phrase_index_ < 0 ? std::string() : responses_[static_cast<size_t>(phrase_index_)];
  return stored_line_;
}

bool ResponsesPage::deleteEnabled() const {
  if (type() == nullptr) return false;
  bool name_chosen = !nameEnabled() || name_index_ >= 0;
  bool phrase_chosen = !phraseEnabled() || phrase_index_ >= 0;
  return name_chosen && phrase_chosen && response_text_ == StoredResponse();
}

bool ResponsesPage::saveEnabled() const {
  if (type() == nullptr || deleteEnabled()) return false;
  bool name_filled = !nameEnabled() || !name_text_.empty();
  bool phrase_filled = !phraseEnabled() || !phrase_text_.empty();
  return name_filled && phrase_filled && !response_text_.empty();
}

void ResponsesPage::Reload() {
  if (bot_ == nullptr) return;
  // Reloading the settings puts back the heirs of Bot.ini; the heirs page's
  // edits are only written when the sheet is confirmed, so they stay.
  HeirTable heirs = bot_->Heirs();
  bot_->LoadBotSettings();
  bot_->Heirs() = heirs;
  bot_->LoadResponseTables();
}

// After a write: the lists as the bot now has them, the same name and phrase chosen.
void ResponsesPage::Refresh() {
  const std::string name = name_text_;
  const std::string phrase = phrase_text_;
  ChooseType(type_);
  if (type()->kind == Kind::AutoSend) return;
  TypeName(name);
  if (phraseEnabled() && !phrase.empty()) TypePhrase(phrase);
}

PageOutcome ResponsesPage::WriteValue(const std::string& key, const std::string& value) {
  if (!ProfileFile::Write(type()->section, key, value, bot_ini_))
    return PageOutcome::Refused("[" + std::string(type()->section) + "] " + key + " could not be saved in Bot.ini.");
  Reload();
  Refresh();
  return PageOutcome::Done();
}

PageOutcome ResponsesPage::Save() {
  if (type() == nullptr) return PageOutcome::Refused("Choose a message type first.");
  if (nameEnabled()) {
    if (name_text_.empty()) return PageOutcome::Refused("Type the name to respond to first.");
    if (name_text_.find_first_of(" :\t\r\n") != std::string::npos || name_text_[0] == ';')
      return PageOutcome::Refused("The name " + Quoted(name_text_) +
                                  " cannot be stored: a name has no blanks or colons and does not begin with \";\".");
  }
  if (phraseEnabled() && phrase_text_.empty()) return PageOutcome::Refused("Type the phrase to respond to first.");
  if (response_text_.empty()) return PageOutcome::Refused("Type the response first.");
  if (HasLineBreakOrTab(phrase_text_) || HasLineBreakOrTab(response_text_))
    return PageOutcome::Refused("Phrases and responses are single lines without tabs.");

  std::string key = type()->kind == Kind::AutoSend ? std::string(type()->key) : name_text_;
  std::string value;
  size_t limit = ResponseTable::kValueBuffer - 1;
  switch (type()->kind) {
    case Kind::Responses: {
      std::vector<std::pair<std::string, std::string>> pairs;
      if (name_index_ < 0) {
        // A name the list does not show may still have phrases in Bot.ini
        // (added by hand since the tables were loaded): keep them.
        std::string stored;
        ProfileFile::Read(type()->section, name_text_, kUnset, stored, ResponseTable::kValueBuffer, bot_ini_);
        if (!IsUnset(stored)) pairs = ResponsePairs(ProfileFile::Unescape(stored, kStoredEscapes));
      } else {
        for (size_t i = 0; i < phrases_.size(); ++i) pairs.emplace_back(phrases_[i], responses_[i]);
      }
      auto same = std::find_if(pairs.begin(), pairs.end(),
                               [&](const auto& pair) { return SameName(pair.first, phrase_text_); });
      if (phrase_index_ >= 0) {
        pairs[static_cast<size_t>(phrase_index_)].second = response_text_;
      } else if (same != pairs.end()) {
        same->second = response_text_;
      } else {
        if (pairs.size() >= kMaxPhrases)
          return PageOutcome::Refused(Quoted(name_text_) + " already has " + std::to_string(kMaxPhrases) +
                                      " phrases; delete one first.");
        pairs.emplace_back(phrase_text_, response_text_);
      }
      value = ComposeValue(pairs);
      break;
    }
    case Kind::Greeting:
      value = DoubleColons(response_text_);
      limit = static_cast<size_t>(OutgoingQueue::kLineSize) - 1;  // what a greeting is read with
      break;
    case Kind::AutoSend:
      value = response_text_;
      limit = kAutoSendLimit;
      break;
  }
  if (ProfileFile::Escape(value, ProfileFile::kWriteEscapes).size() > limit)
    return PageOutcome::Refused("That is too long to be read back; keep it under " + std::to_string(limit) +
                                " characters as stored.");
  return WriteValue(key, value);
}

PageOutcome ResponsesPage::Delete() {
  if (!deleteEnabled()) return PageOutcome::Refused("Choose what to delete first.");
  if (type()->kind == Kind::AutoSend) return WriteValue(type()->key, "");
  if (type()->kind == Kind::Greeting) return WriteValue(name_text_, "");
  std::vector<std::pair<std::string, std::string>> pairs;
  for (size_t i = 0; i < phrases_.size(); ++i)
    if (static_cast<int>(i) != phrase_index_) pairs.emplace_back(phrases_[i], responses_[i]);
  phrase_text_.clear();
  return WriteValue(name_text_, ComposeValue(pairs));
}

}  // namespace tolvik
