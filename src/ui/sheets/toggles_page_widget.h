#pragma once
// The "Toggles" page of the "Bot Configurator": how each toggle starts next
// time ("On", "Off", "Last Used"). A choice is stored when another toggle is
// selected and on the sheet's OK.
#include "app/sheets/toggles_page.h"
#include "ui/sheets/sheet_page.h"

class QListWidget;
class QRadioButton;

namespace tolvik::ui {

class TogglesPageWidget : public SheetPage {
  Q_OBJECT

 public:
  // `inUse`: this run's toggles, which "Last Used" remembers.
  TogglesPageWidget(const std::string& botIni, const Toggles& inUse, QWidget* parent = nullptr);

  bool save() override;

  QListWidget* list() const { return list_; }
  QRadioButton* onButton() const { return on_; }
  QRadioButton* offButton() const { return off_; }
  QRadioButton* lastUsedButton() const { return last_used_; }

 private:
  void selectRow(int row);
  void showChoice();

  TogglesPage page_;
  QListWidget* list_;
  QRadioButton* on_;
  QRadioButton* off_;
  QRadioButton* last_used_;
};

}  // namespace tolvik::ui
