#pragma once
// The "Servers" page of the "Bot Configurator": the list of servers (changes
// stored at once), the server of this run (on the sheet's OK) and the saved
// default server ("Save").
#include "app/sheets/servers_page.h"
#include "ui/sheets/sheet_page.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tolvik {
class CHaldenDoc;
}

namespace tolvik::ui {

class ServersPageWidget : public SheetPage {
  Q_OBJECT

 public:
  ServersPageWidget(CHaldenDoc& doc, QWidget* parent = nullptr);

  // Reads the list and selects the document's current server.
  void load();
  std::string_view helpText() const override { return ServersPage::kHelpText; }
  // The selected server becomes this run's server (and the saved one while
  // Bot.ini has none).
  bool save() override;

  // The server OK will use: the one typed in the entry box, otherwise the
  // selected one; empty when there is neither.
  QString serverToUse() const;
  // A server typed but not added is added and selected, as "Add Server"
  // does; false (the page shows why) when it cannot be.
  bool addTypedServer();
  // Puts the caret where a server is chosen: the entry box of an empty list,
  // otherwise the list.
  void focusChoice();

  QListWidget* list() const { return list_; }
  QLineEdit* entry() const { return entry_; }
  QPushButton* addButton() const { return add_; }
  QPushButton* deleteButton() const { return delete_; }
  QPushButton* saveButton() const { return save_; }

 signals:
  void serverToUseChanged(const QString& server);

 private:
  void showPage();
  void addServer();
  void deleteServer();
  void saveServer();

  CHaldenDoc& doc_;
  ServersPage page_;
  QListWidget* list_;
  QLineEdit* entry_;
  QPushButton* add_;
  QPushButton* delete_;
  QPushButton* save_;
};

}  // namespace tolvik::ui
