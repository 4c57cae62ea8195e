#include "ui/user_list_model.h"

#include <utility>

#include "display/direction_controls.h"
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
      // Shown without direction controls, so "\u202Erenwo" cannot pass for "owner".
      if (role == Qt::DisplayRole) return FromWire(WithoutDirectionControls(row.name));
      if (role == Qt::DecorationRole) return icons_.pixmap(row.icon);
      break;
    case kGameTypeColumn:
      if (role == Qt::DisplayRole) return FromWire(WithoutDirectionControls(row.product));
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
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::ToolTipRole && section == kLevelColumn)
    return tr("The user's level in users.lst: 1 to 9 for a listed user, 0 for anyone else. "
              "It decides which of the bot's commands the user may give; point at an icon for its number.");
  if (role != Qt::DisplayRole) return {};
  switch (section) {
    case kUserColumn: return QStringLiteral("User");
    case kGameTypeColumn: return QStringLiteral("GameType");
    case kLevelColumn: return QStringLiteral("UserLevel");
    default: return {};
  }
}

QString UserListModel::label() const { return FromWire(users_.label()); }

void UserListModel::userListAboutToChange(const UserListEdit& edit) {
  UserListEdit e = edit;
  switch (e.kind) {
    case UserListEdit::kInsert: beginInsertRows({}, e.row, e.row); break;
    case UserListEdit::kRemove: beginRemoveRows({}, e.row, e.row); break;
    case UserListEdit::kMove:
      // Qt names the row the moved one goes before, counted before the move.
      if (e.to == e.row || !beginMoveRows({}, e.row, e.row, {}, e.to > e.row ? e.to + 1 : e.to)) {
        e.kind = UserListEdit::kUpdate;
        e.to = e.row;
      }
      break;
    case UserListEdit::kUpdate: break;
    case UserListEdit::kReset: beginResetModel(); break;
  }
  pending_ = e;
}

void UserListModel::userListChanged() {
  const std::optional<UserListEdit> edit = std::exchange(pending_, std::nullopt);
  const int last_column = kColumnCount - 1;
  if (!edit) {
    // The view's own selection edits are already on screen.
    if (applying_selection_) return;
    // Names stay as they are in such changes; views need not measure them again.
    if (rowCount() > 0)
      emit dataChanged(index(0, 0), index(rowCount() - 1, last_column),
                       {Qt::DecorationRole, Qt::ToolTipRole, IconRole, LevelRole, SelectedRole});
    emit rowsRefreshed();
  } else {
    switch (edit->kind) {
      case UserListEdit::kInsert: endInsertRows(); break;
      case UserListEdit::kRemove: endRemoveRows(); break;
      case UserListEdit::kMove:
        endMoveRows();
        emit dataChanged(index(edit->to, 0), index(edit->to, last_column));
        break;
      case UserListEdit::kUpdate: emit dataChanged(index(edit->row, 0), index(edit->row, last_column)); break;
      case UserListEdit::kReset: endResetModel(); break;
    }
  }
  emit labelChanged();
}

}  // namespace tolvik::ui
