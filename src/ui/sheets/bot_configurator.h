#pragma once
// The "Bot Configurator" sheet: the Login, Servers, Fonts and Toggles pages.
// It opens on the page of the first login value still missing.
#include "ui/sheets/config_sheet.h"

namespace tolvik {
class CHaldenDoc;
}

namespace tolvik::ui {

class FontsPageWidget;
class LoginPageWidget;
class ServersPageWidget;
class TogglesPageWidget;

class BotConfigurator : public ConfigSheet {
  Q_OBJECT

 public:
  explicit BotConfigurator(CHaldenDoc& doc, QWidget* parent = nullptr);

  LoginPageWidget* loginPage() const { return login_; }
  ServersPageWidget* serversPage() const { return servers_; }
  FontsPageWidget* fontsPage() const { return fonts_; }
  TogglesPageWidget* togglesPage() const { return toggles_; }
  // "Try the demo channel", offered on a profile's first run while the demo
  // gateway is installed (nullptr otherwise). It closes the sheet like
  // Cancel, with demoChosen() true.
  QPushButton* demoButton() const { return demo_; }
  bool demoChosen() const { return demo_chosen_; }

 protected:
  // The toggle choice, then the login values and this run's server.
  bool commit() override;

 private:
  void showServerChoice();

  LoginPageWidget* login_;
  ServersPageWidget* servers_;
  FontsPageWidget* fonts_;
  TogglesPageWidget* toggles_;
  QPushButton* demo_ = nullptr;
  bool demo_chosen_ = false;
};

// Runs the sheet modally on the document's values; true when it closed with
// OK. The caller refreshes the window then (fonts, status text).
bool ShowBotConfigurator(CHaldenDoc& doc, QWidget* parent);

}  // namespace tolvik::ui
