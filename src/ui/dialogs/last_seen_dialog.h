#pragma once
// "Last seen:": the users who left, newest on top, kept in step with the
// bot's LastSeenList while the window is open. One per program, modeless.
#include <QDialog>

#include "bot/roster_state.h"

class QTreeWidget;

namespace tolvik::ui {

class LastSeenDialog : public QDialog, private LastSeenList::Observer {
  Q_OBJECT

 public:
  static constexpr int kNameWidth = 147;
  static constexpr int kTimeWidth = 65;

  // Shows the list's records, its tail first, and follows its changes.
  explicit LastSeenDialog(LastSeenList& list, QWidget* parent = nullptr);
  ~LastSeenDialog() override;

  // The window of `parent`, made and shown when there is none, else brought to the front.
  static LastSeenDialog* open(LastSeenList& list, QWidget* parent);

  QTreeWidget* rows() const { return rows_; }

 private:
  void lastSeenAppended(const LastSeenList::Record& record) override;
  void lastSeenRemoved(const std::string& name) override;
  void lastSeenOldestDropped() override;
  void lastSeenCleared() override;
  void lastSeenListDestroyed() override { list_ = nullptr; }

  LastSeenList* list_;  // null once the bot is gone
  QTreeWidget* rows_;
};

}  // namespace tolvik::ui
