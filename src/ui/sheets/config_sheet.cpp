#include "ui/sheets/config_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/sheets/page_help.h"
#include "ui/sheets/sheet_page.h"

namespace tolvik::ui {

ConfigSheet::ConfigSheet(const QString& title, bool withApply, QWidget* parent)
    : QDialog(parent), tabs_(new QTabWidget(this)) {
  setWindowTitle(title);
  setModal(true);
  QDialogButtonBox::StandardButtons standard = QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help;
  if (withApply) standard |= QDialogButtonBox::Apply;
  buttons_ = new QDialogButtonBox(standard, this);
  if (QPushButton* apply = applyButton()) {
    apply->setEnabled(false);
    connect(apply, &QPushButton::clicked, this, &ConfigSheet::apply);
  }
  connect(buttons_, &QDialogButtonBox::accepted, this, &ConfigSheet::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &ConfigSheet::reject);
  connect(buttons_, &QDialogButtonBox::helpRequested, this, &ConfigSheet::showHelp);
  connect(tabs_, &QTabWidget::currentChanged, this, &ConfigSheet::updateHelp);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addWidget(buttons_);
}

QPushButton* ConfigSheet::okButton() const { return buttons_->button(QDialogButtonBox::Ok); }
QPushButton* ConfigSheet::applyButton() const { return buttons_->button(QDialogButtonBox::Apply); }
QPushButton* ConfigSheet::helpButton() const { return buttons_->button(QDialogButtonBox::Help); }

void ConfigSheet::addPage(SheetPage* page, const QString& title) {
  tabs_->addTab(page, title);
  if (QPushButton* apply = applyButton())
    connect(page, &SheetPage::changed, apply, [apply] { apply->setEnabled(true); });
  updateHelp();
}

void ConfigSheet::showPage(SheetPage* page) { tabs_->setCurrentWidget(page); }

void ConfigSheet::accept() {
  if (commit()) QDialog::accept();
}

void ConfigSheet::apply() {
  if (commit()) applyButton()->setEnabled(false);
}

void ConfigSheet::showHelp() {
  if (auto* page = qobject_cast<SheetPage*>(tabs_->currentWidget()); page && !page->helpText().empty())
    ShowPageHelp(this, page->helpText());
}

void ConfigSheet::updateHelp() {
  auto* page = qobject_cast<SheetPage*>(tabs_->currentWidget());
  helpButton()->setEnabled(page != nullptr && !page->helpText().empty());
}

}  // namespace tolvik::ui
