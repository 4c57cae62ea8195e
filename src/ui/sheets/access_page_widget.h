#pragma once
// The "Access" page of the "Response Configurator": the level each command
// needs, and the users of users.lst with their levels. Every button writes
// at once.
#include "app/sheets/access_page.h"
#include "ui/sheets/sheet_page.h"

class QComboBox;
class QPushButton;

namespace tolvik::ui {

class SpinEdit;

class AccessPageWidget : public SheetPage {
  Q_OBJECT

 public:
  // `workingDir` holds Bot.ini and users.lst.
  AccessPageWidget(const std::string& workingDir, QWidget* parent = nullptr);

  std::string_view helpText() const override { return AccessPage::kHelpText; }

  QComboBox* commandBox() const { return command_; }
  SpinEdit* commandLevel() const { return command_level_; }
  QPushButton* saveButton() const { return save_; }
  QComboBox* userBox() const { return user_; }
  SpinEdit* userLevel() const { return user_level_; }
  QPushButton* addSaveButton() const { return add_save_; }
  QPushButton* deleteButton() const { return delete_; }
  QPushButton* editTagsButton() const { return edit_tags_; }

 private:
  void showPage();
  void typeUserName(const QString& text);

  AccessPage page_;
  QComboBox* command_;
  SpinEdit* command_level_;
  QPushButton* save_;
  QComboBox* user_;
  SpinEdit* user_level_;
  QPushButton* add_save_;
  QPushButton* delete_;
  QPushButton* edit_tags_;
};

}  // namespace tolvik::ui
