#pragma once
// "Open Profile": the profiles under the user's data directory, one of which
// is picked or a new name typed. The window then runs the bot in that
// profile's directory.
#include <QDialog>
#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tolvik::ui {

class OpenProfileDialog : public QDialog {
  Q_OBJECT

 public:
  // `profiles` as listed, `current` (the profile open now, empty with --dir)
  // selected among them.
  OpenProfileDialog(const std::vector<std::string>& profiles, const std::string& current,
                    QWidget* parent = nullptr);

  // The profile to open: the name in the field.
  std::string profile() const;

  QListWidget* list() const { return list_; }
  QLineEdit* nameField() const { return name_; }
  QPushButton* openButton() const { return open_; }

 private:
  void updateOpen();

  QListWidget* list_;
  QLineEdit* name_;
  QPushButton* open_;
};

}  // namespace tolvik::ui
