#include "ui/sheets/bot_configurator.h"

#include "app/document.h"
#include "ui/sheets/fonts_page_widget.h"
#include "ui/sheets/login_page_widget.h"
#include "ui/sheets/servers_page_widget.h"
#include "ui/sheets/toggles_page_widget.h"

namespace tolvik::ui {

BotConfigurator::BotConfigurator(CHaldenDoc& doc, QWidget* parent)
    : ConfigSheet(tr("Bot Configurator"), false, parent),
      login_(new LoginPageWidget(doc, this)),
      servers_(new ServersPageWidget(doc, this)),
      fonts_(new FontsPageWidget(doc.Paths().botIni, this)),
      toggles_(new TogglesPageWidget(doc.Paths().botIni, doc.GetToggles(), this)) {
  addPage(login_, tr("Login"));
  addPage(servers_, tr("Servers"));
  addPage(fonts_, tr("Fonts"));
  addPage(toggles_, tr("Toggles"));
}

bool BotConfigurator::commit() {
  if (!toggles_->save()) {
    showPage(toggles_);
    return false;
  }
  login_->save();
  servers_->save();
  return true;
}

bool ShowBotConfigurator(CHaldenDoc& doc, QWidget* parent) {
  BotConfigurator sheet(doc, parent);
  return sheet.exec() == QDialog::Accepted;
}

}  // namespace tolvik::ui
