#include "app/sheets/response_sheet.h"

#include "settings/config.h"
#include "storage/private_profile.h"
#include "bot/chat_bot.h"
#include "app/sheets/restrictions_page.h"

namespace tolvik {

PageOutcome WriteResponseSheet(const std::string& botIni, const RestrictionsPage& restrictions,
                               const HeirTable& heirs) {
  PageOutcome checked = restrictions.CheckPasswords();
  if (!checked) return checked;
  // These keys are read with the private-profile reader, which undoes no
  // doubling, so they are written with its writer: a name like "[xX]Bob"
  // then reads back as itself.
  bool ok = PrivateProfile::WriteString("Security", "ChannelPassword", restrictions.channelPassword(), botIni);
  ok = PrivateProfile::WriteString("Security", "WhisperPassword", restrictions.whisperPassword(), botIni) && ok;
  for (size_t i = 0; i < heirs.names.size(); ++i) {
    const std::string& name = heirs.names[i];
    ok = PrivateProfile::WriteString("AutoDesignate", "Designate" + std::to_string(i), IsUnset(name) ? "" : name,
                                     botIni) &&
         ok;
  }
  if (!ok) return PageOutcome::Refused("The passwords and heirs could not all be saved in Bot.ini.");
  return PageOutcome::Done();
}

PageOutcome ApplyResponseSheet(ChatBot& bot, const RestrictionsPage& restrictions) {
  PageOutcome written = WriteResponseSheet(bot.Paths().botIni, restrictions, bot.Heirs());
  // A reload would put back the heirs of Bot.ini, so it waits for a good write.
  if (!written) return written;
  bot.LoadResponseTables();
  bot.LoadBotSettings();
  return written;
}

}  // namespace tolvik
