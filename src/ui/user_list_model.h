#pragma once
// The channel's users as a three-column table model over the core UserList.
#include <QAbstractTableModel>
#include <QString>
#include <optional>

#include "bot/user_list.h"
#include "ui/user_icons.h"

namespace tolvik::ui {

// Reads the rows straight from the UserList (no copy) and observes it: each
// join, leave, re-flag or row change becomes one row insert, remove, move or
// data change, so the cost of an event does not grow with the channel, and
// views keep their own selection, current row and scroll position through
// it. Only clearing the list resets the model; views select
// UserRow::selected rows again after a reset or rowsRefreshed() (see
// UserListView). Operators come first because the core keeps them there;
// nothing here sorts.
class UserListModel : public QAbstractTableModel, public UserListObserver {
  Q_OBJECT

 public:
  // Created in this order, shown as level, product, name (GameType hidden).
  enum Column { kUserColumn = 0, kGameTypeColumn = 1, kLevelColumn = 2, kColumnCount = 3 };
  enum Role {
    NameRole = Qt::UserRole + 1,  // QString
    FlagsRole,                    // uint, the server's user flags
    ProductRole,                  // QString, e.g. "[STAR]"
    LevelRole,                    // int
    IconRole,                     // int, the icon slot (0..18, idle 39..57)
    SelectedRole,                 // bool, UserRow::selected
  };

  // Becomes `users`' observer until destroyed; `users` (the document's bot)
  // must outlive the model, so destroy the window's widgets before the document.
  explicit UserListModel(UserList& users, QObject* parent = nullptr);
  ~UserListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  UserList& users() { return users_; }
  const UserIcons& icons() const { return icons_; }
  // The caption above the list (UserList::label()).
  QString label() const;

  // Runs `apply`, which changes only UserRow::selected flags to match what a
  // view already shows, without resetting (a reset would lose the view's
  // current row and its range anchor).
  template <typename F>
  void applyViewSelection(F&& apply) {
    const bool was = applying_selection_;
    applying_selection_ = true;
    apply(users_);
    applying_selection_ = was;
    emit selectionApplied();
  }

  void userListAboutToChange(const UserListEdit& edit) override;
  void userListChanged() override;

 signals:
  // Rows kept their count and order but any of them may show other data or
  // selection flags (the core's own selection moves, idle marks, levels).
  void rowsRefreshed();
  // The caption may have changed.
  void labelChanged();
  // The UserList's selection flags were changed by a view (no reset happened).
  void selectionApplied();

 private:
  UserList& users_;
  UserIcons icons_;
  bool applying_selection_ = false;
  // The edit announced before the rows changed, ended by userListChanged().
  std::optional<UserListEdit> pending_;
};

}  // namespace tolvik::ui
