#include "bot/user_list.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "net/user_flags.h"

namespace tolvik {
namespace {

bool IsOperatorRow(const UserRow& r) { return (r.activity & 1) == 0; }

// Names compare without regard to (ASCII) case.
std::string Key(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

int64_t ActivityAt(int64_t now, bool op) { return op ? (now & ~int64_t{1}) : (now | 1); }

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
  auto it = index_.find(Key(name));
  return it == index_.end() ? -1 : static_cast<int>(it->second);
}

void UserList::reindex(size_t from, size_t to) {
  for (size_t i = from; i < to; ++i) *positions_[i] = i;
}

void UserList::moveRow(size_t from, size_t to) {
  auto row = [this](size_t i) { return rows_.begin() + static_cast<std::ptrdiff_t>(i); };
  auto pos = [this](size_t i) { return positions_.begin() + static_cast<std::ptrdiff_t>(i); };
  if (from < to) {
    std::rotate(row(from), row(from + 1), row(to + 1));
    std::rotate(pos(from), pos(from + 1), pos(to + 1));
    reindex(from, to + 1);
  } else if (to < from) {
    std::rotate(row(to), row(from), row(from + 1));
    std::rotate(pos(to), pos(from), pos(from + 1));
    reindex(to, from + 1);
  }
}

void UserList::placeAfterOperatorChange(size_t at, bool now_operator) {
  if (now_operator) {
    moveRow(at, operators_);
    ++operators_;
  } else {
    --operators_;
    moveRow(at, operators_);
  }
}

void UserList::setLabel(const char* text) {
  label_ = text == nullptr ? "" : text;
  if (!rows_.empty()) label_ += " (" + std::to_string(rows_.size()) + ")";
  changed();
}

void UserList::changed() {
  if (observer_ != nullptr) observer_->userListChanged();
}

void UserList::aboutToChange(UserListEdit::Kind kind, size_t row, size_t to) {
  if (observer_ != nullptr)
    observer_->userListAboutToChange(UserListEdit{kind, static_cast<int>(row), static_cast<int>(to)});
}

void UserList::addUser(const char* name, uint32_t flags, const char* label, const char* product) {
  const int64_t now = Now();
  const std::string_view full = product == nullptr ? "" : product;
  if (full.size() > kProductLength && long_product_alert_) long_product_alert_();
  const bool op = (flags & kFlagOperator) != 0;

  std::string key = Key(name);
  auto it = index_.find(key);
  const bool listed = it != index_.end();
  if (!listed && rows_.size() >= static_cast<size_t>(kMaxUsers)) {
    if (!full_reported_) {
      full_reported_ = true;
      if (full_alert_) full_alert_();
    }
    return;
  }
  const size_t listed_at = listed ? it->second : 0;
  UserRow* r = nullptr;
  if (listed) {
    const bool moves = IsOperatorRow(rows_[listed_at]) != op;
    if (moves)
      aboutToChange(UserListEdit::kMove, listed_at, op ? operators_ : operators_ - 1);
    else
      aboutToChange(UserListEdit::kUpdate, listed_at);
    r = &rows_[listed_at];
  } else if (op) {
    aboutToChange(UserListEdit::kInsert, 0);
    // A new operator goes on top, before the operators already listed.
    auto entry = index_.emplace(std::move(key), 0).first;
    rows_.insert(rows_.begin(), UserRow{});
    positions_.insert(positions_.begin(), &entry->second);
    ++operators_;
    reindex(1, rows_.size());
    r = &rows_.front();
  } else {
    aboutToChange(UserListEdit::kInsert, rows_.size());
    auto entry = index_.emplace(std::move(key), rows_.size()).first;
    rows_.emplace_back();
    positions_.push_back(&entry->second);
    r = &rows_.back();
  }
  const bool was_op = listed && IsOperatorRow(*r);
  r->name = name;
  r->flags = flags;
  r->product = std::string(full.substr(0, kProductLength));
  r->icon = ChooseIcon(flags, r->product);
  r->level = level_ ? level_(name) : 0;
  r->activity = ActivityAt(now, op);
  if (listed && was_op != op) placeAfterOperatorChange(listed_at, op);
  setLabel(label);
}

void UserList::updateUserFlags(const char* name, uint32_t flags) {
  const int i = findUser(name);
  if (i < 0) return;
  UserRow& r = rows_[static_cast<size_t>(i)];
  const bool was_op = IsOperatorRow(r);
  const bool op = (flags & kFlagOperator) != 0;
  if (was_op != op)
    aboutToChange(UserListEdit::kMove, static_cast<size_t>(i), op ? operators_ : operators_ - 1);
  else
    aboutToChange(UserListEdit::kUpdate, static_cast<size_t>(i));
  r.flags = flags;
  r.icon = ChooseIcon(flags, r.product);
  r.activity = ActivityAt(r.activity, op);
  if (was_op != op) placeAfterOperatorChange(static_cast<size_t>(i), op);
  changed();
}

std::string UserList::removeUser(const char* name, const char* label) {
  auto it = index_.find(Key(name));
  if (it == index_.end()) return {};
  const size_t at = it->second;
  aboutToChange(UserListEdit::kRemove, at);
  std::string product = std::move(rows_[at].product);
  if (at < operators_) --operators_;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(at));
  positions_.erase(positions_.begin() + static_cast<std::ptrdiff_t>(at));
  index_.erase(it);
  reindex(at, rows_.size());
  setLabel(label);
  return product;
}

void UserList::clearUsers() {
  aboutToChange(UserListEdit::kReset, 0);
  rows_.clear();
  positions_.clear();
  index_.clear();
  operators_ = 0;
  label_.clear();
  full_reported_ = false;
  changed();
}

void UserList::touchUser(const char* name) {
  if (const int i = findUser(name); i >= 0) {
    aboutToChange(UserListEdit::kUpdate, static_cast<size_t>(i));
    UserRow* r = &rows_[static_cast<size_t>(i)];
    r->activity = (Now() & ~int64_t{1}) | (r->activity & 1);
    changed();
  }
}

void UserList::setIdle(const char* name, bool idle) {
  const int i = findUser(name);
  if (i < 0) return;
  UserRow* r = &rows_[static_cast<size_t>(i)];
  const bool mark = idle && r->icon >= 0 && r->icon <= 18;
  const bool unmark = !idle && r->icon >= kIdleOffset && r->icon <= 18 + kIdleOffset;
  if (!mark && !unmark) return;
  aboutToChange(UserListEdit::kUpdate, static_cast<size_t>(i));
  r->icon += mark ? kIdleOffset : -kIdleOffset;
  changed();
}

void UserList::setUserLevel(const char* name, int level) {
  if (const int i = findUser(name); i >= 0) {
    aboutToChange(UserListEdit::kUpdate, static_cast<size_t>(i));
    rows_[static_cast<size_t>(i)].level = level;
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
  if (any) changed();
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
