#pragma once
// Timed bans: who is banned until when. Kept in tempbans.lst in the profile
// (NAME<TAB>END<TAB>REASON, END in seconds since 1970 UTC), rewritten
// atomically on every change, so the end times survive restarts; the bot
// lifts each ban when its time is up, or at the next connect if it was
// offline then.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tolvik {

class TempBans {
 public:
  using TimePoint = std::chrono::system_clock::time_point;
  static constexpr char kFileName[] = "tempbans.lst";

  struct Ban {
    std::string name;
    TimePoint end;
    std::string reason;
  };

  explicit TempBans(std::string dir) : dir_(std::move(dir)) {}

  // Reads the file (a missing file: none). Unreadable lines are skipped.
  void Load();
  // Adds or extends the ban of `name` (names compared ignoring case) and saves.
  bool Add(const std::string& name, TimePoint end, const std::string& reason);
  // Removes and returns the bans whose end is at or before `now` (saving when any went).
  std::vector<Ban> TakeDue(TimePoint now);
  // Drops a ban lifted by hand.
  bool Remove(const std::string& name);
  const std::vector<Ban>& Bans() const { return bans_; }
  // The earliest end, when any ban runs.
  std::optional<TimePoint> NextDue() const;
  std::string Path() const;

 private:
  bool Save() const;
  std::string dir_;
  std::vector<Ban> bans_;
};

}  // namespace tolvik
