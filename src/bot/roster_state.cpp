#include "bot/roster_state.h"

#include <strings.h>

namespace tolvik {

const LastSeenList::Record* LastSeenList::find(const char* name) const {
  // Names are stored cut to 16 characters; look them up the same way.
  const std::string key = std::string(name).substr(0, kNameLength);
  for (const Record& r : records_)
    if (strcasecmp(r.name.c_str(), key.c_str()) == 0) return &r;
  return nullptr;
}

void LastSeenList::append(const char* name, const std::string& time) {
  records_.push_back(Record{std::string(name).substr(0, kNameLength), time});
  while (records_.size() > kCapacity) records_.pop_front();
}

void RecentLeavers::add(const char* name) { buckets_[static_cast<size_t>(current_)].emplace_back(name); }

bool RecentLeavers::contains(const char* name) const {
  for (const auto& bucket : buckets_)
    for (const std::string& n : bucket)
      if (strcasecmp(n.c_str(), name) == 0) return true;
  return false;
}

void RecentLeavers::advance() {
  current_ = (current_ + 1) % kBuckets;
  buckets_[static_cast<size_t>(current_)].clear();
}

}  // namespace tolvik
