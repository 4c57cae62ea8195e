#include "ui/user_list_menu.h"

#include <optional>

#include "display/chat_display.h"
#include "app/document.h"
#include "settings/font_records.h"
#include "bot/chat_bot.h"
#include "ui/dialogs/add_alias_dialog.h"
#include "ui/font_color_dialog.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

// In menu order.
constexpr UserMenuItem kItems[] = {
    {UserCommand::ShowAliases, "Show Aliases", false, "Show the account names this user is known by"},
    {UserCommand::AddAlias, "Add Alias", false, "Record this name as another name of a known account"},
    {UserCommand::WhoIs, "WhoIs", false, "Ask the server where this user is"},
    {UserCommand::Stats, "Stats", false, "Ask the server for this user's game record"},
    {UserCommand::IdleTime, "Idle Time", false, "Show how long this user has been quiet"},
    {UserCommand::ShowUserLevel, "Show User Level", true, "Show this user's level in the user list"},
    {UserCommand::AddToUserList, "Add to User List", false, "Add this user to the user list"},
    {UserCommand::Promote, "Promote", false, "Raise this user's level by one"},
    {UserCommand::Demote, "Demote", false, "Lower this user's level by one"},
    {UserCommand::DeleteFromList, "Delete from List", false, "Remove this user from the user list"},
    {UserCommand::Squelch, "Squelch", true, "Stop seeing this user's messages"},
    {UserCommand::UnSquelch, "UnSquelch", false, "See this user's messages again"},
    {UserCommand::Kick, "Kick", true, "Kick this user out of the channel"},
    {UserCommand::Ban, "Ban", false, "Ban this user from the channel"},
    {UserCommand::Designate, "Designate", false, "Make this user the next channel operator"},
    {UserCommand::PermanentHighlight, "Permanantly Highlight", true, "Show this user's talk in a font and colour of its own"},
    {UserCommand::StopHighlighting, "Stop Highlighting user", false, "Show this user's talk like everyone else's"},
};

}  // namespace

std::span<const UserMenuItem> UserMenuItems() { return kItems; }

UserListMenu::UserListMenu(CHaldenDoc& doc, QWidget* parent)
    : QMenu(parent), doc_(doc), commands_(doc.Bot()) {
  for (const UserMenuItem& item : kItems) {
    if (item.separatorBefore) addSeparator();
    QAction* action = addAction(tr(item.text));
    action->setStatusTip(tr(item.tip));
    const UserCommand command = item.command;
    connect(action, &QAction::triggered, this, [this, command] { run(command); });
    actions_[command] = action;
  }
  connect(this, &QMenu::aboutToShow, this, &UserListMenu::updateAvailability);
}

void UserListMenu::updateAvailability() {
  for (auto& [command, action] : actions_) action->setEnabled(commands_.Available(command));
}

void UserListMenu::run(UserCommand command) {
  switch (command) {
    case UserCommand::AddAlias:
      addAlias();
      break;
    case UserCommand::PermanentHighlight:
      highlight();
      break;
    default:
      commands_.Run(command);
      break;
  }
}

void UserListMenu::addAlias() {
  AddAliasDialog dialog(FromWire(commands_.Target()), parentWidget());
  if (dialog.exec() == QDialog::Accepted) commands_.AddAlias(dialog.name(), dialog.knownName());
}

void UserListMenu::highlight() {
  const std::string name = commands_.Target();
  const std::string& ini = doc_.Paths().botIni;
  // Without a record of its own the chooser starts at the default font.
  TextFormat record = LoadHighlightFormat(ini, name).value_or(DefaultTextFormat());
  if (!FontColorDialog::ChooseFontAndColor(parentWidget(), record, std::nullopt)) return;
  if (!SaveHighlightFormat(ini, name, record))
    doc_.Display().print(TextType::BotInfo, "Could not save the highlight of %s in %s", name.c_str(), ini.c_str());
}

}  // namespace tolvik::ui
