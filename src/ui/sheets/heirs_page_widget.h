#pragma once
// The "Heirs" page of the "Response Configurator": edits the running bot's
// ten heir slots at once; the sheet's OK stores them.
#include "app/sheets/heirs_page.h"
#include "ui/sheets/sheet_page.h"

class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tolvik::ui {

class HeirsPageWidget : public SheetPage {
  Q_OBJECT

 public:
  HeirsPageWidget(HeirTable& heirs, QWidget* parent = nullptr);

  std::string_view helpText() const override { return HeirsPage::kHelpText; }

  QSpinBox* priority() const { return priority_; }
  QLineEdit* currentName() const { return current_; }
  QLineEdit* newName() const { return new_name_; }
  QRadioButton* replaceButton() const { return replace_; }
  QRadioButton* insertButton() const { return insert_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* deleteButton() const { return delete_; }

 private:
  void showPage();

  HeirsPage page_;
  QSpinBox* priority_;
  QLineEdit* current_;
  QLineEdit* new_name_;
  QRadioButton* replace_;
  QRadioButton* insert_;
  QPushButton* add_;
  QPushButton* delete_;
};

}  // namespace tolvik::ui
