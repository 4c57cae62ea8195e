#pragma once
// The terminal's first run: the login values Bot.ini lacks are asked for in
// the order a person expects (the server, whose kind decides whether a
// password or an API key follows, then the login name, then the secret), and
// then stored as the window's login page stores them, so that the next start
// connects by itself.
#include <functional>
#include <optional>
#include <string>

#include "settings/config.h"

namespace tolvik {

// Shows `prompt` and reads one answer (without echo when `secret`);
// nullopt at the end of input.
using AnswerReader = std::function<std::optional<std::string>(const std::string& prompt, bool secret)>;

std::string ServerPrompt();

// Asks for each missing value of `login` (an empty answer asks again) and
// then whether to save the password; stores what was typed in `botIni`:
// Login, the server while Bot.ini has none, SavePassword and, when saving,
// the password, with AutoLogin on for a new profile. `note` gets a line for
// the user about what was stored. False when input ended before every value
// was given; `login` then keeps what was typed so far and nothing is stored.
bool AskMissingLoginValues(LoginSettings& login, const std::string& botIni, const AnswerReader& read,
                           std::string& note);

}  // namespace tolvik
