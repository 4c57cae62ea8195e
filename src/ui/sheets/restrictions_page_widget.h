#pragma once
// The "Restrictions" page of the "Response Configurator": the limit of each
// login type ("Save" writes it) and the two passwords, which the sheet's OK
// stores.
#include "app/sheets/restrictions_page.h"
#include "ui/sheets/sheet_page.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tolvik::ui {

class SpinEdit;

class RestrictionsPageWidget : public SheetPage {
  Q_OBJECT

 public:
  // `current`: the bot's settings, whose limits and passwords are shown.
  RestrictionsPageWidget(const std::string& botIni, const BotSettings& current, QWidget* parent = nullptr);

  std::string_view helpText() const override { return RestrictionsPage::kHelpText; }
  // The page as the sheet's OK stores it.
  const RestrictionsPage& page() const { return page_; }
  // Shows why the sheet's OK could not store the passwords.
  void showRefusal(const PageOutcome& outcome) { report(outcome); }

  QComboBox* loginType() const { return type_; }
  SpinEdit* max() const { return max_; }
  QPushButton* saveButton() const { return save_; }
  QLineEdit* channelPassword() const { return channel_password_; }
  QLineEdit* whisperPassword() const { return whisper_password_; }

 private:
  void showPage();

  RestrictionsPage page_;
  QComboBox* type_;
  SpinEdit* max_;
  QPushButton* save_;
  QLineEdit* channel_password_;
  QLineEdit* whisper_password_;
};

}  // namespace tolvik::ui
