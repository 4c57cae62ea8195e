#include "ui/login_value_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

#include "app/config.h"
#include "ui/wire_text.h"

namespace tolvik::ui {

LoginValueDialog::LoginValueDialog(const std::string& key, QWidget* parent)
    : QDialog(parent), field_(new QLineEdit(this)) {
  const bool password = key == "Password";
  const QString label = password ? tr("Password:") : key == "Login" ? tr("Login name:") : tr("Server:");
  setWindowTitle(tr("Tolvik"));
  field_->setMaxLength(static_cast<int>(kLoginFieldLimit));
  if (password) field_->setEchoMode(QLineEdit::Password);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setEnabled(false);
  connect(field_, &QLineEdit::textChanged, ok, [ok](const QString& text) { ok->setEnabled(!text.isEmpty()); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* form = new QFormLayout(this);
  form->addRow(label, field_);
  form->addRow(buttons);
}

bool LoginValueDialog::ask(QWidget* parent, const std::string& key, std::string& value) {
  LoginValueDialog dialog(key, parent);
  if (dialog.exec() != QDialog::Accepted || dialog.field_->text().isEmpty()) return false;
  value = ToWire(dialog.field_->text(), kLoginFieldLimit);
  return true;
}

}  // namespace tolvik::ui
