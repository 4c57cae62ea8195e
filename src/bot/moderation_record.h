#pragma once
// moderation.log in the profile: one tab-separated line per kick, ban,
// unban, timed ban and warning, appended and never rewritten:
//   TIME<TAB>ACTOR<TAB>ACTION<TAB>TARGET<TAB>REASON<TAB>RESULT
// TIME is UTC ("2026-12-07T22:31:05Z"); ACTOR a user or a rule ("flood",
// "repeat", "protect.lst:12", "autoban.lst"); RESULT "confirmed" or
// "refused" (the server's answer), "unanswered" (none came) or "sent" (an
// action the server never answers, such as a warning). Past 1 MiB the file
// moves to moderation.log.1 (and .1 to .2, up to .4), so five files are kept.
#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tolvik {

struct ModerationEntry {
  std::chrono::system_clock::time_point time;
  std::string actor;
  std::string action;  // "warn", "kick", "ban", "unban", "tempban"
  std::string target;
  std::string reason;
  std::string result;
};

// "2026-12-07T22:31:05Z".
std::string IsoUtc(std::chrono::system_clock::time_point time);
// One line of the file (with its LF); tabs and line ends inside fields become blanks.
std::string FormatModerationLine(const ModerationEntry& entry);
// "2026-12-07T22:31:05Z kicker kick ann (go away) confirmed": an entry as one
// line for a reply or a terminal (no reason: no parentheses).
std::string DescribeModerationEntry(const ModerationEntry& entry);
// Splits a line; nullopt when it does not have six fields.
std::optional<ModerationEntry> ParseModerationLine(const std::string& line);

// The newest `count` entries of the record in `dir`, oldest first, read
// across the rotated files as far back as needed (count 0: all of them).
std::vector<ModerationEntry> ReadModerationRecord(const std::string& dir, size_t count = 0);

class ModerationRecord {
 public:
  static constexpr size_t kRotateBytes = 1024 * 1024;
  static constexpr int kKeptFiles = 5;
  // Entries waiting for the server's answer; past this many the oldest is
  // written as unanswered.
  static constexpr size_t kMaxAwaiting = 100;
  static constexpr std::chrono::minutes kAnswerTime{5};
  static constexpr char kFileName[] = "moderation.log";

  using WallClock = std::function<std::chrono::system_clock::time_point()>;
  explicit ModerationRecord(std::string dir);
  ~ModerationRecord();

  void SetClock(WallClock clock) { clock_ = std::move(clock); }
  std::chrono::system_clock::time_point Now() const;

  // Writes the entry now with `result`.
  bool Write(std::string actor, std::string action, std::string target, std::string reason, const char* result);
  // Keeps the entry until the server answers it (Answer) or the answer time passes.
  void Await(std::string actor, std::string action, std::string target, std::string reason);
  // The server confirmed or refused `action` on `target`: the oldest waiting
  // entry of that action ("ban" also answers "tempban") and name is written.
  bool Answer(const std::string& action, const std::string& target, bool confirmed);
  // Writes the entries whose answer time is over (all of them with `all`) as unanswered.
  void ExpireAwaiting(bool all = false);
  size_t Awaiting() const { return awaiting_.size(); }
  // When the oldest waiting entry runs out of time.
  std::optional<std::chrono::system_clock::time_point> NextDue() const;

  std::string Path() const;
  // Whether the last write failed (reported once per failure run by the caller).
  bool Failed() const { return failed_; }

 private:
  bool Append(const ModerationEntry& entry);
  void Rotate();

  std::string dir_;
  WallClock clock_;
  std::deque<ModerationEntry> awaiting_;
  bool failed_ = false;
};

}  // namespace tolvik
