#include "bot/protection.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "bot/chat_bot.h"
#include "bot/pending_actions.h"
#include "bot/read_word.h"
#include "display/chat_display.h"
#include "net/chat_event.h"

namespace tolvik {
namespace {

// Room for the text of one whispered reply line.
constexpr size_t kReplyRoom = 200;

// The words of a command line: the command, then the rest split at blanks;
// `rest_at` receives where the words after the first `count` begin.
std::vector<std::string_view> Words(std::string_view text, size_t count, std::string_view* rest) {
  std::vector<std::string_view> words;
  size_t p = 0;
  while (words.size() < count) {
    while (p < text.size() && text[p] == ' ') ++p;
    if (p >= text.size()) break;
    size_t end = std::min(text.find(' ', p), text.size());
    words.push_back(text.substr(p, end - p));
    p = end;
  }
  while (p < text.size() && text[p] == ' ') ++p;
  *rest = p < text.size() ? text.substr(p) : std::string_view();
  return words;
}

bool ParseNumber(std::string_view s, int* out) {
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && end == s.data() + s.size();
}

}  // namespace

Protection::Protection(ChatBot& bot)
    : bot_(bot), temp_bans_(bot.WorkingDir()), record_(bot.WorkingDir()) {}

void Protection::SetClocks(SteadyClock steady, WallClock wall) {
  steady_ = std::move(steady);
  wall_ = std::move(wall);
  record_.SetClock(wall_);
}

std::chrono::steady_clock::time_point Protection::SteadyNow() const {
  return steady_ ? steady_() : std::chrono::steady_clock::now();
}
std::chrono::system_clock::time_point Protection::WallNow() const {
  return wall_ ? wall_() : std::chrono::system_clock::now();
}

std::string Protection::RulesPath() const { return bot_.WorkingDir() + "/" + ProtectRules::kFileName; }

void Protection::Load() {
  const std::string& ini = bot_.Paths().botIni;
  settings_ = LoadProtectionSettings(ini);
  tempban_level_ = CommandLevelWithFallback(ini, "TempBan", "Ban");
  modlog_level_ = CommandLevelWithFallback(ini, "ModLog", "Kick");
  guard_.Configure(settings_.flood, settings_.floodLines, settings_.floodSeconds, settings_.repeat,
                   settings_.repeatLines);
  warned_.clear();
  temp_bans_.Load();
  std::vector<RuleProblem> problems = rules_.Load(RulesPath());
  if (settings_.rules)
    for (const RuleProblem& p : problems)
      bot_.Display().print(TextType::BotInfo, "%s line %d: %s (rule skipped)", ProtectRules::kFileName, p.line,
                           p.message.c_str());
  if (!settings_.present && !noted_off_) {
    noted_off_ = true;
    bot_.Display().print(TextType::BotInfo,
                         "Protection against flooding, repeats and the words of protect.lst is off in this profile "
                         "(Bot.ini [Protection], or the Protection page)");
  }
}

void Protection::RefreshRules() {
  std::vector<RuleProblem> problems;
  if (!rules_.Refresh(RulesPath(), &problems, SteadyNow())) return;
  bot_.Display().print(TextType::BotInfo, "%s read again: %zu rules", ProtectRules::kFileName, rules_.size());
  for (const RuleProblem& p : problems)
    bot_.Display().print(TextType::BotInfo, "%s line %d: %s (rule skipped)", ProtectRules::kFileName, p.line,
                         p.message.c_str());
}

bool Protection::Exempt(const char* name) const {
  return SameName(name, bot_.OwnName()) || bot_.Access().GetUserLevel(name) >= settings_.protectedLevel;
}

void Protection::OnChannelLine(const char* name, const char* text) {
  if (*name == '\0') return;
  if (settings_.rules) {
    RefreshRules();
    if (const ProtectRule* rule = rules_.Match(text)) {
      if (!Exempt(name)) ApplyRule(name, *rule);
      return;
    }
  }
  switch (guard_.OnLine(name, text, SteadyNow())) {
    case FloodGuard::Verdict::None:
      return;
    case FloodGuard::Verdict::Flood:
      if (!Exempt(name))
        Offence(name, "flood",
                "flooding (more than " + std::to_string(settings_.floodLines) + " lines in " +
                    std::to_string(settings_.floodSeconds) + " seconds)");
      return;
    case FloodGuard::Verdict::Repeat:
      if (!Exempt(name)) Offence(name, "repeat", "repeating the same line");
      return;
  }
}

void Protection::OnJoin(const char* name) {
  if (!settings_.rules || *name == '\0') return;
  RefreshRules();
  if (const ProtectRule* rule = rules_.Match(name))
    if (!Exempt(name)) ApplyRule(name, *rule);
}

void Protection::OnLeave(const char* name) {
  guard_.Forget(name);
  warned_.erase(LowerAscii(name));
}

void Protection::OnChannel() {
  guard_.Clear();
  warned_.clear();
}

void Protection::OnOperator() {
  if (temp_bans_.NextDue() && *temp_bans_.NextDue() <= WallNow()) OnMinuteTick();
}

void Protection::OnMinuteTick() {
  record_.ExpireAwaiting();
  const auto now = WallNow();
  for (auto it = kicked_.begin(); it != kicked_.end();)
    it = it->second + kRememberKick <= now ? kicked_.erase(it) : std::next(it);
  // Unbanning needs operator status; a due ban waits for it (OnOperator).
  if (!bot_.IsOperator() || bot_.Socket() < 0) return;
  for (const TempBans::Ban& ban : temp_bans_.TakeDue(now)) {
    const std::string line = "/unban " + ban.name;
    bot_.Access().UnbanUser(line.c_str(), bot_.OwnName(), 9999);
  }
}

std::optional<std::chrono::system_clock::time_point> Protection::NextDue() const {
  std::optional<std::chrono::system_clock::time_point> a = temp_bans_.NextDue(), b = record_.NextDue();
  if (a && b) return std::min(*a, *b);
  return a ? a : b;
}

void Protection::OnServerInfo(const char* text) {
  const std::string first(FirstWord(text));
  if (std::strstr(text, "was kicked out of the channel") != nullptr)
    record_.Answer("kick", first, true);
  else if (std::strstr(text, "was unbanned") != nullptr)
    record_.Answer("unban", first, true);
  else if (std::strstr(text, "was banned") != nullptr)
    record_.Answer("ban", first, true);
}

void Protection::OnServerError(const PendingAction* oldest) {
  if (oldest == nullptr) return;
  const std::string victim(FirstWord(oldest->text));
  if (oldest->kind == kPendingBan) record_.Answer("ban", victim, false);
  if (oldest->kind == kPendingUnban) record_.Answer("unban", victim, false);
}

void Protection::RecordAction(const char* actor, const char* action, const char* target, const char* reason) {
  record_.Await(actor, action, target, reason);
}

void Protection::RememberKick(const std::string& name) {
  if (kicked_.size() >= kMaxRemembered) {
    auto oldest = std::min_element(kicked_.begin(), kicked_.end(),
                                   [](const auto& a, const auto& b) { return a.second < b.second; });
    kicked_.erase(oldest);
  }
  kicked_[LowerAscii(name)] = WallNow();
}

void Protection::Offence(const char* name, const char* actor, const std::string& reason) {
  // A command naming this user would reach whoever its first word names.
  if (!NameCarriable(name)) return;
  if (!bot_.IsOperator()) return Warn(name, actor, reason);
  const std::string key = LowerAscii(name);
  auto kicked = kicked_.find(key);
  if (kicked != kicked_.end() && WallNow() - kicked->second < kRememberKick) {
    kicked_.erase(kicked);
    warned_.erase(key);
    return TempBan(name, settings_.banMinutes, actor, reason, bot_.OwnName());
  }
  if (warned_.insert(key).second) return Warn(name, actor, reason);
  warned_.erase(key);
  RememberKick(name);
  Kick(name, actor, reason);
}

void Protection::ApplyRule(const char* name, const ProtectRule& rule) {
  if (!NameCarriable(name)) return;  // as in Offence
  const std::string actor = rule.Name();
  const std::string reason = rule.reason.empty() ? "the channel's rules" : rule.reason;
  // Without operator status the bot can only warn.
  if (rule.action == RuleAction::Warn || !bot_.IsOperator()) return Warn(name, actor.c_str(), reason);
  switch (rule.action) {
    case RuleAction::Kick: return Kick(name, actor.c_str(), reason);
    case RuleAction::Ban: return Ban(name, actor.c_str(), reason, bot_.OwnName());
    case RuleAction::TempBan: return TempBan(name, rule.minutes, actor.c_str(), reason, bot_.OwnName());
    case RuleAction::Warn: break;
  }
}

void Protection::Warn(const char* name, const char* actor, const std::string& reason) {
  bot_.Queue().WhisperTo(name, "Warning (%s): %s\n", actor, reason.c_str());
  record_.Write(actor, "warn", name, reason, "sent");
}

void Protection::Kick(const char* name, const char* actor, const std::string& reason) {
  if (bot_.Queue().Say("/kick %s %s\n", name, reason.c_str()) == OutgoingQueue::kQueued)
    record_.Await(actor, "kick", name, reason);
}

void Protection::Ban(const char* name, const char* actor, const std::string& reason, const char* requester) {
  if (bot_.Queue().Say("/ban %s %s\n", name, reason.c_str()) != OutgoingQueue::kQueued) return;
  bot_.RecordPendingCommand(("/ban " + std::string(name)).c_str(), requester);
  record_.Await(actor, "ban", name, reason);
}

void Protection::TempBan(const char* name, int minutes, const char* actor, const std::string& reason,
                         const char* requester) {
  const std::string shown = reason + " (" + std::to_string(minutes) + " minutes)";
  if (bot_.Queue().Say("/ban %s %s\n", name, shown.c_str()) != OutgoingQueue::kQueued) return;
  bot_.RecordPendingCommand(("/ban " + std::string(name)).c_str(), requester);
  if (!temp_bans_.Add(name, WallNow() + std::chrono::minutes(minutes), reason))
    bot_.Display().print(TextType::BotInfo, "Could not write %s: the ban of %s will not be lifted by itself",
                         temp_bans_.Path().c_str(), name);
  record_.Await(actor, "tempban", name, shown);
}

void Protection::TempBanCommand(const char* text, const char* speaker, int level) {
  std::string_view rest;
  std::vector<std::string_view> words = Words(text, 3, &rest);
  int minutes = 0;
  if (words.size() < 3 || !ParseNumber(words[2], &minutes) || minutes < 1 || minutes > kMaxTempBanMinutes) {
    bot_.Queue().WhisperTo(speaker, "Usage: /tempban NAME MINUTES [reason] (1 to %d minutes)\n", kMaxTempBanMinutes);
    return;
  }
  const std::string target(words[1].substr(0, 30));
  if (level <= bot_.Access().GetUserLevel(target.c_str())) {
    bot_.Queue().WhisperTo(speaker, "Your level is not high enough to ban %s\n", target.c_str());
    return;
  }
  std::string reason(rest.substr(0, kReplyRoom));
  if (reason.empty()) reason = "timed ban";
  TempBan(target.c_str(), minutes, speaker, reason, speaker);
  bot_.Queue().WhisperTo(speaker, "%s is banned for %d minutes\n", target.c_str(), minutes);
}

void Protection::ReplyList(const char* speaker, const std::string& head, const std::vector<std::string>& items) {
  std::string line = head;
  bool first = true;
  for (const std::string& item : items) {
    if (!first && line.size() + 2 + item.size() > kReplyRoom) {
      bot_.Queue().WhisperTo(speaker, "%s\n", line.c_str());
      line = head;
      first = true;
    }
    line += first ? "" : ", ";
    line += item;
    first = false;
  }
  bot_.Queue().WhisperTo(speaker, "%s\n", line.c_str());
}

void Protection::ListTempBans(const char* speaker) {
  if (temp_bans_.Bans().empty()) {
    bot_.Queue().WhisperTo(speaker, "No timed bans are running\n");
    return;
  }
  const auto now = WallNow();
  std::vector<std::string> items;
  for (const TempBans::Ban& ban : temp_bans_.Bans()) {
    const auto left = std::chrono::ceil<std::chrono::minutes>(ban.end - now).count();
    items.push_back(ban.name + " " + std::to_string(std::max<long long>(left, 0)) + " min");
  }
  ReplyList(speaker, "Timed bans: ", items);
}

void Protection::ModLogCommand(const char* text, const char* speaker) {
  std::string_view rest;
  std::vector<std::string_view> words = Words(text, 2, &rest);
  int count = 5;
  if (words.size() >= 2 && (!ParseNumber(words[1], &count) || count < 1)) {
    bot_.Queue().WhisperTo(speaker, "Usage: /modlog [N] (1 to %d)\n", kMaxModLog);
    return;
  }
  count = std::min(count, kMaxModLog);
  std::vector<ModerationEntry> entries = ReadModerationRecord(bot_.WorkingDir(), static_cast<size_t>(count));
  if (entries.empty()) {
    bot_.Queue().WhisperTo(speaker, "The moderation record is empty\n");
    return;
  }
  for (const ModerationEntry& e : entries) {
    const std::string line = DescribeModerationEntry(e);
    bot_.Queue().WhisperTo(speaker, "%.*s\n", static_cast<int>(kReplyRoom), line.c_str());
  }
}

}  // namespace tolvik
