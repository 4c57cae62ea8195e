#include "ui/sheets/response_configurator.h"

#include "app/document.h"
#include "bot/chat_bot.h"
#include "app/sheets/response_sheet.h"
#include "ui/sheets/access_page_widget.h"
#include "ui/sheets/heirs_page_widget.h"
#include "ui/sheets/protection_page_widget.h"
#include "ui/sheets/responses_page_widget.h"
#include "ui/sheets/restrictions_page_widget.h"

namespace tolvik::ui {

ResponseConfigurator::ResponseConfigurator(CHaldenDoc& doc, QWidget* parent)
    : ConfigSheet(tr("Response Configurator"), true, parent),
      bot_(doc.Bot()),
      access_(new AccessPageWidget(doc.Paths().workingDirectory, this)),
      responses_(new ResponsesPageWidget(doc.Paths().botIni, &doc.Bot(), this)),
      heirs_(new HeirsPageWidget(doc.Bot().Heirs(), this)),
      restrictions_(new RestrictionsPageWidget(doc.Paths().botIni, doc.Bot().Settings(), this)),
      protection_(new ProtectionPageWidget(doc.Paths().botIni, doc.Bot().Protect().RulesPath(), this)) {
  addPage(access_, tr("Access"));
  addPage(responses_, tr("Responses"));
  addPage(heirs_, tr("Heirs"));
  addPage(restrictions_, tr("Restrictions"));
  addPage(protection_, tr("Protection"));
}

bool ResponseConfigurator::commit() {
  // Written first: the reload below reads [Protection] and protect.lst again.
  if (!protection_->save()) {
    showPage(protection_);
    return false;
  }
  const PageOutcome outcome = ApplyResponseSheet(bot_, restrictions_->page());
  restrictions_->showRefusal(outcome);
  if (!outcome) {
    showPage(restrictions_);
    return false;
  }
  // Levels changed on the Access page show in the user list.
  bot_.Users().refreshAllLevels();
  return true;
}

bool ShowResponseConfigurator(CHaldenDoc& doc, QWidget* parent) {
  ResponseConfigurator sheet(doc, parent);
  return sheet.exec() == QDialog::Accepted;
}

}  // namespace tolvik::ui
