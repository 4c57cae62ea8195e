#pragma once
// The help windows: a read-only text filling the window and "OK". The
// configuration pages and the server-selection tool show their texts in it.
#include <QDialog>

class QPlainTextEdit;

namespace tolvik::ui {

// The texts of the two help windows this folder opens itself, lines ending in CR LF.
extern const char kMainWindowHelpText[];
// The main window's keys that the list above does not name, shown after it.
extern const char kLaterKeysHelpText[];
extern const char kSelectServerHelpText[];

class HelpDialog : public QDialog {
  Q_OBJECT

 public:
  // `text` may end its lines in CR LF or LF.
  HelpDialog(const QString& title, const QString& text, QWidget* parent = nullptr);

  // Shows `text` under `title` ("Help" for the pages' Help buttons) and
  // returns when the user closes it.
  static void show(QWidget* parent, const QString& title, const QString& text);
  using QDialog::show;

  QPlainTextEdit* textField() const { return text_; }

 private:
  QPlainTextEdit* text_;
};

}  // namespace tolvik::ui
