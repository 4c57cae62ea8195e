#pragma once
// The bot: the connection, its outgoing queue and everything it decides.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "aliases/alias_database.h"
#include "settings/config.h"
#include "bot/user_list.h"
#include "bot/access_list.h"
#include "bot/bot_context.h"
#include "bot/pending_actions.h"
#include "bot/protection.h"
#include "bot/responses.h"
#include "bot/roster_state.h"
#include "bot/script_bridge.h"
#include "bot/whisper_interpreter.h"
#include "net/chat_connection.h"
#include "net/outgoing_queue.h"

namespace tolvik {

class BotOwner;
class ChatDisplay;

// Channels entered, without repeats (names compared ignoring case); the
// 31st distinct channel replaces the oldest.
class RecentChannels {
 public:
  static constexpr int kCapacity = 30;
  void add(const char* name);
  int count() const { return count_; }
  const std::string& at(int slot) const { return names_[slot]; }

 private:
  std::array<std::string, kCapacity> names_;
  int count_ = 0;
  int position_ = 0;
};

class ChatBot : public ChatConnection, public BotContext, public AliasHost {
 public:
  ChatBot(BotOwner& owner, ChatDisplay& display, const ConfigPaths& paths);
  ~ChatBot() override;

  // BotContext
  OutgoingQueue& Queue() override { return queue_; }
  ChatDisplay& Display() override { return display_; }
  const char* OwnName() const override { return ChatConnection::OwnName(); }
  const char* CurrentChannel() const override { return ChatConnection::CurrentChannel(); }
  const char* HomeChannel() const override { return ChatConnection::HomeChannel(); }
  int CommandLevel(const char* key) const override;
  void UserLevelChanged(const char* name, int level) override;
  const std::string& WorkingDir() const override { return paths_.workingDirectory; }
  void RecordModeration(const char* actor, const char* action, const char* target, const char* reason) override;

  // AliasHost
  void reply(const char* recipient, const char* line) override;

  const ConfigPaths& Paths() const { return paths_; }
  const BotSettings& Settings() const { return settings_; }
  // [Commands], [Restrictions], [AutoSend], [Security], [AutoDesignate].
  void LoadBotSettings();

  // Login and channel events.
  int OnRawLine(const char* name, uint32_t flags, const char* text) override;
  int OnName(const char* name, uint32_t flags, const char* text) override;
  int OnChannel(const char* name, uint32_t flags, const char* text) override;
  int OnBroadcast(const char* name, uint32_t flags, const char* text) override;
  int OnWhisperSent(const char* name, uint32_t flags, const char* text) override;
  int OnNull(const char* name, uint32_t flags, const char* text) override;
  int OnChannelFull(const char* name, uint32_t flags, const char* text) override;
  int OnChannelDoesNotExist(const char* name, uint32_t flags, const char* text) override;
  int OnChannelRestricted(const char* name, uint32_t flags, const char* text) override;
  void OnEventLineArrived() override;
  int ChannelRefused(const char* format, const char* hook, const char* name, const char* text)
      __attribute__((format(printf, 2, 0)));

  // Commands said in the channel (dot commands, switch words, away words) and
  // the operator's slash commands typed in the chat bar (speaker = own name).
  void TalkCommandInterpreter(const char* speaker, uint32_t flags, const char* text);
  // The AutoKick and AutoBan switches (off at start, not saved).
  bool AutoKick() const { return auto_kick_; }
  bool AutoBan() const { return auto_ban_; }
  void SetAutoKick(bool on) { auto_kick_ = on; }
  void SetAutoBan(bool on) { auto_ban_ = on; }
  // Whispers are forwarded to this user while it is set.
  const std::string& ForwardTarget() const { return forward_target_; }
  void SetForwardTarget(const std::string& name) { forward_target_ = name; }
  // The command list, replied to `speaker`.
  void SendHelp(const char* speaker);
  // The hooks a line said in the channel (or typed in the chat bar) reaches
  // while AutoRespond is on: the [Talk] entry of its first word, then
  // [Events] OnTalk.
  void RunTalkHooks(const char* speaker, const char* text);

  // ---- Whispered commands (whisper_interpreter.cpp)
  int OnWhisper(const char* name, uint32_t flags, const char* text) override;
  // Designates a user (the speaker when `line` names nobody) and rejoins, so
  // that the user gets the operator status.
  void MakeOpUser(const char* line, const char* speaker);
  // The user who whispered the bot last (the chat bar's reply); empty at first.
  const std::string& LastWhisperer() const { return whisper_.LastWhisperer(); }
  const PageAlarms& Pages() const { return whisper_.Pages(); }

  // Server confirmations of designate, ban and unban; the welcome line; ban
  // protection; account logging from whois answers.
  int OnInfo(const char* name, uint32_t flags, const char* text) override;
  int OnError(const char* name, uint32_t flags, const char* text) override;
  void RecordPendingCommand(const char* line, const char* speaker);

  // One script.ini hook: the entry `key` of `section` ("Talk", "Whisper" or
  // "Events"), read up to `limit` bytes; `shown` is the key as the "Script:"
  // line names it (empty: no line).
  struct Hook {
    const char* section;
    std::string key;
    std::string shown;
    size_t limit = 1024;
  };
  // The hook sequence every caller goes through: look the key up; when the
  // section has an entry and `run` is set, print "Script: <shown>" and run the
  // script with the speaker and the text. Whether the entry exists.
  bool RunHook(const Hook& hook, const char* speaker, const char* text, bool run = true);
  // The common tail of the event handlers: when AutoRespond is on and
  // script.ini [Events] names a script for `hook`, show it and run it.
  void RunEventHook(const char* hook, const char* name, const char* text);
  // Creates the Tcl interpreter (once the settings are loaded).
  void CreateScriptInterpreter() { scripts_.CreateInterpreter(); }
  // Runs a script named in script.ini (relative to the working directory).
  bool RunScript(const std::string& path, const char* speaker, const char* text);

  // Housekeeping driven by the document's timers: every minute and every 110 ms.
  void OnMinuteTick();
  void OnFastTick();

  bool IsOperator() const { return is_operator_; }
  void SetOperator(bool on) { is_operator_ = on; }
  const RecentChannels& Recent() const { return recent_; }
  HeirTable& Heirs() { return heirs_; }
  LoginTypeCounters& Counters() { return counters_; }
  LastSeenList& LastSeen() { return last_seen_; }
  RecentLeavers& Leavers() { return leavers_; }
  UserList& Users() { return users_; }
  // Empties the user list and sets its caption to a blank.
  void ClearUserList();
  AccessList& Access() { return access_; }
  PendingActionQueue& Pending() { return pending_; }
  ScriptBridge& Scripts() { return scripts_; }
  AliasDatabase& Aliases() { return aliases_; }
  // Flood, repeat and protect.lst protection, timed bans, the moderation record.
  Protection& Protect() { return protection_; }
  // Commands the bot answers itself that must not reach the server when the
  // operator types them ("/tempban", "/tempbans", "/modlog").
  static bool IsLocalCommand(const char* text);

  // ---- Channel roster and automatic responses (roster.cpp, responses.cpp) ----
  // Users listed on channel entry, joining, leaving and changing flags.
  int OnShowUser(const char* name, uint32_t flags, const char* text) override;
  int OnJoin(const char* name, uint32_t flags, const char* text) override;
  int OnLeave(const char* name, uint32_t flags, const char* text) override;
  int OnUserFlags(const char* name, uint32_t flags, const char* text) override;
  // Channel talk and emotes: shown, then talk commands, scripts and responses.
  int OnTalk(const char* name, uint32_t flags, const char* text) override;
  int OnEmote(const char* name, uint32_t flags, const char* text) override;

  // While operator: designates the best heir present when it is better than
  // the one designated last. The "/Designate" line waits 700 ms without
  // holding up the bot: the fast timer queues it (with its pending entry)
  // once the time has come, in the order the designations were decided.
  void DesignateBestHeir();
  static constexpr std::chrono::milliseconds kDesignatePause{700};
  using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;
  // The clock the designation pause is measured by (tests drive their own).
  void SetDesignateClock(SteadyClock clock) { designate_clock_ = std::move(clock); }
  // Designations decided but not yet queued.
  size_t DesignationsWaiting() const { return designations_.size(); }
  // Queues every designation whose pause is over, oldest first; drops them
  // all when the bot is no longer an operator.
  void SendDueDesignations();
  // One tick of the 110 ms timer: the rejoin countdown (the 91st tick rejoins).
  void RejoinTick();
  bool RejoinCounting() const { return rejoin_counting_; }
  int RejoinTicks() const { return rejoin_ticks_; }
  // The last flags seen for the bot itself; -1 until the first.
  int32_t OwnFlags() const { return own_flags_; }

  // Reads the names of [AutoGreet], [AutoPart], [AutoRespond] and
  // [AutoRespondToEmote] (at start and on every configuration reload).
  void LoadResponseTables();
  const ResponseTable& AutoGreetTable() const { return greet_table_; }
  const ResponseTable& AutoPartTable() const { return part_table_; }
  const ResponseTable& AutoRespondTable() const { return respond_table_; }
  const ResponseTable& AutoRespondToEmoteTable() const { return emote_table_; }
  // The responses of [AutoRespond] / [AutoRespondToEmote] to a line of a speaker.
  void AnswerTalk(const char* speaker, const char* text);
  void AnswerEmote(const char* speaker, const char* text);

  // Set when a user asked for a designation (the next information line answers it).
  bool designate_requested = false;
  // A /whois the bot sent for account logging, and for whom.
  bool whois_pending = false;
  std::string whois_name;

 protected:
  BotOwner& owner_;
  ChatDisplay& display_;
  ConfigPaths paths_;
  BotSettings settings_;
  OutgoingQueue queue_;
  PendingActionQueue pending_;
  AccessList access_;
  ScriptBridge scripts_;
  AliasDatabase aliases_;
  UserList users_;

  bool is_operator_ = false;
  bool auto_kick_ = false;
  bool auto_ban_ = false;
  std::string forward_target_;
  HeirTable heirs_;
  RecentChannels recent_;
  LoginTypeCounters counters_;
  LastSeenList last_seen_;
  RecentLeavers leavers_;

  // ---- Channel roster and automatic responses ----
  void ApplyOwnStatus(uint32_t flags);
  void MarkHeirPresent(const char* name);
  // Counts an arriving user; the counter's type, -1 for an unknown product
  // tag, -2 for flags that count nowhere.
  int CountArrival(const char* name, uint32_t flags, const char* tag);
  // Sends the [AutoGreet] / [AutoPart] line of the first matching slot.
  bool SendGreeting(const ResponseTable& table, const char* name);
  void AnswerFromTable(const ResponseTable& table, const char* speaker, const char* text);

  int32_t own_flags_ = -1;
  bool rejoin_counting_ = false;
  int rejoin_ticks_ = 0;
  struct Designation {
    std::chrono::steady_clock::time_point due;
    std::string heir;
  };
  std::deque<Designation> designations_;
  SteadyClock designate_clock_;
  ResponseTable greet_table_{"AutoGreet"};
  ResponseTable part_table_{"AutoPart"};
  ResponseTable respond_table_{"AutoRespond"};
  ResponseTable emote_table_{"AutoRespondToEmote"};

  Protection protection_{*this};

  // Whispered commands; last, so its page alarms end before the rest goes.
  friend class WhisperInterpreter;
  WhisperInterpreter whisper_{*this};
};

}  // namespace tolvik
