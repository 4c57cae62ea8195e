#pragma once
// Flood and repeat detection per user present in the channel. The state of a
// user is a few numbers (the times of the last lines, a hash of the last line
// and its run length), made on the user's first line and dropped on leave,
// so memory follows the roster and a line costs one hash-map look-up.
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tolvik {

class FloodGuard {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kRepeatWindow{60};

  enum class Verdict { None, Flood, Repeat };

  // More than `lines` lines in `seconds` is a flood; `repeats` equal lines in a
  // row within a minute is a repeat. A switch that is off never fires.
  void Configure(bool flood, int lines, int seconds, bool repeat, int repeats);

  // One line said by `name` at `now`. After a verdict the user's counts start
  // over, so the next verdict needs a new flood or run of repeats.
  Verdict OnLine(std::string_view name, std::string_view text, Clock::time_point now);
  // The user left: everything about him goes.
  void Forget(std::string_view name);
  void Clear() { users_.clear(); }
  size_t Users() const { return users_.size(); }

  // A hash of the line compared ignoring case and runs of blanks (leading and
  // trailing blanks ignored too).
  static uint64_t LineHash(std::string_view text);

 private:
  struct NameHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const;
  };
  struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  struct UserState {
    std::vector<Clock::time_point> times;  // ring of the last `lines` line times
    size_t next = 0;
    size_t filled = 0;
    uint64_t last_hash = 0;
    int run = 0;
    Clock::time_point run_start{};
  };

  bool flood_ = false;
  size_t lines_ = 5;
  Clock::duration window_ = std::chrono::seconds(6);
  bool repeat_ = false;
  int repeats_ = 3;
  std::unordered_map<std::string, UserState, NameHash, NameEqual> users_;
};

}  // namespace tolvik
