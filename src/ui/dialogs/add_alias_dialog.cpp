#include "ui/dialogs/add_alias_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/wire_text.h"

namespace tolvik::ui {

AddAliasDialog::AddAliasDialog(const QString& name, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Add Alias"));
  name_ = new QLineEdit(name, this);
  name_->setMaxLength(kNameLength);
  known_ = new QLineEdit(this);
  known_->setMaxLength(kNameLength);
  auto* explanation =
      new QLabel(tr("Please enter another name this user is known as. Name must already exist in the database."), this);
  explanation->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* add = buttons->addButton(tr("Add"), QDialogButtonBox::AcceptRole);
  buttons->addButton(QDialogButtonBox::Cancel);
  add->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(tr("Add:"), name_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(explanation);
  layout->addWidget(known_);
  layout->addWidget(buttons);
  known_->setFocus();
}

std::string AddAliasDialog::name() const { return ToWire(name_->text(), kNameLength); }
std::string AddAliasDialog::knownName() const { return ToWire(known_->text(), kNameLength); }

}  // namespace tolvik::ui
