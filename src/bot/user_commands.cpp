#include "bot/user_commands.h"

#include <strings.h>

#include "display/chat_display.h"
#include "settings/font_records.h"
#include "bot/chat_bot.h"

namespace tolvik {
namespace {

constexpr char kNotFound[] = "Not Found";

}  // namespace

std::string UserCommands::Target(size_t length) const {
  const UserList& users = bot_.Users();
  const int row = users.firstSelected();
  if (row < 0) return std::string();
  return users.row(row).name.substr(0, length);
}

bool UserCommands::Available(UserCommand command) const {
  switch (command) {
    case UserCommand::Kick:
    case UserCommand::Ban:
    case UserCommand::Designate:
      return bot_.IsOperator();
    default:
      return true;
  }
}

std::string UserCommands::ProductCode(const std::string& tag) {
  return tag.size() > 1 ? tag.substr(1, kProductCodeLength) : std::string();
}

void UserCommands::Run(UserCommand command) {
  const std::string name = Target();
  const char* n = name.c_str();
  OutgoingQueue& queue = bot_.Queue();
  ChatDisplay& display = bot_.Display();
  switch (command) {
    case UserCommand::ShowAliases:
      // Addressed to the bot itself, the answer is shown instead of whispered.
      bot_.Aliases().showAliases(name, bot_.OwnName());
      break;
    case UserCommand::WhoIs:
      queue.Say("/whois %s\n", n);
      break;
    case UserCommand::Stats: {
      const int row = bot_.Users().firstSelected();
      const std::string code = ProductCode(row < 0 ? std::string() : bot_.Users().row(row).product);
      queue.Say("/stats %s %s\n", n, code.c_str());
      break;
    }
    case UserCommand::IdleTime: {
      const std::string longName = Target(kLongNameLength);
      display.print(TextType::BotInfo, "%s has been idle for %i minutes", longName.c_str(),
                    bot_.Users().idleMinutes(longName.c_str()));
      break;
    }
    case UserCommand::ShowUserLevel:
      display.print(TextType::BotInfo, "%s is Level %i", n, bot_.Access().GetUserLevel(n));
      break;
    case UserCommand::AddToUserList:
    case UserCommand::Promote:
    case UserCommand::Demote:
    case UserCommand::DeleteFromList:
      EditAccess(command, name);
      break;
    case UserCommand::Squelch:
      queue.Say("/squelch %s\n", n);
      break;
    case UserCommand::UnSquelch:
      queue.Say("/unsquelch %s\n", n);
      break;
    case UserCommand::Kick:
      queue.Say("/kick %s\n", n);
      break;
    case UserCommand::Ban:
      queue.Say("/ban %s\n", n);
      break;
    case UserCommand::Designate:
      queue.Say("/designate %s\n", n);
      bot_.Pending().push(name, kPendingDesignate, kDesignateTellHeir);
      break;
    case UserCommand::StopHighlighting:
      if (!DeleteHighlightFormat(bot_.Paths().botIni, name))
        display.print(TextType::BotInfo, "Could not remove the highlight of %s from %s", n,
                      bot_.Paths().botIni.c_str());
      break;
    case UserCommand::AddAlias:
    case UserCommand::PermanentHighlight:
      break;
  }
}

void UserCommands::EditAccess(UserCommand command, const std::string& name) {
  AccessList& access = bot_.Access();
  // As the bot's own login account, with the operator's override.
  const char* account = bot_.Account();
  switch (command) {
    case UserCommand::AddToUserList:
      access.AddUser(("/add " + name).c_str(), account, true);
      break;
    case UserCommand::Promote:
      access.PromoteUser(("/promote " + name).c_str(), account, true);
      break;
    case UserCommand::Demote:
      access.DemoteUser(("/demote " + name).c_str(), account, true);
      break;
    case UserCommand::DeleteFromList:
      access.DelUser(("/del " + name).c_str(), account, true);
      return;  // the level icon stays as it was
    default:
      return;
  }
  bot_.Users().setUserLevel(name.c_str(), access.GetUserLevel(name.c_str()));
}

void UserCommands::AddAlias(const std::string& name, const std::string& known) {
  AliasDatabase& aliases = bot_.Aliases();
  if (strcasecmp(aliases.idsOfName(known).c_str(), kNotFound) == 0) {
    bot_.Display().print(TextType::BotInfo, "%s does not exist in Data Base", known.c_str());
    return;
  }
  const std::string ids = aliases.idsOfName(known);
  if (strcasecmp(ids.c_str(), kNotFound) == 0) {
    bot_.Display().print(TextType::BotInfo, "Name Not Found");
    return;
  }
  // The first of the known name's ids ("17, 20" adds under 17).
  aliases.addAlias(name, ids);
}

}  // namespace tolvik
