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

}  // namespace

void MirrorUsers(const FaceMirror& mirror, UserList& users) {
  std::set<std::string> selected;
  for (const UserRow& row : users.rows())
    if (row.selected) selected.insert(row.name);

  UserListObserver* observer = users.observer();
  if (observer) observer->userListAboutToChange(UserListEdit{});
  users.setObserver(nullptr);
  users.clearUsers();
  const std::vector<FaceUser>& rows = mirror.Users();
  const std::string caption = CaptionWithoutCount(mirror.Channel(), rows.size());
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
