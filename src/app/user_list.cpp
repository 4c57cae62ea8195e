#include "app/user_list.h"

#include <strings.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "net/user_flags.h"

namespace tolvik {
namespace {

bool IsOperatorRow(const UserRow& r) { return (r.activity & 1) == 0; }

}  // namespace

UserList::UserList(LevelLookup level, Clock clock) : level_(std::move(level)), clock_(std::move(clock)) {}

int64_t UserList::Now() const {
  if (clock_) return clock_();
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

int UserList::ChooseIcon(uint32_t flags, std::string_view product) {
  product = product.substr(0, kProductLength);
  int icon = 0;
  if (flags == 0 || (flags & kFlagChat)) {
    struct Tag {
      std::string_view tag;
      int icon;
    };
    static constexpr Tag kTags[] = {{"[SEXP]", 2},  {"[STAR]", 3},  {"[DRTL]", 4}, {"[SSHR]", 10},
                                    {"[DSHR]", 11}, {"[W2BN]", 15}, {"[JSTR]", 18}};
    bool known = false;
    for (const Tag& t : kTags)
      if (product == t.tag) {
        icon = t.icon;
        known = true;
      }
    if (!known && (flags & kFlagChat)) icon = 1;
  }
  // Later rules override earlier ones.
  if (flags & kFlagBlizzard) icon = 7;
  if (flags & kFlagSpeaker) icon = 0;
  if (flags & kFlagSysop) icon = 7;
  if (flags & kFlagGuest) icon = 13;
  if (flags & kFlagPglPlayer) icon = 5;
  if (flags & kFlagPglOfficial) icon = 14;
  if (flags & kFlagOperator) icon = 6;
  if (flags & kFlagSquelched) icon = 8;
  return icon;
}

UserRow* UserList::find(const char* name) {
  int i = findUser(name);
  return i < 0 ? nullptr : &rows_[static_cast<size_t>(i)];
}

int UserList::findUser(const char* name) const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (strcasecmp(rows_[i].name.c_str(), name) == 0) return static_cast<int>(i);
  return -1;
}

void UserList::sortByOperator() {
  std::stable_sort(rows_.begin(), rows_.end(),
                   [](const UserRow& a, const UserRow& b) { return IsOperatorRow(a) && !IsOperatorRow(b); });
}

void UserList::setLabel(const char* text) {
  label_ = text == nullptr ? "" : text;
  if (!rows_.empty()) label_ += " (" + std::to_string(rows_.size()) + ")";
  changed();
}

void UserList::changed() {
  if (observer_ != nullptr) observer_->userListChanged();
}

void UserList::addUser(const char* name, uint32_t flags, const char* label, const char* product) {
  int64_t now = Now();
  std::string full = product == nullptr ? "" : product;
  if (full.size() > kProductLength && long_product_alert_) long_product_alert_();
  UserRow row;
  row.name = name;
  row.flags = flags;
  row.product = full.substr(0, kProductLength);
  row.icon = ChooseIcon(flags, row.product);
  row.level = level_ ? level_(name) : 0;
  if (flags & kFlagOperator) {
    row.activity = now & ~int64_t{1};
    rows_.insert(rows_.begin(), std::move(row));
  } else {
    row.activity = now | 1;
    rows_.push_back(std::move(row));
  }
  sortByOperator();
  setLabel(label);
  changed();
}

void UserList::updateUserFlags(const char* name, uint32_t flags) {
  UserRow* r = find(name);
  if (r == nullptr) return;
  r->flags = flags;
  r->icon = ChooseIcon(flags, r->product);
  r->activity = (flags & kFlagOperator) ? (r->activity & ~int64_t{1}) : (r->activity | 1);
  sortByOperator();
  changed();
}

std::string UserList::removeUser(const char* name, const char* label) {
  int i = findUser(name);
  if (i < 0) return {};
  std::string product = rows_[static_cast<size_t>(i)].product;
  rows_.erase(rows_.begin() + i);
  setLabel(label);
  changed();
  return product;
}

void UserList::clearUsers() {
  rows_.clear();
  label_.clear();
  changed();
}

void UserList::touchUser(const char* name) {
  if (UserRow* r = find(name)) {
    r->activity = (Now() & ~int64_t{1}) | (r->activity & 1);
    changed();
  }
}

void UserList::setIdle(const char* name, bool idle) {
  UserRow* r = find(name);
  if (r == nullptr) return;
  if (idle && r->icon >= 0 && r->icon <= 18)
    r->icon += kIdleOffset;
  else if (!idle && r->icon >= kIdleOffset && r->icon <= 18 + kIdleOffset)
    r->icon -= kIdleOffset;
  else
    return;
  sortByOperator();
  changed();
}

void UserList::setUserLevel(const char* name, int level) {
  if (UserRow* r = find(name)) {
    r->level = level;
    changed();
  }
}

void UserList::refreshAllLevels() {
  if (!level_) return;
  for (UserRow& r : rows_) r.level = level_(r.name.c_str());
  changed();
}

int UserList::idleMinutes(const char* name) const {
  int i = findUser(name);
  if (i < 0) return -1;
  return static_cast<int>((Now() - rows_[static_cast<size_t>(i)].activity) / 60);
}

bool UserList::isSelected(const char* name) const {
  for (const UserRow& r : rows_)
    if (r.selected && r.name == name) return true;
  return false;
}

std::string UserList::allNames() const {
  std::string out;
  for (const UserRow& r : rows_) {
    if (!out.empty()) out += ", ";
    out += r.name;
  }
  return out;
}

int UserList::firstSelected() const {
  for (size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].selected) return static_cast<int>(i);
  return -1;
}

void UserList::markIdleUsers() {
  const int64_t now = Now();
  bool any = false;
  for (UserRow& r : rows_)
    if ((now - r.activity) / 60 > 14 && r.icon >= 0 && r.icon <= 18) {
      r.icon += kIdleOffset;
      any = true;
    }
  if (any) {
    sortByOperator();
    changed();
  }
}

void UserList::setSelected(int row, bool selected) {
  if (row < 0 || row >= userCount()) return;
  rows_[static_cast<size_t>(row)].selected = selected;
  changed();
}

void UserList::clearSelection() {
  for (UserRow& r : rows_) r.selected = false;
  changed();
}

void UserList::selectPrevious() {
  if (rows_.empty()) return;
  int first = firstSelected();
  int target = first <= 0 ? userCount() - 1 : first - 1;
  if (first >= 0) rows_[static_cast<size_t>(first)].selected = false;
  rows_[static_cast<size_t>(target)].selected = true;
  changed();
}

void UserList::selectNext() {
  if (rows_.empty()) return;
  int first = firstSelected();
  int target = first < 0 || first + 1 >= userCount() ? 0 : first + 1;
  if (first >= 0) rows_[static_cast<size_t>(first)].selected = false;
  rows_[static_cast<size_t>(target)].selected = true;
  changed();
}

std::string UserList::selectedNames() const {
  std::string out;
  for (const UserRow& r : rows_)
    if (r.selected) out += r.name + " ";
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace tolvik
