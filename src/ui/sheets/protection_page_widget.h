#pragma once
// The "Protection" page of the "Response Configurator": the flood, repeat
// and rules switches with their numbers, the protected level, the rules of
// protect.lst (add, edit, remove) and a field that shows which rule a typed
// line would hit. The sheet's OK writes Bot.ini [Protection] and protect.lst.
#include "app/sheets/protection_page.h"
#include "ui/sheets/sheet_page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace tolvik::ui {

class ProtectionPageWidget : public SheetPage {
  Q_OBJECT

 public:
  ProtectionPageWidget(const std::string& botIni, const std::string& rulesPath, QWidget* parent = nullptr);

  std::string_view helpText() const override { return ProtectionPage::kHelpText; }
  bool save() override;

  const ProtectionPage& page() const { return page_; }
  QCheckBox* flood() const { return flood_; }
  QCheckBox* repeat() const { return repeat_; }
  QCheckBox* rulesSwitch() const { return rules_on_; }
  QSpinBox* floodLines() const { return flood_lines_; }
  QSpinBox* floodSeconds() const { return flood_seconds_; }
  QSpinBox* repeatLines() const { return repeat_lines_; }
  QSpinBox* protectedLevel() const { return protected_level_; }
  QSpinBox* banMinutes() const { return ban_minutes_; }
  QListWidget* ruleList() const { return list_; }
  QLineEdit* pattern() const { return pattern_; }
  QLineEdit* action() const { return action_; }
  QLineEdit* reason() const { return reason_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* editButton() const { return edit_; }
  QPushButton* removeButton() const { return remove_; }
  QLineEdit* testLine() const { return test_; }
  QLabel* testResult() const { return test_result_; }

 private:
  void showRules(int select);
  void showTest();

  ProtectionPage page_;
  QCheckBox* flood_;
  QCheckBox* repeat_;
  QCheckBox* rules_on_;
  QSpinBox* flood_lines_;
  QSpinBox* flood_seconds_;
  QSpinBox* repeat_lines_;
  QSpinBox* protected_level_;
  QSpinBox* ban_minutes_;
  QListWidget* list_;
  QLineEdit* pattern_;
  QLineEdit* action_;
  QLineEdit* reason_;
  QPushButton* add_;
  QPushButton* edit_;
  QPushButton* remove_;
  QLineEdit* test_;
  QLabel* test_result_;
};

}  // namespace tolvik::ui
