#include "ui/sheets/servers_page_widget.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include "display/chat_display.h"
#include "app/document.h"
#include "ui/wire_text.h"

namespace tolvik::ui {

ServersPageWidget::ServersPageWidget(CHaldenDoc& doc, QWidget* parent)
    : SheetPage(parent),
      doc_(doc),
      list_(new QListWidget(this)),
      entry_(new QLineEdit(this)),
      add_(new QPushButton(tr("Add Server"), this)),
      delete_(new QPushButton(QStringLiteral("Delete "), this)),
      save_(new QPushButton(tr("Save"), this)) {
  list_->setObjectName(QStringLiteral("serverList"));
  entry_->setObjectName(QStringLiteral("serverEntry"));
  entry_->setMaxLength(static_cast<int>(ServersPage::kApiServerLimit));
  // The forms an address may take; without a port the chat port 6112 is used.
  entry_->setPlaceholderText(tr("host, host:port, [IPv6]:port or wss://..."));
  save_->setToolTip(tr("Save the selected server as the default server"));
  delete_->setToolTip(tr("Delete the selected server from the list of available servers"));

  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(tr("Select Server"), this), 0, 0);
  grid->addWidget(list_, 1, 0, 3, 1);
  grid->addWidget(save_, 1, 1);
  grid->addWidget(delete_, 2, 1);
  grid->setRowStretch(3, 1);
  grid->addWidget(entry_, 4, 0);
  grid->addWidget(add_, 4, 1);
  setContent(grid);

  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    page_.Select(row);
    showPage();
  });
  connect(add_, &QPushButton::clicked, this, &ServersPageWidget::addServer);
  pressOnEnter(entry_, add_);
  connect(entry_, &QLineEdit::textChanged, this, &ServersPageWidget::showPage);
  connect(delete_, &QPushButton::clicked, this, &ServersPageWidget::deleteServer);
  connect(save_, &QPushButton::clicked, this, &ServersPageWidget::saveServer);
  load();
}

void ServersPageWidget::load() {
  page_.Load(doc_.Paths().botIni, doc_.Login().server);
  showPage();
}

void ServersPageWidget::showPage() {
  {
    const QSignalBlocker block(list_);
    QStringList wanted;
    for (const std::string& server : page_.servers()) wanted << FromWire(server);
    QStringList shown;
    for (int i = 0; i < list_->count(); ++i) shown << list_->item(i)->text();
    if (shown != wanted) {
      list_->clear();
      list_->addItems(wanted);
    }
    // Without a selection none is made when the list takes focus either.
    if (page_.selectedIndex() < 0)
      list_->setCurrentIndex(QModelIndex());
    else
      list_->setCurrentRow(page_.selectedIndex());
  }
  delete_->setEnabled(page_.selectedIndex() >= 0);
  save_->setEnabled(!page_.selectedServer().empty());
  add_->setEnabled(!entry_->text().trimmed().isEmpty());
  emit serverToUseChanged(serverToUse());
}

QString ServersPageWidget::serverToUse() const {
  const QString typed = entry_->text().trimmed();
  return typed.isEmpty() ? FromWire(page_.selectedServer()) : typed;
}

void ServersPageWidget::addServer() { addTypedServer(); }

bool ServersPageWidget::addTypedServer() {
  if (entry_->text().trimmed().isEmpty()) return true;
  const bool added = report(page_.AddServer(ToWire(entry_->text(), ServersPage::kApiServerLimit)));
  if (added) entry_->clear();
  showPage();
  return added;
}

void ServersPageWidget::focusChoice() {
  if (list_->count() == 0)
    entry_->setFocus();
  else
    list_->setFocus();
}

void ServersPageWidget::deleteServer() {
  report(page_.DeleteSelected());
  showPage();
}

void ServersPageWidget::saveServer() {
  report(page_.SaveSelected(doc_));
  showPage();
}

bool ServersPageWidget::save() {
  const PageOutcome outcome = page_.Apply(doc_);
  if (!outcome) doc_.Display().print(TextType::BotInfo, "%s", outcome.message.c_str());
  return true;
}

}  // namespace tolvik::ui
