#pragma once
// The bot keeping the channel clean by itself: flood and repeat protection
// with its escalation (a whispered warning, then a kick, then a timed ban for
// a user who comes back within the hour and does it again), the rules of
// protect.lst against talk, emotes and joining names, timed bans, and the
// moderation record. Every action goes through the outgoing queue and the
// pending actions like the bot's other kicks and bans.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "bot/flood_guard.h"
#include "bot/moderation_record.h"
#include "bot/protect_rules.h"
#include "bot/temp_bans.h"
#include "settings/protection_settings.h"

namespace tolvik {

class ChatBot;
struct PendingAction;

class Protection {
 public:
  using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;
  using WallClock = std::function<std::chrono::system_clock::time_point()>;
  // A kicked user who offends again within this time is banned for BanMinutes.
  static constexpr std::chrono::hours kRememberKick{1};
  static constexpr size_t kMaxRemembered = 1000;
  // /modlog answers at most this many lines at once.
  static constexpr int kMaxModLog = 20;
  static constexpr int kMaxTempBanMinutes = 525600;

  explicit Protection(ChatBot& bot);

  // Reads [Protection], the two command levels, protect.lst and the timed bans.
  void Load();
  // Tests drive their own clocks (the flood window, and the wall time of bans and the record).
  void SetClocks(SteadyClock steady, WallClock wall);

  // Channel talk and emotes of `name`.
  void OnChannelLine(const char* name, const char* text);
  void OnJoin(const char* name);
  void OnLeave(const char* name);
  // A new channel: nobody's counts carry over.
  void OnChannel();
  // The bot has (again) operator status: bans whose time ran out while it
  // could not lift them are lifted now.
  void OnOperator();
  // Lifts the timed bans that are due and closes record entries left unanswered.
  void OnMinuteTick();
  // The next time OnMinuteTick has work (a ban's end, an answer's time-out).
  std::optional<std::chrono::system_clock::time_point> NextDue() const;
  // The server's information and error lines answer waiting record entries.
  void OnServerInfo(const char* text);
  void OnServerError(const PendingAction* oldest);

  // "/tempban NAME MINUTES [reason]" (also ".tempban"), already allowed by level.
  void TempBanCommand(const char* text, const char* speaker, int level);
  // "/tempbans": the running timed bans with the minutes left.
  void ListTempBans(const char* speaker);
  // "/modlog [N]": the last N record entries (5 when N is missing).
  void ModLogCommand(const char* text, const char* speaker);
  // A kick, ban or unban decided elsewhere (commands, autoban.lst, limits),
  // kept until the server answers it.
  void RecordAction(const char* actor, const char* action, const char* target, const char* reason);

  int TempBanLevel() const { return tempban_level_; }
  int ModLogLevel() const { return modlog_level_; }
  const ProtectionSettings& Settings() const { return settings_; }
  const ProtectRules& Rules() const { return rules_; }
  const TempBans& TimedBans() const { return temp_bans_; }
  ModerationRecord& Record() { return record_; }
  const FloodGuard& Guard() const { return guard_; }
  // protect.lst of the profile.
  std::string RulesPath() const;

 private:
  std::chrono::steady_clock::time_point SteadyNow() const;
  std::chrono::system_clock::time_point WallNow() const;
  // Whether `name` is above the rules: the bot, or at the protected level.
  bool Exempt(const char* name) const;
  // A flood or repeat: warn, kick, or ban a user kicked within the hour.
  void Offence(const char* name, const char* actor, const std::string& reason);
  void ApplyRule(const char* name, const ProtectRule& rule);
  void Warn(const char* name, const char* actor, const std::string& reason);
  void Kick(const char* name, const char* actor, const std::string& reason);
  void Ban(const char* name, const char* actor, const std::string& reason, const char* requester);
  void TempBan(const char* name, int minutes, const char* actor, const std::string& reason, const char* requester);
  void RefreshRules();
  void RememberKick(const std::string& name);
  // Whisper (or, for the bot's own name, show) one line per part of a long list.
  void ReplyList(const char* speaker, const std::string& head, const std::vector<std::string>& items);

  ChatBot& bot_;
  ProtectionSettings settings_;
  int tempban_level_ = 9;
  int modlog_level_ = 9;
  bool noted_off_ = false;
  FloodGuard guard_;
  ProtectRules rules_;
  TempBans temp_bans_;
  ModerationRecord record_;
  SteadyClock steady_;
  WallClock wall_;
  // Users warned once since they came (dropped on leave).
  std::unordered_set<std::string> warned_;
  // Users kicked by the protection, and when (lower-case names).
  std::unordered_map<std::string, std::chrono::system_clock::time_point> kicked_;
};

}  // namespace tolvik
