#pragma once
// A small modal dialog asking for one missing login value (login name,
// password or server) when a connection is to start.
#include <QDialog>
#include <string>

class QLineEdit;

namespace tolvik::ui {

class LoginValueDialog : public QDialog {
  Q_OBJECT

 public:
  // `key` is "Password", "Login" or "Server"; the password is typed hidden.
  LoginValueDialog(const std::string& key, QWidget* parent = nullptr);

  QLineEdit* field() const { return field_; }

  // Runs the dialog; true with `value` set when the user gave a value.
  static bool ask(QWidget* parent, const std::string& key, std::string& value);

 private:
  QLineEdit* field_;
};

}  // namespace tolvik::ui
