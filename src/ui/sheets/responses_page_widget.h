#pragma once
// The "Responses" page of the "Response Configurator": automatic responses,
// greetings, goodbyes and the three messages. "Save" and "Del" write at once
// and reload the bot's tables.
#include "app/sheets/responses_page.h"
#include "ui/sheets/sheet_page.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tolvik::ui {

class ResponsesPageWidget : public SheetPage {
  Q_OBJECT

 public:
  // With a bot, shows and reloads the bot's tables; see ResponsesPage.
  ResponsesPageWidget(const std::string& botIni, ChatBot* bot, QWidget* parent = nullptr);

  std::string_view helpText() const override { return ResponsesPage::kHelpText; }

  QComboBox* typeBox() const { return type_; }
  QComboBox* nameBox() const { return name_; }
  QComboBox* phraseBox() const { return phrase_; }
  QLineEdit* response() const { return response_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* deleteButton() const { return delete_; }
  QLabel* exitLine() const { return exit_line_; }

 private:
  void showPage();
  void showExitLine();

  ResponsesPage page_;
  QComboBox* type_;
  QComboBox* name_;
  QComboBox* phrase_;
  QLineEdit* response_;
  QPushButton* save_;
  QPushButton* delete_;
  // For the message sent on exit: the line the close really sends, as
  // stored now (no stored message sends nothing, whatever the field shows).
  QLabel* exit_line_;
  std::string bot_ini_;
};

}  // namespace tolvik::ui
