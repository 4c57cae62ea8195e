#pragma once
// The "Login" page of the "Bot Configurator": account name, password, home
// channel and the two switches, and what OK stores and hands to the bot.
#include <cstddef>
#include <string>
#include <string_view>

#include "settings/config.h"
#include "app/sheets/page_values.h"
#include "net/transport.h"

namespace tolvik {

class CHaldenDoc;
class ChatConnection;

// The login value a connect would ask for first, in the order the
// configuration shows them: account name, password, then server.
enum class MissingLoginValue { None, Login, Password, Server };
MissingLoginValue FirstMissingLoginValue(const LoginSettings& login);

// A profile never set up (no account name or no server yet) asks for its
// login values as soon as the program starts, whether AutoLogin is on or not.
bool NeedsFirstRunSetup(const LoginSettings& login);

class LoginPage {
 public:
  // Entry limits of the three fields. The home channel is kept to what
  // [Init] and the document hold, so what is typed is what is stored.
  static constexpr size_t kUserNameLimit = 15;
  static constexpr size_t kPasswordLimit = 20;
  static constexpr size_t kHomeChannelLimit = kLoginFieldLimit;
  // With a chat API server (wss://...) the secret is the API key, which is longer.
  static constexpr size_t kApiKeyLimit = kApiFieldLimit;

  static constexpr std::string_view kHelpText =
      "This tab sets your login information.  Type the name and password of your Battle.net account and the "
      "channel the bot should join and stay in.  Tick Save Password to keep the password in Bot.ini; otherwise "
      "it is used for this run only and asked for at the next start.  Tick Login on startup to connect as soon "
      "as the program starts.";

  // Fills the fields from the login values in use; unset values show empty.
  // A profile with neither an account name nor a server, and neither switch
  // stored, starts with both switches ticked: the values given once are
  // kept and the next start connects by itself.
  void Load(const LoginSettings& current);

  // The server the secret is for: its transport names the secret and limits
  // it (a chat API address makes it an API key).
  void setServer(std::string_view server);
  bool usesApiKey() const { return std::string_view(secretLabel()) == "API key:"; }
  const char* secretLabel() const { return transport_->secret_label; }
  size_t passwordLimit() const { return transport_->secret_entry_limit; }

  // The setters cut the text to the entry limits, as the fields do.
  void setUserName(std::string_view text) { user_name_ = CutToLimit(text, kUserNameLimit); }
  void setPassword(std::string_view text) { password_ = CutToLimit(text, passwordLimit()); }
  void setHomeChannel(std::string_view text) { home_channel_ = CutToLimit(text, kHomeChannelLimit); }
  void setSavePassword(bool on) { save_password_ = on; }
  void setLoginOnStartup(bool on) { login_on_startup_ = on; }

  const std::string& userName() const { return user_name_; }
  const std::string& password() const { return password_; }
  const std::string& homeChannel() const { return home_channel_; }
  bool savePassword() const { return save_password_; }
  bool loginOnStartup() const { return login_on_startup_; }

  // OK: writes [Init] Login, Password (the unset marker "\n" unless Save
  // Password is ticked), Channel, AutoLogin and SavePassword; then the
  // document's login values become the typed ones (the typed password too)
  // and the bot gets them with the document's current server. The run uses
  // the new values even when Bot.ini could not be written; the outcome then
  // says so.
  PageOutcome Apply(const std::string& botIni, LoginSettings& login, ChatConnection& bot) const;
  PageOutcome Apply(CHaldenDoc& doc) const;

 private:
  std::string user_name_;
  std::string password_;
  std::string home_channel_;
  bool save_password_ = false;
  bool login_on_startup_ = false;
  const TransportTraits* transport_ = &TransportTraitsFor("");
};

}  // namespace tolvik
