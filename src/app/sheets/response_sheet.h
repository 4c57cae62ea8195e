#pragma once
// OK of the "Response Configurator": what the sheet as a whole writes
// ([Security] passwords, [AutoDesignate] heirs) and the bot's reload.
#include <string>

#include "app/sheets/page_values.h"
#include "bot/roster_state.h"

namespace tolvik {

class ChatBot;
class RestrictionsPage;

// Writes [Security] ChannelPassword and WhisperPassword from the page and
// [AutoDesignate] Designate0..9 from the heir slots (an empty slot as an
// empty value), in the plain form the bot reads them in. Refused, with
// nothing written, when a password cannot be stored.
PageOutcome WriteResponseSheet(const std::string& botIni, const RestrictionsPage& restrictions,
                               const HeirTable& heirs);

// The same for the running bot's heirs, then the bot reloads its response
// tables and settings, so limits, heirs and passwords take effect. When the
// write fails the bot is not reloaded, so its heirs stay as edited.
PageOutcome ApplyResponseSheet(ChatBot& bot, const RestrictionsPage& restrictions);

}  // namespace tolvik
