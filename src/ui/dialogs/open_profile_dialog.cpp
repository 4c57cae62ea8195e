#include "ui/dialogs/open_profile_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "storage/profile_dir.h"

namespace tolvik::ui {

OpenProfileDialog::OpenProfileDialog(const std::vector<std::string>& profiles, const std::string& current,
                                     QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)), name_(new QLineEdit(this)) {
  setWindowTitle(tr("Open Profile"));
  list_->setObjectName(QStringLiteral("profileList"));
  name_->setObjectName(QStringLiteral("profileName"));
  name_->setMaxLength(64);
  for (const std::string& name : profiles) {
    list_->addItem(QString::fromStdString(name));
    if (name == current) list_->setCurrentRow(list_->count() - 1);
  }
  name_->setText(QString::fromStdString(current));

  auto* buttons = new QDialogButtonBox(this);
  open_ = buttons->addButton(tr("Open"), QDialogButtonBox::AcceptRole);
  open_->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  // Picking a profile fills in its name; typing a new name makes a new profile.
  connect(list_, &QListWidget::currentTextChanged, name_, &QLineEdit::setText);
  connect(list_, &QListWidget::itemActivated, this, [this] {
    if (open_->isEnabled()) accept();
  });
  connect(name_, &QLineEdit::textChanged, this, &OpenProfileDialog::updateOpen);

  auto* form = new QFormLayout;
  form->addRow(tr("Profile name:"), name_);
  auto* note = new QLabel(tr("A new name makes a new profile. The connection is closed before the other profile opens."),
                          this);
  note->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Profiles:"), this));
  layout->addWidget(list_);
  layout->addLayout(form);
  layout->addWidget(note);
  layout->addWidget(buttons);
  updateOpen();
  name_->setFocus();
  name_->selectAll();
}

std::string OpenProfileDialog::profile() const { return name_->text().trimmed().toStdString(); }

void OpenProfileDialog::updateOpen() { open_->setEnabled(IsValidProfileName(profile())); }

}  // namespace tolvik::ui
