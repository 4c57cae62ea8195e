#pragma once
// The user list's menu in a window attached to a bot: the same items as on
// the window's own bot, each sent to the bot for the first selected user.
#include <QMenu>
#include <map>
#include <string>

#include "bot/user_commands.h"

namespace tolvik {
class UserList;
}

namespace tolvik::ui {

class FaceLink;

class FaceUserMenu : public QMenu {
  Q_OBJECT

 public:
  // `users` is the window's list (its selection names the target).
  // `parent` also owns the dialogs Add Alias and the highlight open.
  FaceUserMenu(FaceLink& link, const UserList& users, QWidget* parent);

  QAction* action(UserCommand command) const { return actions_.at(command); }
  // The name a command is sent under ("Kick").
  static const char* WireName(UserCommand command);

 public slots:
  void run(UserCommand command);

 private:
  // Kick, Ban and Designate need the bot to be an operator; its own row says.
  void updateAvailability();
  std::string target() const;

  FaceLink& link_;
  const UserList& users_;
  std::map<UserCommand, QAction*> actions_;
};

}  // namespace tolvik::ui
