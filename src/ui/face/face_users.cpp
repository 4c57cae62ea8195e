#include "ui/face/face_users.h"

#include <set>
#include <string>
#include <string_view>

#include "bot/user_list.h"
#include "face/face_client.h"
#include "net/user_flags.h"

namespace tolvik::ui {
namespace {

// The bot's caption carries the count it had ("Home (4)"); the list adds its own.
std::string CaptionWithoutCount(const std::string& caption, size_t count) {
  const std::string suffix = " (" + std::to_string(count) + ")";
  if (count > 0 && caption.size() >= suffix.size() &&
      caption.compare(caption.size() - suffix.size(), suffix.size(), suffix) == 0)
    return caption.substr(0, caption.size() - suffix.size());
  return caption;
}

bool IsOperator(const FaceUser& user) { return (user.flags & kFlagOperator) != 0; }

bool Same(const UserRow& row, const FaceUser& user) {
  return row.name == user.name && row.flags == user.flags && row.product == user.product &&
         row.level == user.level && (row.icon >= UserList::kIdleOffset) == (user.icon >= UserList::kIdleOffset);
}

bool SameRows(const UserList& users, const std::vector<FaceUser>& rows) {
  if (static_cast<size_t>(users.userCount()) != rows.size()) return false;
  for (size_t i = 0; i < rows.size(); ++i)
    if (!Same(users.row(static_cast<int>(i)), rows[i])) return false;
  return true;
}

// The first row from the top where the two lists differ.
size_t FirstDifference(const UserList& users, const std::vector<FaceUser>& rows) {
  size_t i = 0;
  while (i < rows.size() && static_cast<int>(i) < users.userCount() && Same(users.row(static_cast<int>(i)), rows[i]))
    ++i;
  return i;
}

void Take(UserList& users, const FaceUser& user, const std::string& caption) {
  users.addUser(user.name.c_str(), user.flags, caption.c_str(), user.product.c_str());
  users.setUserLevel(user.name.c_str(), user.level);
  users.setIdle(user.name.c_str(), user.icon >= UserList::kIdleOffset);
}

// One row joined, left or changed, the way the bot's own list does it: the
// list's observer sees that row's edit alone. False, and maybe part done,
// when the lists differ otherwise.
bool FollowOneRow(const std::vector<FaceUser>& rows, const std::string& caption, UserList& users) {
  const size_t count = static_cast<size_t>(users.userCount());
  const size_t at = FirstDifference(users, rows);
  if (rows.size() == count + 1) {
    Take(users, rows[at], caption);
  } else if (rows.size() + 1 == count) {
    users.removeUser(users.row(static_cast<int>(at)).name.c_str(), caption.c_str());
  } else if (rows.size() == count && at < count && users.row(static_cast<int>(at)).name == rows[at].name) {
    Take(users, rows[at], caption);
  } else {
    return false;
  }
  return SameRows(users, rows);
}

}  // namespace

void MirrorUsers(const FaceMirror& mirror, UserList& users) {
  const std::vector<FaceUser>& rows = mirror.Users();
  const std::string caption = CaptionWithoutCount(mirror.Channel(), rows.size());
  if (users.userCount() > 0 && (SameRows(users, rows) || FollowOneRow(rows, caption, users))) {
    users.setLabel(caption.c_str());
    return;
  }

  std::set<std::string> selected;
  for (const UserRow& row : users.rows())
    if (row.selected) selected.insert(row.name);

  UserListObserver* observer = users.observer();
  if (observer) observer->userListAboutToChange(UserListEdit{});
  users.setObserver(nullptr);
  users.clearUsers();
  // A new operator goes on top of the operators already listed, so they are
  // added last to first; everyone else is appended.
  for (auto it = rows.rbegin(); it != rows.rend(); ++it)
    if (IsOperator(*it)) users.addUser(it->name.c_str(), it->flags, caption.c_str(), it->product.c_str());
  for (const FaceUser& user : rows)
    if (!IsOperator(user)) users.addUser(user.name.c_str(), user.flags, caption.c_str(), user.product.c_str());
  for (const FaceUser& user : rows) {
    users.setUserLevel(user.name.c_str(), user.level);
    if (user.icon >= UserList::kIdleOffset) users.setIdle(user.name.c_str(), true);
  }
  users.setLabel(caption.c_str());
  for (int i = 0; i < users.userCount(); ++i)
    if (selected.count(users.row(i).name) != 0) users.setSelected(i, true);
  users.setObserver(observer);
  if (observer) observer->userListChanged();
}

}  // namespace tolvik::ui
