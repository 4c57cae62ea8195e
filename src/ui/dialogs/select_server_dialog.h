#pragma once
// "Select Server:": picks the server the game client will use, editing the
// two server lists of ServerListFile.
#include <QDialog>
#include <string>
#include <vector>

#include "settings/server_selection.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tolvik {
class ChatDisplay;
}

namespace tolvik::ui {

class SelectServerDialog : public QDialog {
  Q_OBJECT

 public:
  // The result of exec() after "Restore".
  static constexpr int kRestored = 2;

  // Offers the names of `file` with `statusServer` (the current or last
  // connection's server) selected. A file that cannot be written is
  // reported on `report`.
  SelectServerDialog(const std::string& file, const std::string& statusServer, ChatDisplay& report,
                     QWidget* parent = nullptr);

  // ServerList.ini in the user's configuration folder for this program.
  static std::string defaultFile();

  QLineEdit* serverField() const { return server_; }
  QListWidget* serverList() const { return names_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* restoreButton() const { return restore_; }
  std::vector<std::string> names() const;

  // "OK": the chosen server becomes the server list, every name the backup.
  void accept() override;
  // "Restore": every name becomes the server list again; the backup goes.
  void restore();

 private:
  void updateOk();
  void written(bool ok);

  ServerListFile file_;
  ChatDisplay& report_;
  QLineEdit* server_;
  QListWidget* names_;
  QPushButton* ok_;
  QPushButton* restore_;
};

}  // namespace tolvik::ui
