#pragma once
// The user-list dock's contents: the channel label above the list of users.
#include <QWidget>

class QLineEdit;

namespace tolvik {
class UserList;
}

namespace tolvik::ui {

class UserListModel;
class UserListView;

class UserListPanel : public QWidget {
  Q_OBJECT

 public:
  // The panel's model becomes `users`' observer.
  explicit UserListPanel(UserList& users, QWidget* parent = nullptr);

  UserListModel& model() { return *model_; }
  UserListView& view() { return *view_; }
  // The read-only, centred caption: the channel with " (count)".
  QLineEdit& labelField() { return *label_; }

 private:
  void showLabel();

  UserListModel* model_;
  QLineEdit* label_;
  UserListView* view_;
};

}  // namespace tolvik::ui
