#include "ui/user_list_panel.h"

#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/user_list_model.h"
#include "ui/user_list_view.h"

namespace tolvik::ui {

UserListPanel::UserListPanel(UserList& users, QWidget* parent)
    : QWidget(parent), model_(new UserListModel(users, this)), label_(new QLineEdit(this)),
      view_(new UserListView(*model_, this)) {
  label_->setReadOnly(true);
  label_->setAlignment(Qt::AlignCenter);
  label_->setFocusPolicy(Qt::NoFocus);
  label_->setObjectName(QStringLiteral("userListLabel"));
  view_->setObjectName(QStringLiteral("userListView"));
  label_->setAccessibleName(tr("Channel"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(3, 2, 3, 3);
  layout->setSpacing(2);
  layout->addWidget(label_);
  layout->addWidget(view_, 1);

  connect(model_, &UserListModel::labelChanged, this, &UserListPanel::showLabel);
  showLabel();
}

void UserListPanel::showLabel() { label_->setText(model_->label()); }

}  // namespace tolvik::ui
