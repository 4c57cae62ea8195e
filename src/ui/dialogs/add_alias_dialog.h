#pragma once
// "Add Alias": a name to record under the account of another, known name.
#include <QDialog>
#include <string>

class QLineEdit;

namespace tolvik::ui {

class AddAliasDialog : public QDialog {
  Q_OBJECT

 public:
  // Both names are read up to this many characters.
  static constexpr int kNameLength = 29;

  explicit AddAliasDialog(const QString& name, QWidget* parent = nullptr);

  // The name to add (the upper field) and the known name (the lower field).
  std::string name() const;
  std::string knownName() const;
  QLineEdit* nameField() const { return name_; }
  QLineEdit* knownField() const { return known_; }

 private:
  QLineEdit* name_;
  QLineEdit* known_;
};

}  // namespace tolvik::ui
