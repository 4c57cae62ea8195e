#include "app/sheets/login_page.h"

#include "app/document.h"
#include "bot/chat_bot.h"
#include "net/chat_connection.h"

namespace tolvik {
namespace {

std::string Shown(const std::string& value) { return IsUnset(value) ? std::string() : value; }

// An empty field is stored and held as the unset marker.
std::string Held(const std::string& value) { return value.empty() ? std::string(kUnset) : value; }

}  // namespace

MissingLoginValue FirstMissingLoginValue(const LoginSettings& login) {
  if (IsUnset(login.login)) return MissingLoginValue::Login;
  if (IsUnset(login.password)) return MissingLoginValue::Password;
  if (IsUnset(login.server)) return MissingLoginValue::Server;
  return MissingLoginValue::None;
}

bool NeedsFirstRunSetup(const LoginSettings& login) { return IsUnset(login.login) || IsUnset(login.server); }

void LoginPage::setServer(std::string_view server) {
  transport_ = &TransportTraitsFor(server);
  password_ = CutToLimit(password_, passwordLimit());
}

void LoginPage::Load(const LoginSettings& current) {
  setServer(Shown(current.server));
  setUserName(Shown(current.login));
  setPassword(Shown(current.password));
  setHomeChannel(Shown(current.channel));
  const bool fresh =
      IsUnset(current.login) && IsUnset(current.server) && !current.savePassword && !current.autoLogin;
  save_password_ = current.savePassword || fresh;
  login_on_startup_ = current.autoLogin || fresh;
}

PageOutcome LoginPage::Apply(const std::string& botIni, LoginSettings& login, ChatConnection& bot) const {
  LoginSettings typed = login;
  typed.login = Held(user_name_);
  typed.password = Held(password_);
  typed.channel = Held(home_channel_);
  typed.savePassword = save_password_;
  typed.autoLogin = login_on_startup_;
  // An empty field removes its key, which then reads as unset.
  LoginSettings stored = typed;
  stored.login = user_name_;
  stored.password = password_;
  stored.channel = home_channel_;
  bool written = SaveLoginSettings(botIni, stored);

  login = typed;
  bot.SetLoginInfo(login.login.c_str(), login.password.c_str(), login.server.c_str(), ChatConnection::kDefaultPort);
  bot.SetHomeChannel(IsUnset(login.channel) ? "" : login.channel.c_str());
  if (!written) return PageOutcome::Refused("The login settings could not be saved in Bot.ini; they apply to this run only.");
  return PageOutcome::Done();
}

PageOutcome LoginPage::Apply(CHaldenDoc& doc) const { return Apply(doc.Paths().botIni, doc.Login(), doc.Bot()); }

}  // namespace tolvik
