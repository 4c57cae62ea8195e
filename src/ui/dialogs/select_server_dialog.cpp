#include "ui/dialogs/select_server_dialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "display/chat_display.h"
#include "ui/dialogs/help_dialog.h"
#include "ui/wire_text.h"

namespace tolvik::ui {

SelectServerDialog::SelectServerDialog(const std::string& file, const std::string& statusServer,
                                       ChatDisplay& report, QWidget* parent)
    : QDialog(parent), file_(file), report_(report) {
  setWindowTitle(tr("Select Server:"));
  // An edit field over its always-open list, so a double-click can choose.
  server_ = new QLineEdit(this);
  server_->setMaxLength(static_cast<int>(ServerListFile::kServerLength));
  names_ = new QListWidget(this);

  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(QDialogButtonBox::Ok);
  ok_->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel);
  restore_ = buttons->addButton(tr("Restore"), QDialogButtonBox::ActionRole);
  QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
  connect(buttons, &QDialogButtonBox::accepted, this, &SelectServerDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(restore_, &QPushButton::clicked, this, &SelectServerDialog::restore);
  connect(help, &QPushButton::clicked, this,
          [this] { HelpDialog::show(this, tr("Help"), QString::fromLatin1(kSelectServerHelpText)); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(server_);
  layout->addWidget(names_);
  layout->addWidget(buttons);

  const ServerChoices choices = ChooseServers(file_.backup(), file_.serverList(), statusServer);
  for (const std::string& name : choices.names) names_->addItem(FromWire(name));
  if (choices.selected >= 0) {
    names_->setCurrentRow(choices.selected);
    server_->setText(names_->item(choices.selected)->text());
  }
  // OK starts enabled; from here on it follows the text.
  connect(names_, &QListWidget::currentTextChanged, this, [this](const QString& text) {
    server_->setText(text);
    updateOk();
  });
  connect(server_, &QLineEdit::textEdited, this, &SelectServerDialog::updateOk);
  connect(names_, &QListWidget::itemDoubleClicked, this, [this] {
    if (ok_->isEnabled()) accept();
  });
  server_->setFocus();
}

std::string SelectServerDialog::defaultFile() {
  QString organization = QCoreApplication::organizationName();
  if (organization.isEmpty()) organization = QStringLiteral("Tolvik");
  return (QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + organization +
          QStringLiteral("/ServerList.ini"))
      .toStdString();
}

std::vector<std::string> SelectServerDialog::names() const {
  std::vector<std::string> names;
  for (int row = 0; row < names_->count(); ++row) names.push_back(ToWire(names_->item(row)->text()));
  return names;
}

void SelectServerDialog::updateOk() { ok_->setEnabled(!server_->text().isEmpty()); }

void SelectServerDialog::accept() {
  written(file_.select(ToWire(server_->text(), ServerListFile::kServerLength), names()));
  QDialog::accept();
}

void SelectServerDialog::restore() {
  written(file_.restore(names()));
  done(kRestored);
}

void SelectServerDialog::written(bool ok) {
  if (!ok) report_.print(TextType::BotInfo, "Could not write the server list to %s", file_.path().c_str());
}

}  // namespace tolvik::ui
