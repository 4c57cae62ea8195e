#include "ui/sheets/bot_configurator.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>

#include "app/document.h"
#include "app/sheets/login_page.h"
#include "ui/sheets/fonts_page_widget.h"
#include "ui/sheets/login_page_widget.h"
#include "ui/sheets/servers_page_widget.h"
#include "ui/demo_channel.h"
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

  connect(servers_, &ServersPageWidget::serverToUseChanged, login_, &LoginPageWidget::showServer);
  connect(login_, &LoginPageWidget::serversPageRequested, this, &BotConfigurator::showServerChoice);
  login_->showServer(servers_->serverToUse());

  // A newcomer without an account can watch the bot at work first.
  if (NeedsFirstRunSetup(doc.Login()) && !DemoChannel::program().isEmpty()) {
    if (auto* buttons = findChild<QDialogButtonBox*>(QString(), Qt::FindDirectChildrenOnly)) {
      demo_ = buttons->addButton(tr("Try the demo channel"), QDialogButtonBox::ActionRole);
      demo_->setObjectName(QStringLiteral("tryDemo"));
      demo_->setAutoDefault(false);
      demo_->setToolTip(tr("Connect to a made-up channel on this computer for this session; "
                           "nothing is saved, and you can configure your own server later"));
      connect(demo_, &QPushButton::clicked, this, [this] {
        demo_chosen_ = true;
        reject();
      });
    }
  }

  // The page that holds the first value a connect would ask for comes first.
  switch (FirstMissingLoginValue(doc.Login())) {
    case MissingLoginValue::Server:
      showServerChoice();
      break;
    default:
      showPage(login_);
      login_->focusFirstMissing();
      break;
  }
}

void BotConfigurator::showServerChoice() {
  showPage(servers_);
  servers_->focusChoice();
}

bool BotConfigurator::commit() {
  if (!servers_->addTypedServer()) {
    showServerChoice();
    return false;
  }
  // Confirming the Login page while no server is chosen leads on to the
  // Servers page, so one pass through the sheet is enough to connect.
  if (tabs()->currentWidget() == login_ && servers_->serverToUse().isEmpty()) {
    showServerChoice();
    return false;
  }
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
