#include "cli/first_run.h"

#include "net/chat_connection.h"
#include "net/transport.h"

namespace tolvik {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A value as the login page's field holds it: empty when unset.
std::string Field(const std::string& value) { return IsUnset(value) ? std::string() : value; }

}  // namespace

std::string ServerPrompt() {
  return "Server (host, host:port, [IPv6]:port or wss://...; port " + std::to_string(ChatConnection::kDefaultPort) +
         " when none is given): ";
}

bool AskMissingLoginValues(LoginSettings& login, const std::string& botIni, const AnswerReader& read,
                           std::string& note) {
  // The window's login page starts with "Save Password" and "Login on
  // startup" ticked for a profile like this one.
  const bool fresh = IsUnset(login.login) && IsUnset(login.server) && !login.savePassword && !login.autoLogin;
  bool asked = false;
  bool asked_password = false;
  while (IsUnset(login.server)) {
    const std::optional<std::string> answer = read(ServerPrompt(), false);
    if (!answer) return false;
    const std::string server = Trimmed(*answer);
    login.server = server.empty() ? std::string(kUnset) : server.substr(0, TransportTraitsFor(server).server_limit);
    asked = true;
  }
  while (IsUnset(login.login)) {
    const std::optional<std::string> answer = read("Login name: ", false);
    if (!answer) return false;
    const std::string name = Trimmed(*answer);
    login.login = name.empty() ? std::string(kUnset) : name.substr(0, kLoginFieldLimit);
    asked = true;
  }
  // The server is known by now, and with it what the secret is called and how long it may be.
  const TransportTraits& transport = TransportTraitsFor(login.server);
  while (IsUnset(login.password)) {
    const std::optional<std::string> answer = read(std::string(transport.secret_name) + ": ", true);
    if (!answer) return false;
    login.password = answer->empty() ? std::string(kUnset) : answer->substr(0, PasswordLimitFor(login.server));
    asked = asked_password = true;
  }
  if (!asked) return true;

  bool save_password = true;  // a password found in Bot.ini is stored already
  if (asked_password) {
    const bool by_default = login.savePassword || fresh;
    const std::string what = transport.secret_noun;
    const std::optional<std::string> answer =
        read("Save the " + what + " in Bot.ini (readable by you only), so the next start connects by itself? " +
                 (by_default ? "[Y/n] " : "[y/N] "),
             false);
    const std::string yes_no = answer ? Trimmed(*answer) : "n";
    save_password = yes_no.empty() ? by_default : (yes_no[0] == 'y' || yes_no[0] == 'Y');
  }
  login.savePassword = save_password;
  login.autoLogin = login.autoLogin || fresh;

  LoginSettings stored = login;
  stored.login = Field(login.login);
  stored.password = Field(login.password);
  stored.channel = Field(login.channel);
  bool ok = SaveLoginSettings(botIni, stored);
  if (IsUnset(LoadLoginSettings(botIni).server)) ok = SaveServer(botIni, login.server) && ok;
  if (!ok)
    note = "-- Bot.ini could not be written: the values apply to this run only.";
  else if (save_password)
    note = "-- Saved in Bot.ini: the next start connects by itself.";
  else
    note = "-- Saved in Bot.ini without the " + std::string(transport.secret_noun) +
           ", which the next start asks for again.";
  return true;
}

}  // namespace tolvik
