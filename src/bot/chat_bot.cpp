#include "bot/chat_bot.h"

#include <strings.h>

#include <cstring>

#include "storage/atomic_file.h"
#include "display/chat_display.h"
#include "net/connection_state.h"
#include "bot/bot_owner.h"
#include "storage/profile_file.h"
#include "bot/read_word.h"

namespace tolvik {

void RecentChannels::add(const char* name) {
  for (int i = 0; i < count_; ++i)
    if (strcasecmp(names_[i].c_str(), name) == 0) return;
  names_[position_] = name;
  position_ = (position_ + 1) % kCapacity;
  if (count_ < kCapacity) ++count_;
}

ChatBot::ChatBot(BotOwner& owner, ChatDisplay& display, const ConfigPaths& paths)
    : owner_(owner),
      display_(display),
      paths_(paths),
      queue_(*this, &display),
      access_(*this, pending_),
      scripts_(*this, [this](const char* name) { return access_.GetUserLevel(name); }),
      aliases_(paths.workingDirectory, display, *this),
      users_([this](const char* name) { return access_.GetUserLevel(name); }) {}

void ChatBot::ClearUserList() {
  users_.clearUsers();
  users_.setLabel(" ");
}

ChatBot::~ChatBot() { queue_.Stop(); }

int ChatBot::CommandLevel(const char* key) const {
  const int32_t* level = settings_.commands.Find(key);
  return level != nullptr ? *level : -1;
}

void ChatBot::UserLevelChanged(const char* name, int level) { users_.setUserLevel(name, level); }

void ChatBot::reply(const char* recipient, const char* line) { queue_.WhisperTo(recipient, "%s", line); }

void ChatBot::RecordPendingCommand(const char* line, const char* speaker) {
  pending_.RecordPendingCommand(line, speaker, &display_);
}

bool ChatBot::RunHook(const Hook& hook, const char* speaker, const char* text, bool run) {
  std::string script;
  if (hook.key.empty() || !ProfileFile::Read(hook.section, hook.key, "", script, hook.limit, paths_.scriptIni))
    return false;
  // An entry with an empty value names no script: it is found (so it still
  // replaces a built-in command) but nothing runs.
  if (!run || script.empty()) return true;
  if (!hook.shown.empty()) display_.print(TextType::BotInfo, "Script: %s", hook.shown.c_str());
  RunScript(script, speaker, text);
  return true;
}

void ChatBot::RunEventHook(const char* hook, const char* name, const char* text) {
  if (!owner_.GetToggles().AutoRespond.state) return;
  RunHook({"Events", hook, hook}, name, text);
}

void ChatBot::RunTalkHooks(const char* speaker, const char* text) {
  if (!owner_.GetToggles().AutoRespond.state) return;
  const std::string word(text, std::strcspn(text, " "));
  RunHook({"Talk", word, word}, speaker, text);
  RunHook({"Events", "OnTalk", ""}, speaker, text);
}

void ChatBot::LoadBotSettings() {
  settings_ = tolvik::LoadBotSettings(paths_.botIni);
  for (size_t i = 0; i < heirs_.names.size(); ++i) heirs_.names[i] = settings_.designate[i];
  const Restrictions& r = settings_.restrictions;
  counters_.limits = {r.NumBots, r.NumBW, r.NumSC, r.NumSCSware, r.NumDiablo, r.NumDiabloSW, r.NumWC};
  protection_.Load();
}

void ChatBot::RecordModeration(const char* actor, const char* action, const char* target, const char* reason) {
  protection_.RecordAction(actor, action, target, reason);
}

bool ChatBot::IsLocalCommand(const char* text) {
  const std::string word = LowerAscii(FirstWord(text));
  return word == "/tempban" || word == "/tempbans" || word == "/modlog";
}

void ChatBot::OnMinuteTick() {
  users_.markIdleUsers();
  leavers_.advance();
  protection_.OnMinuteTick();
}
void ChatBot::OnFastTick() {
  SendDueDesignations();
  RejoinTick();
}

void ChatBot::OnEventLineArrived() { owner_.SetState(Connected); }

int ChatBot::OnRawLine(const char* name, uint32_t flags, const char* text) {
  ChatConnection::OnRawLine(name, flags, text);
  if (owner_.GetToggles().ViewText.state) display_.print(TextType::BnetInfo, "%s", text);
  if (std::strstr(text, "password.") != nullptr) {
    SendLine("%s\r\n%s\r\n", Account(), Password());
    owner_.SetState(VerifyingNameAndPassword);
  }
  if (std::strstr(text, "refused") != nullptr) owner_.SetState(ConnectionRefused);
  if (strcasecmp(text, "Login Incorrect") == 0) owner_.SetState(LoginFailed);
  return 1;
}

int ChatBot::OnName(const char* name, uint32_t flags, const char* text) {
  ChatConnection::OnName(name, flags, text);
  return 1;
}

int ChatBot::OnChannel(const char* name, uint32_t flags, const char* text) {
  ChatConnection::OnChannel(name, flags, text);
  users_.clearUsers();
  is_operator_ = false;
  heirs_.clearPresence();
  designations_.clear();  // they were meant for the channel left behind
  display_.print(TextType::BnetInfo, "Joining Channel: %s", text);
  recent_.add(text);
  last_seen_.clear();
  counters_.reset();
  protection_.OnChannel();
  const std::string& join = settings_.joinMsg;
  if (!IsUnset(join) && !IsUnset(HomeChannel()) && strcasecmp(text, HomeChannel()) == 0)
    queue_.Say("%s\n", AsOneLine(join).c_str());
  RunEventHook("OnChannel", name, text);
  return 1;
}

int ChatBot::OnBroadcast(const char* name, uint32_t, const char* text) {
  display_.print(TextType::BnetInfo, "%s", text);
  RunEventHook("OnBroadcast", name, text);
  return 1;
}

int ChatBot::OnWhisperSent(const char* name, uint32_t, const char* text) {
  display_.print(TextType::Whispers, "<To: %s> %s", name, text);
  RunEventHook("OnWhisperSent", name, text);
  return 1;
}

int ChatBot::OnNull(const char*, uint32_t, const char*) {
  if (owner_.GetToggles().ViewPings.state) display_.print(TextType::BnetInfo, "%s", LoadPingText(paths_.botIni).c_str());
  return 1;
}

// A channel the bot could not enter: shown, then the script hook; the bot stays where it is.
int ChatBot::ChannelRefused(const char* format, const char* hook, const char* name, const char* text) {
  display_.print(TextType::BnetInfo, format, name, text);
  RunEventHook(hook, name, text);
  return 1;
}

int ChatBot::OnChannelFull(const char* name, uint32_t, const char* text) {
  return ChannelRefused("OnChannelFull chanfull<%s> %s", "OnChannelFull", name, text);
}

int ChatBot::OnChannelDoesNotExist(const char* name, uint32_t, const char* text) {
  return ChannelRefused("OnChannelDoesNotExit chandne<%s> %s", "OnChannelDoesNotExist", name, text);
}

int ChatBot::OnChannelRestricted(const char* name, uint32_t, const char* text) {
  return ChannelRefused("OnChannelRestricted chanrest<%s> %s", "OnChannelRestricted", name, text);
}

bool ChatBot::RunScript(const std::string& path, const char* speaker, const char* text) {
  // Relative script paths name files of the working directory, wherever the
  // process happens to be.
  std::string full = !path.empty() && path[0] != '/' ? JoinPath(paths_.workingDirectory, path) : path;
  const bool ran = scripts_.RunHook(full.c_str(), speaker, text);
  ForgetReadFiles();  // the script may have written any file
  return ran;
}


}  // namespace tolvik
