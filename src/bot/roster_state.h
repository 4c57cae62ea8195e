#pragma once
// What the bot remembers about the channel's users besides the user list:
// heirs for operator status, users per login type, who left and when, and who
// left in the last quarter hour.
#include <array>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
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

  void reset() {
    counts.fill(0);
    counted_.clear();
  }
  // Counts `name` under `type` and returns the counter's new value. A name
  // counted before (it never left) is taken off its old counter first.
  int add(std::string_view name, Type type);
  // Takes `name` off the counter it was counted under; false when it was not
  // counted (an unknown product tag, or flags that count nowhere).
  bool remove(std::string_view name);
  // The type `name` is counted under, or -1.
  int typeOf(std::string_view name) const;
  // A limit is set when it is not negative (-1 is "no limit").
  bool overLimit(Type type) const { return limits[type] >= 0 && counts[type] > limits[type]; }

  // The counter of a product tag (exact, case-sensitive: "[STAR]" and
  // "[JSTR]" share one), or -1 for a tag that is none of the seven.
  static int TypeOfTag(std::string_view tag);
  // The kick line for a user over the limit of `type` ("%s" is the name).
  static const char* KickFormat(Type type);

 private:
  // Lower-case name -> the counter it was added to. A leave takes back what
  // the arrival added, whatever flags the leave event carries.
  std::unordered_map<std::string, int> counted_;
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

  // Told of every change, in the order it happens (a view shows the newest
  // record first, so an append goes on top and the oldest leaves the bottom).
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void lastSeenAppended(const Record& record) = 0;
    // The first record of this name (as stored) was removed.
    virtual void lastSeenRemoved(const std::string& name) = 0;
    // The oldest record went to make room.
    virtual void lastSeenOldestDropped() = 0;
    virtual void lastSeenCleared() = 0;
    // The list is going away; the observer must not use it any more.
    virtual void lastSeenListDestroyed() = 0;
  };

  LastSeenList() = default;
  ~LastSeenList();
  LastSeenList(const LastSeenList&) = delete;
  LastSeenList& operator=(const LastSeenList&) = delete;
  // One observer at a time; nullptr for none.
  void setObserver(Observer* observer) { observer_ = observer; }
  Observer* observer() const { return observer_; }

  // The first record of `name` (case-insensitive), or nullptr.
  const Record* find(const char* name) const;
  // Appends; the oldest records go when there are more than 50. The name is
  // cut to 16 characters; the time text is kept whole (a whisperer's
  // "(12:34:56)" is ten characters).
  void append(const char* name, const std::string& time);
  // Removes the first record of `name`; false when there is none.
  bool remove(const char* name);
  void clear();
  const std::deque<Record>& records() const { return records_; }
  size_t size() const { return records_.size(); }

 private:
  std::deque<Record> records_;
  Observer* observer_ = nullptr;
};

// The local time now as "%H:%M:%S" (or another strftime format), for
// LastSeenList records.
std::string LocalTimeText(const char* format = "%H:%M:%S");

// Names that left in the last 14 to 15 minutes: 15 one-minute buckets,
// holding at most kCapacity names in all; past that the oldest names go
// first, so a flood of distinct leavers costs a bounded amount of memory.
// Look-ups cost the same however many names the buckets hold.
class RecentLeavers {
 public:
  static constexpr int kBuckets = 15;
  static constexpr size_t kCapacity = 2000;
  // Adds `name` to the current bucket (a bucket may hold a name more than
  // once), dropping the oldest entry when all buckets together are full.
  void add(const char* name);
  // Whether any bucket holds `name` (case-insensitive).
  bool contains(const char* name) const;
  // Every minute: the next bucket becomes current and is emptied.
  void advance();
  // Entries in all buckets together.
  size_t size() const { return size_; }

 private:
  void forget(const std::string& name);
  void dropOldest();

  std::array<std::deque<std::string>, kBuckets> buckets_;
  // Lower-case name -> how many bucket entries hold it; kept in step with the buckets.
  std::unordered_map<std::string, int> held_;
  int current_ = 0;
  size_t size_ = 0;
};

}  // namespace tolvik
