#pragma once
// What the pages of the two configuration sheets share: the help text, the
// work done on the sheet's OK, a changed signal, and a line that shows the
// operator why a page refused an operation.
#include <QWidget>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/sheets/page_values.h"

class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace tolvik::ui {

class SheetPage : public QWidget {
  Q_OBJECT

 public:
  explicit SheetPage(QWidget* parent = nullptr);

  // The page's help text; empty for a page without help.
  virtual std::string_view helpText() const { return {}; }
  // The sheet's OK: writes what the page keeps until then. False keeps the
  // sheet open (the page shows why).
  virtual bool save() { return true; }

  // The refusal shown, empty when none.
  QString message() const;

 signals:
  // Something now waits for the sheet's OK (or Apply).
  void changed();

 protected:
  // Shows a refusal's message, or clears the line after a success; returns
  // whether the operation was done.
  bool report(const PageOutcome& outcome);
  // The page's controls go above the message line.
  void setContent(QLayout* content);
  // Enter in `field` presses `button`, while it is enabled, instead of the
  // sheet's OK, so what was typed there is not dropped by closing the sheet.
  void pressOnEnter(QLineEdit* field, QPushButton* button);
  bool eventFilter(QObject* watched, QEvent* event) override;

  // Puts `items`, the selection `index` (-1 none) and, for an editable box,
  // `text` into a combo box without raising its signals; a text being typed
  // keeps its caret when it is unchanged.
  static void SyncCombo(QComboBox* box, const std::vector<std::string>& items, int index,
                        const std::string& text = {});

 private:
  QVBoxLayout* layout_;
  QLabel* message_;
  std::vector<std::pair<QLineEdit*, QPushButton*>> enter_buttons_;
};

}  // namespace tolvik::ui
