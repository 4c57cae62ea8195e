#pragma once
// Access levels from users.lst, the commands that edit it, the three
// moderation actions checked against it (kick, ban, unban) and the auto-ban
// list. Both files are read whole and held in memory until they change on
// disk (access_list_cache.h), so hand edits count at the next question; every
// change rewrites users.lst (see users_file.h) before it is answered.
//
// Replies are whispered to the speaker through the outgoing queue (shown
// locally when the speaker is the bot itself); reports go to the chat display
// as BotInfo. Main thread only.
#include <cstddef>
#include <string>

#include "bot/access_list_cache.h"

namespace tolvik {

class BotContext;
class PendingActionQueue;
class UsersFileRewrite;

class AccessList {
 public:
  // Command texts hold names from this position on.
  static constexpr size_t kAddNameAt = 5;      // "/add "
  static constexpr size_t kDelNameAt = 5;      // "/del "
  static constexpr size_t kPromoteNameAt = 9;  // "/promote "
  static constexpr size_t kDemoteNameAt = 8;   // "/demote "
  static constexpr size_t kKickNameAt = 6;     // "/kick " or ".kick "
  static constexpr size_t kBanNameAt = 5;      // "/ban " or ".ban "
  static constexpr size_t kUnbanNameAt = 7;    // "/unban " or ".unban "

  AccessList(BotContext& bot, PendingActionQueue& pending);

  // The level of the first occurrence of `name` in users.lst; 0 when the
  // name is not listed or the file cannot be read.
  int GetUserLevel(const char* name) const;
  // True when a word of autoban.lst equals `name`.
  bool IsAutoBanned(const char* name) const;

  // List editing. `line` is the whole command line; `override_levels` is set
  // for lines the operator typed and lifts the level comparisons.
  void AddUser(const char* line, const char* speaker, bool override_levels);
  void DelUser(const char* line, const char* speaker, bool override_levels);
  void PromoteUser(const char* line, const char* speaker, bool override_levels);
  void DemoteUser(const char* line, const char* speaker, bool override_levels);

  // Moderation. The speaker must be strictly above the target's level.
  void KickUser(const char* line, const char* speaker, int speaker_level, bool tagged);
  void BanUser(const char* line, const char* speaker, int speaker_level, bool tagged);
  void UnbanUser(const char* line, const char* speaker, int speaker_level);

  // Who asked for the last kick, so the server's answer can be passed on.
  bool KickRequested() const { return kick_requested_; }
  const std::string& KickRequester() const { return kick_requester_; }
  void ClearKickRequest() { kick_requested_ = false; }

 private:
  void MoveByOne(const char* line, const char* speaker, bool override_levels, bool up);
  bool Finish(UsersFileRewrite& rewrite, const char* operation);
  // True when the outgoing queue took the line.
  bool SendModeration(const char* command, const char* line, size_t rest_at, const char* speaker,
                      bool tagged);

  BotContext& bot_;
  PendingActionQueue& pending_;
  bool kick_requested_ = false;
  std::string kick_requester_;
  mutable ListFileCache users_{true};
  mutable ListFileCache autoban_{false};
};

}  // namespace tolvik
