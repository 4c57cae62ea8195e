#include "ui/sheets/toggles_page_widget.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>

namespace tolvik::ui {

TogglesPageWidget::TogglesPageWidget(const std::string& botIni, const Toggles& inUse, QWidget* parent)
    : SheetPage(parent),
      page_(botIni, inUse),
      list_(new QListWidget(this)),
      on_(new QRadioButton(tr("On"), this)),
      off_(new QRadioButton(tr("Off"), this)),
      last_used_(new QRadioButton(tr("Last Used"), this)) {
  list_->setObjectName(QStringLiteral("toggleList"));
  for (const TogglesPage::Row& row : TogglesPage::kRows) list_->addItem(QString::fromLatin1(row.label));
  // Nothing is selected until the user picks a row, not even when the list takes focus.
  list_->setCurrentIndex(QModelIndex());
  // The three buttons are checked by the page, not by each other.
  const std::pair<QRadioButton*, TogglesPage::Setting> buttons[] = {
      {on_, TogglesPage::Setting::On}, {off_, TogglesPage::Setting::Off}, {last_used_, TogglesPage::Setting::LastUsed}};
  for (const auto& [button, setting] : buttons) {
    button->setAutoExclusive(false);
    connect(button, &QRadioButton::clicked, this, [this, setting] {
      page_.Choose(setting);
      showChoice();
      emit changed();
    });
  }

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(tr("Toggle"), this), 0, 0);
  grid->addWidget(list_, 1, 0, 4, 1);
  grid->addWidget(on_, 1, 1);
  grid->addWidget(off_, 2, 1);
  grid->addWidget(last_used_, 3, 1);
  grid->setRowStretch(4, 1);
  setContent(grid);

  connect(list_, &QListWidget::currentRowChanged, this, &TogglesPageWidget::selectRow);
  showChoice();
}

void TogglesPageWidget::selectRow(int row) {
  if (row < 0) return;
  if (!report(page_.SelectRow(row))) {
    // The previous choice could not be stored: its row stays selected.
    const QSignalBlocker block(list_);
    list_->setCurrentRow(page_.selectedRow());
  }
  showChoice();
}

void TogglesPageWidget::showChoice() {
  const TogglesPage::Setting checked = page_.checked();
  const bool enabled = page_.buttonsEnabled();
  on_->setEnabled(enabled);
  off_->setEnabled(enabled);
  last_used_->setEnabled(enabled);
  on_->setChecked(checked == TogglesPage::Setting::On);
  off_->setChecked(checked == TogglesPage::Setting::Off);
  last_used_->setChecked(checked == TogglesPage::Setting::LastUsed);
}

bool TogglesPageWidget::save() { return report(page_.Apply()); }

}  // namespace tolvik::ui
