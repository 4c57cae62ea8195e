#include "ui/dialogs/attach_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvik::ui {

AttachDialog::AttachDialog(const std::vector<std::string>& profiles, const std::string& current, QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)), dir_(new QLineEdit(this)) {
  setWindowTitle(tr("Attach to a Running Bot"));
  list_->setObjectName(QStringLiteral("attachProfiles"));
  dir_->setObjectName(QStringLiteral("attachDirectory"));
  for (const std::string& name : profiles) {
    list_->addItem(QString::fromStdString(name));
    if (name == current) list_->setCurrentRow(list_->count() - 1);
  }
  if (list_->currentRow() < 0 && list_->count() > 0) list_->setCurrentRow(0);
  auto* browse = new QPushButton(tr("Browse..."), this);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString picked = QFileDialog::getExistingDirectory(this, tr("Working directory of the bot"), dir_->text());
    if (!picked.isEmpty()) dir_->setText(picked);
  });

  auto* buttons = new QDialogButtonBox(this);
  attach_ = buttons->addButton(tr("Attach"), QDialogButtonBox::AcceptRole);
  attach_->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemActivated, this, [this] {
    dir_->clear();
    accept();
  });
  connect(list_, &QListWidget::currentRowChanged, this, &AttachDialog::updateAttach);
  connect(dir_, &QLineEdit::textChanged, this, &AttachDialog::updateAttach);

  auto* dir_row = new QHBoxLayout;
  dir_row->addWidget(dir_, 1);
  dir_row->addWidget(browse);
  auto* note = new QLabel(tr("The window shows the bot that runs in that profile (a service, or tolvik-cli in a "
                             "terminal) and lets it run on when it closes."),
                          this);
  note->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Profiles:"), this));
  layout->addWidget(list_);
  layout->addWidget(new QLabel(tr("Or the bot's working directory:"), this));
  layout->addLayout(dir_row);
  layout->addWidget(note);
  layout->addWidget(buttons);
  updateAttach();
}

WorkingDirectory AttachDialog::chosen() const {
  const QString dir = dir_->text().trimmed();
  if (!dir.isEmpty()) return ResolveWorkingDirectory(dir.toStdString(), "");
  QListWidgetItem* item = list_->currentItem();
  if (!item) return {"", "", "no profile or directory chosen"};
  return ResolveWorkingDirectory("", item->text().toStdString());
}

void AttachDialog::updateAttach() {
  attach_->setEnabled(!dir_->text().trimmed().isEmpty() || list_->currentItem() != nullptr);
}

}  // namespace tolvik::ui
