#pragma once
// The "Login" page of the "Bot Configurator": account name, password, home
// channel, "Save Password" and "Login on startup", stored on the sheet's OK.
#include "app/sheets/login_page.h"
#include "ui/sheets/sheet_page.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace tolvik {
class CHaldenDoc;
}

namespace tolvik::ui {

class LoginPageWidget : public SheetPage {
  Q_OBJECT

 public:
  LoginPageWidget(CHaldenDoc& doc, QWidget* parent = nullptr);

  // Fills the fields from the document's login values.
  void load();
  std::string_view helpText() const override { return LoginPage::kHelpText; }
  // Writes [Init] and hands the values to the document and the bot. The
  // values are used even when Bot.ini cannot be written: then the refusal
  // goes to the chat display, and the sheet still closes.
  bool save() override;

  QLineEdit* userName() const { return user_name_; }
  QLineEdit* password() const { return password_; }
  QLabel* passwordLabel() const { return password_label_; }
  QLineEdit* homeChannel() const { return home_channel_; }
  QCheckBox* savePassword() const { return save_password_; }
  QCheckBox* loginOnStartup() const { return login_on_startup_; }
  QLabel* serverInUse() const { return server_; }

  // The server a connect will use, as the Servers page has it now; without
  // one the line offers to go there.
  void showServer(const QString& server);
  // The field a connect would ask for first, or the name field.
  void focusFirstMissing();

 signals:
  void serversPageRequested();

 private:
  CHaldenDoc& doc_;
  LoginPage page_;
  QLineEdit* user_name_;
  QLineEdit* password_;
  QLabel* password_label_ = nullptr;
  QLineEdit* home_channel_;
  QCheckBox* save_password_;
  QCheckBox* login_on_startup_;
  QLabel* server_;
};

}  // namespace tolvik::ui
