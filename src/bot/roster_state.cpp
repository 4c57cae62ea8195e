#include "bot/roster_state.h"

#include <strings.h>

#include <ctime>
#include <utility>

#include "bot/read_word.h"

namespace tolvik {

int LoginTypeCounters::add(std::string_view name, Type type) {
  remove(name);
  counted_[LowerAscii(name)] = type;
  return ++counts[type];
}

bool LoginTypeCounters::remove(std::string_view name) {
  auto it = counted_.find(LowerAscii(name));
  if (it == counted_.end()) return false;
  --counts[static_cast<size_t>(it->second)];
  counted_.erase(it);
  return true;
}

int LoginTypeCounters::typeOf(std::string_view name) const {
  auto it = counted_.find(LowerAscii(name));
  return it == counted_.end() ? -1 : it->second;
}

int LoginTypeCounters::TypeOfTag(std::string_view tag) {
  if (tag == "[SEXP]") return BroodWar;
  if (tag == "[STAR]" || tag == "[JSTR]") return StarCraft;
  if (tag == "[DRTL]") return Diablo;
  if (tag == "[SSHR]") return StarCraftShareware;
  if (tag == "[DSHR]") return DiabloShareware;
  if (tag == "[W2BN]") return WarCraft2;
  return -1;
}

const char* LoginTypeCounters::KickFormat(Type type) {
  switch (type) {
    case Bots: return "/kick %s Max number of bot accounts reached.  Please try again later.\n";
    case BroodWar: return "/kick %s Max number of BW accounts reached.  Please try again later.\n";
    case StarCraft: return "/kick %s Max number of SC accounts reached.  Please try again later.\n";
    case StarCraftShareware:
      return "/kick %s Max number of Starcraft Shareware accounts reached.  Please try again later.\n";
    case Diablo: return "/kick %s Max number of Diablo accounts reached.  Please try again later.\n";
    case DiabloShareware: return "/kick %s Max number of Diablo SW accounts reached.  Please try again later.\n";
    case WarCraft2: return "/kick %s Max number of Warcraft2 accounts reached.  Please try again later.\n";
    case kTypes: break;
  }
  return "";
}

std::string LocalTimeText(const char* format) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  size_t n = std::strftime(text, sizeof text, format, &local);
  return std::string(text, n);
}

const LastSeenList::Record* LastSeenList::find(const char* name) const {
  // Names are stored cut to 16 characters; look them up the same way.
  const std::string key = std::string(name).substr(0, kNameLength);
  for (const Record& r : records_)
    if (strcasecmp(r.name.c_str(), key.c_str()) == 0) return &r;
  return nullptr;
}

void LastSeenList::append(const char* name, const std::string& time) {
  records_.push_back(Record{std::string(name).substr(0, kNameLength), time});
  if (observer_) observer_->lastSeenAppended(records_.back());
  while (records_.size() > kCapacity) {
    records_.pop_front();
    if (observer_) observer_->lastSeenOldestDropped();
  }
}

bool LastSeenList::remove(const char* name) {
  const std::string key = std::string(name).substr(0, kNameLength);
  for (auto it = records_.begin(); it != records_.end(); ++it) {
    if (strcasecmp(it->name.c_str(), key.c_str()) == 0) {
      const std::string removed = std::move(it->name);
      records_.erase(it);
      if (observer_) observer_->lastSeenRemoved(removed);
      return true;
    }
  }
  return false;
}

LastSeenList::~LastSeenList() {
  if (observer_) observer_->lastSeenListDestroyed();
}

void LastSeenList::clear() {
  records_.clear();
  if (observer_) observer_->lastSeenCleared();
}

void RecentLeavers::add(const char* name) {
  if (size_ >= kCapacity) dropOldest();
  buckets_[static_cast<size_t>(current_)].emplace_back(name);
  ++held_[LowerAscii(name)];
  ++size_;
}

bool RecentLeavers::contains(const char* name) const { return held_.count(LowerAscii(name)) != 0; }

void RecentLeavers::forget(const std::string& name) {
  auto it = held_.find(LowerAscii(name));
  if (it != held_.end() && --it->second == 0) held_.erase(it);
}

void RecentLeavers::dropOldest() {
  // The bucket after the current one is the oldest; the current one is last.
  for (int step = 1; step <= kBuckets; ++step) {
    std::deque<std::string>& bucket = buckets_[static_cast<size_t>((current_ + step) % kBuckets)];
    if (bucket.empty()) continue;
    forget(bucket.front());
    bucket.pop_front();
    --size_;
    return;
  }
}

void RecentLeavers::advance() {
  current_ = (current_ + 1) % kBuckets;
  std::deque<std::string>& bucket = buckets_[static_cast<size_t>(current_)];
  for (const std::string& name : bucket) forget(name);
  size_ -= bucket.size();
  bucket.clear();
}

}  // namespace tolvik
