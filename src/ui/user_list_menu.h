#pragma once
// The user list's pop-up menu: moderation and information commands on the
// first selected user, one action per UserCommand and one handler for all.
#include <QMenu>
#include <map>
#include <span>

#include "bot/user_commands.h"

namespace tolvik {
class CHaldenDoc;
}

namespace tolvik::ui {

// One item of the menu: its command, text, status tip, and whether a separator comes before it.
struct UserMenuItem {
  UserCommand command;
  const char* text;
  bool separatorBefore;
  const char* tip;
};
// The items in menu order.
std::span<const UserMenuItem> UserMenuItems();

class UserListMenu : public QMenu {
  Q_OBJECT

 public:
  // `parent` also owns the dialogs some commands open.
  UserListMenu(CHaldenDoc& doc, QWidget* parent);

  QAction* action(UserCommand command) const { return actions_.at(command); }
  // Kick, Ban and Designate follow the bot's operator status (done before
  // every showing, so the status the server gave last counts).
  void updateAvailability();

 public slots:
  // The one handler: runs `command` on the first selected user.
  void run(UserCommand command);

 private:
  void addAlias();
  void highlight();

  CHaldenDoc& doc_;
  UserCommands commands_;
  std::map<UserCommand, QAction*> actions_;
};

}  // namespace tolvik::ui
