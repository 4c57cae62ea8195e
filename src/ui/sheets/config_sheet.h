#pragma once
// A configuration sheet: a modal dialog of tabbed pages with OK, Cancel, an
// optional Apply, and Help for the page in front.
#include <QDialog>

class QDialogButtonBox;
class QPushButton;
class QTabWidget;

namespace tolvik::ui {

class SheetPage;

class ConfigSheet : public QDialog {
  Q_OBJECT

 public:
  QTabWidget* tabs() const { return tabs_; }
  QPushButton* okButton() const;
  QPushButton* applyButton() const;  // nullptr without Apply
  QPushButton* helpButton() const;

  // OK: the sheet's work, then closes; stays open when the work is refused.
  void accept() override;

 protected:
  ConfigSheet(const QString& title, bool withApply, QWidget* parent);

  void addPage(SheetPage* page, const QString& title);
  // What OK (and Apply) write; false leaves the sheet open.
  virtual bool commit() = 0;
  // Brings a page to the front, as when it refused the sheet's OK.
  void showPage(SheetPage* page);

 private:
  void apply();
  void showHelp();
  void updateHelp();

  QTabWidget* tabs_;
  QDialogButtonBox* buttons_;
};

}  // namespace tolvik::ui
