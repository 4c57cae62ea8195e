#include "ui/face/face_user_menu.h"

#include "bot/user_list.h"
#include "net/user_flags.h"
#include "storage/ini_text.h"
#include "ui/dialogs/add_alias_dialog.h"
#include "ui/face/face_link.h"
#include "ui/font_color_dialog.h"
#include "ui/user_list_menu.h"
#include "ui/wire_text.h"

namespace tolvik::ui {

const char* FaceUserMenu::WireName(UserCommand command) {
  switch (command) {
    case UserCommand::ShowAliases: return "ShowAliases";
    case UserCommand::AddAlias: return "AddAlias";
    case UserCommand::WhoIs: return "WhoIs";
    case UserCommand::Stats: return "Stats";
    case UserCommand::IdleTime: return "IdleTime";
    case UserCommand::ShowUserLevel: return "ShowUserLevel";
    case UserCommand::AddToUserList: return "AddToUserList";
    case UserCommand::Promote: return "Promote";
    case UserCommand::Demote: return "Demote";
    case UserCommand::DeleteFromList: return "DeleteFromList";
    case UserCommand::Squelch: return "Squelch";
    case UserCommand::UnSquelch: return "UnSquelch";
    case UserCommand::Kick: return "Kick";
    case UserCommand::Ban: return "Ban";
    case UserCommand::Designate: return "Designate";
    case UserCommand::PermanentHighlight: return "PermanentHighlight";
    case UserCommand::StopHighlighting: return "StopHighlighting";
  }
  return "";
}

FaceUserMenu::FaceUserMenu(FaceLink& link, const UserList& users, QWidget* parent)
    : QMenu(parent), link_(link), users_(users) {
  for (const UserMenuItem& item : UserMenuItems()) {
    if (item.separatorBefore) addSeparator();
    QAction* action = addAction(tr(item.text));
    action->setStatusTip(tr(item.tip));
    const UserCommand command = item.command;
    connect(action, &QAction::triggered, this, [this, command] { run(command); });
    actions_[command] = action;
  }
  connect(this, &QMenu::aboutToShow, this, &FaceUserMenu::updateAvailability);
}

void FaceUserMenu::updateAvailability() {
  bool operator_ = true;  // unknown until the bot's own row is listed
  const std::string& own = link_.mirror().BotName();
  for (const UserRow& row : users_.rows())
    if (ini::EqualsIgnoreCase(row.name, own)) operator_ = (row.flags & kFlagOperator) != 0;
  for (UserCommand command : {UserCommand::Kick, UserCommand::Ban, UserCommand::Designate})
    actions_.at(command)->setEnabled(operator_);
}

std::string FaceUserMenu::target() const {
  const int first = users_.firstSelected();
  return first < 0 ? std::string() : users_.row(first).name;
}

void FaceUserMenu::run(UserCommand command) {
  const std::string name = target();
  if (name.empty()) return;
  if (command == UserCommand::AddAlias) {
    AddAliasDialog dialog(FromWire(name), parentWidget());
    if (dialog.exec() == QDialog::Accepted) link_.addAlias(dialog.name(), dialog.knownName());
  } else if (command == UserCommand::PermanentHighlight) {
    // The bot keeps the record; the chooser starts at the default font.
    TextFormat record = DefaultTextFormat();
    if (FontColorDialog::ChooseFontAndColor(parentWidget(), record, std::nullopt)) link_.highlight(name, record);
  } else {
    link_.userCommand(WireName(command), name);
  }
}

}  // namespace tolvik::ui
