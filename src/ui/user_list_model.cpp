#include "ui/user_list_model.h"


#include "ui/wire_text.h"

namespace tolvik::ui {

UserListModel::UserListModel(UserList& users, QObject* parent) : QAbstractTableModel(parent), users_(users) {
  users_.setObserver(this);
}

UserListModel::~UserListModel() { users_.setObserver(nullptr); }

int UserListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : users_.userCount(); }

int UserListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

QVariant UserListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= users_.userCount()) return {};
  const UserRow& row = users_.row(index.row());
  switch (role) {
    case NameRole: return FromWire(row.name);
    case FlagsRole: return static_cast<uint>(row.flags);
    case ProductRole: return FromWire(row.product);
    case LevelRole: return row.level;
    case IconRole: return row.icon;
    case SelectedRole: return row.selected;
    default: break;
  }
  switch (index.column()) {
    case kUserColumn:
      if (role == Qt::DisplayRole) return FromWire(row.name);
      if (role == Qt::DecorationRole) return icons_.pixmap(row.icon);
      break;
    case kGameTypeColumn:
      if (role == Qt::DisplayRole) return FromWire(row.product);
      break;
    case kLevelColumn:
      if (role == Qt::DecorationRole) {
        const int slot = UserIcons::levelSlot(row.level);
        if (slot >= 0) return icons_.pixmap(slot);
      }
      if (role == Qt::ToolTipRole) return QString::number(row.level);
      break;
    default: break;
  }
  return {};
}

QVariant UserListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kUserColumn: return QStringLiteral("User");
    case kGameTypeColumn: return QStringLiteral("GameType");
    case kLevelColumn: return QStringLiteral("UserLevel");
    default: return {};
  }
}

QString UserListModel::label() const { return FromWire(users_.label()); }

void UserListModel::userListChanged() {
  // The view's own selection edits are already on screen.
  if (applying_selection_) return;
  // The rows have already changed by the time the core tells us; a reset is
  // the one notification that does not describe the old rows.
  beginResetModel();
  endResetModel();
}

}  // namespace tolvik::ui
