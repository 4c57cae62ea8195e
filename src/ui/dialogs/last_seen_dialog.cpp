#include "ui/dialogs/last_seen_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/wire_text.h"

namespace tolvik::ui {

LastSeenDialog::LastSeenDialog(LastSeenList& list, QWidget* parent) : QDialog(parent), list_(&list) {
  setWindowTitle(tr("Last seen:"));
  rows_ = new QTreeWidget(this);
  rows_->setColumnCount(2);
  rows_->setHeaderLabels({tr("User Name"), tr("Time")});
  rows_->setRootIsDecorated(false);
  rows_->setSortingEnabled(false);
  rows_->header()->setSectionsClickable(false);
  rows_->header()->setStretchLastSection(false);
  rows_->setColumnWidth(0, kNameWidth);
  rows_->setColumnWidth(1, kTimeWidth);
  rows_->setMinimumWidth(kNameWidth + kTimeWidth + 24);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* close = buttons->addButton(tr("Close"), QDialogButtonBox::RejectRole);
  close->setDefault(true);
  QPushButton* clear = buttons->addButton(tr("Clear"), QDialogButtonBox::ActionRole);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(clear, &QPushButton::clicked, this, [this] {
    if (list_) list_->clear();
  });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(rows_);
  layout->addWidget(buttons);

  for (const LastSeenList::Record& record : list.records()) lastSeenAppended(record);
  list.setObserver(this);
}

LastSeenDialog::~LastSeenDialog() {
  if (list_ && list_->observer() == this) list_->setObserver(nullptr);
}

LastSeenDialog* LastSeenDialog::open(LastSeenList& list, QWidget* parent) {
  auto* dialog = parent->findChild<LastSeenDialog*>(QString(), Qt::FindDirectChildrenOnly);
  if (!dialog) {
    dialog = new LastSeenDialog(list, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  return dialog;
}

void LastSeenDialog::lastSeenAppended(const LastSeenList::Record& record) {
  rows_->insertTopLevelItem(0, new QTreeWidgetItem({FromWire(record.name), FromWire(record.time)}));
}

void LastSeenDialog::lastSeenRemoved(const std::string& name) {
  // The list drops its oldest record of the name: the lowest row here.
  const QString shown = FromWire(name);
  for (int row = rows_->topLevelItemCount() - 1; row >= 0; --row) {
    if (rows_->topLevelItem(row)->text(0).compare(shown, Qt::CaseInsensitive) == 0) {
      delete rows_->takeTopLevelItem(row);
      return;
    }
  }
}

void LastSeenDialog::lastSeenOldestDropped() {
  if (rows_->topLevelItemCount() > 0) delete rows_->takeTopLevelItem(rows_->topLevelItemCount() - 1);
}

void LastSeenDialog::lastSeenCleared() { rows_->clear(); }

}  // namespace tolvik::ui
