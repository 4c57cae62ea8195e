#pragma once
// "Attach to a Running Bot": a profile picked from the user's profiles, or a
// working directory typed or browsed for. The window then attaches to the
// bot running there.
#include <QDialog>
#include <string>
#include <vector>

#include "storage/profile_dir.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tolvik::ui {

class AttachDialog : public QDialog {
  Q_OBJECT

 public:
  AttachDialog(const std::vector<std::string>& profiles, const std::string& current, QWidget* parent = nullptr);

  // The directory to attach to: the one in the directory field when it is
  // filled, else the profile picked; `error` set when neither names one.
  WorkingDirectory chosen() const;

  QListWidget* list() const { return list_; }
  QLineEdit* directoryField() const { return dir_; }
  QPushButton* attachButton() const { return attach_; }

 private:
  void updateAttach();

  QListWidget* list_;
  QLineEdit* dir_;
  QPushButton* attach_;
};

}  // namespace tolvik::ui
