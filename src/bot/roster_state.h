#pragma once
// What the bot remembers about the channel's users besides the user list:
// heirs for operator status, users per login type, who left and when, and who
// left in the last quarter hour.
#include <array>
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace tolvik {

// Heirs in priority order (slot 0 first), who of them is present, and which
// one was designated last.
struct HeirTable {
  static constexpr int kSlots = 10;
  static constexpr int kNone = 10;
  std::array<std::string, kSlots> names;  // "\n" in a slot matches nobody
  std::array<bool, kSlots> present{};
  int designated = kNone;
  std::string designatedName;  // the heir the server last confirmed

  void clearPresence() {
    present.fill(false);
    designated = kNone;
  }
};

// Users in the channel per login type, with the [Restrictions] limit of each
// (-1: no limit).
struct LoginTypeCounters {
  enum Type { Bots, BroodWar, StarCraft, StarCraftShareware, Diablo, DiabloShareware, WarCraft2, kTypes };
  std::array<int, kTypes> counts{};
  std::array<int, kTypes> limits{-1, -1, -1, -1, -1, -1, -1};
  void reset() { counts.fill(0); }
};

// Users who left (and whisperers from outside the channel), oldest first,
// at most 50.
class LastSeenList {
 public:
  static constexpr size_t kCapacity = 50;
  static constexpr size_t kNameLength = 16;
  struct Record {
    std::string name;
    std::string time;
  };

  // The first record of `name` (case-insensitive), or nullptr.
  const Record* find(const char* name) const;
  // Appends; the oldest records go when there are more than 50.
  void append(const char* name, const std::string& time);
  void clear() { records_.clear(); }
  const std::deque<Record>& records() const { return records_; }
  size_t size() const { return records_.size(); }

 private:
  std::deque<Record> records_;
};

// Names that left in the last 14 to 15 minutes: 15 one-minute buckets.
class RecentLeavers {
 public:
  static constexpr int kBuckets = 15;
  void add(const char* name);
  bool contains(const char* name) const;
  // Every minute: the next bucket becomes current and is emptied.
  void advance();

 private:
  std::array<std::vector<std::string>, kBuckets> buckets_;
  int current_ = 0;
};

}  // namespace tolvik
