#include "ui/user_list_view.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QItemSelection>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <algorithm>

#include "display/direction_controls.h"
#include "ui/user_icons.h"
#include "ui/user_list_model.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

// The level column is narrower than its picture: draw the picture flush left,
// clipped to the cell, so the part that matters is what shows.
class LevelDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QPixmap picture = qvariant_cast<QPixmap>(index.data(Qt::DecorationRole));
    opt.icon = QIcon();
    opt.features &= ~QStyleOptionViewItem::HasDecoration;
    opt.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : nullptr;
    if (style != nullptr) style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    if (picture.isNull()) return;
    painter->save();
    painter->setClipRect(option.rect);
    // Pictures drawn for dense screens are larger in device pixels only.
    const int height = qRound(picture.deviceIndependentSize().height());
    const int top = option.rect.top() + (option.rect.height() - height) / 2;
    painter->drawPixmap(option.rect.left(), top, picture);
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    return {UserListView::kLevelWidth, std::max(size.height(), UserIcons::kHeight)};
  }
};

}  // namespace

UserListView::UserListView(UserListModel& model, QWidget* parent) : QTreeView(parent), model_(model) {
  setModel(&model_);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setHeaderHidden(true);
  setSortingEnabled(false);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setAllColumnsShowFocus(true);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setIconSize(QSize(UserIcons::kWidth, UserIcons::kHeight));
  setTextElideMode(Qt::ElideNone);
  setItemDelegateForColumn(UserListModel::kLevelColumn, new LevelDelegate(this));
  setAccessibleName(tr("Users in the channel"));

  // White on black; the selection looks the same with or without focus.
  QPalette colors = palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    colors.setColor(group, QPalette::Base, Qt::black);
    colors.setColor(group, QPalette::Window, Qt::black);
    colors.setColor(group, QPalette::Text, Qt::white);
    colors.setColor(group, QPalette::WindowText, Qt::white);
    colors.setColor(group, QPalette::Highlight, palette().color(QPalette::Active, QPalette::Highlight));
    colors.setColor(group, QPalette::HighlightedText,
                    palette().color(QPalette::Active, QPalette::HighlightedText));
  }
  setPalette(colors);

  // Shown as level, product, name; the product column is hidden.
  QHeaderView* columns = header();
  columns->setStretchLastSection(false);
  columns->setSectionsMovable(false);
  columns->setSectionResizeMode(QHeaderView::Fixed);
  columns->setMinimumSectionSize(0);  // the level column is narrower than the style's minimum
  columns->moveSection(columns->visualIndex(UserListModel::kLevelColumn), 0);
  columns->moveSection(columns->visualIndex(UserListModel::kGameTypeColumn), 1);
  setColumnHidden(UserListModel::kGameTypeColumn, true);
  setColumnWidth(UserListModel::kLevelColumn, kLevelWidth);

  connect(&model_, &QAbstractItemModel::modelAboutToBeReset, this,
          [this] { scroll_before_reset_ = verticalScrollBar()->value(); });
  connect(&model_, &QAbstractItemModel::modelReset, this, &UserListView::showModelState);
  connect(&model_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
    insertRowWidths(first, last);
    showNameColumnWidth();
  });
  connect(&model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
          [this](const QModelIndex&, int first, int last) { removeRowWidths(first, last); });
  connect(&model_, &QAbstractItemModel::rowsRemoved, this, [this] {
    showNameColumnWidth();
    announceSelectedNames();
  });
  connect(&model_, &QAbstractItemModel::rowsMoved, this,
          [this](const QModelIndex&, int first, int last, const QModelIndex&, int before) {
            // One block of rows moved: rotate their widths the same way.
            auto at = [this](int i) { return row_widths_.begin() + i; };
            if (before > last)
              std::rotate(at(first), at(last + 1), at(before));
            else
              std::rotate(at(before), at(first), at(last + 1));
            announceSelectedNames();
          });
  connect(&model_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& top, const QModelIndex& bottom, const QList<int>& roles) {
    // A name may come back in other letter case.
    if (!roles.isEmpty() && !roles.contains(Qt::DisplayRole)) return;
    remeasureRows(top.row(), bottom.row());
    showNameColumnWidth();
  });
  connect(&model_, &UserListModel::rowsRefreshed, this, &UserListView::showCoreSelection);
  connect(&model_, &UserListModel::selectionApplied, this, &UserListView::announceSelectedNames);
  showModelState();
}

QString UserListView::selectedNames() const { return FromWire(model_.users().selectedNames()); }

int UserListView::nameColumnWidth() const {
  if (width_counts_.empty()) return kEmptyNameWidth;
  return width_counts_.rbegin()->first + kNameMargin;
}

void UserListView::addWidth(int width) { ++width_counts_[width]; }

void UserListView::removeWidth(int width) {
  auto it = width_counts_.find(width);
  if (it != width_counts_.end() && --it->second == 0) width_counts_.erase(it);
}

int UserListView::measureRow(int row) const {
  return QFontMetrics(font()).horizontalAdvance(FromWire(WithoutDirectionControls(model_.users().row(row).name)));
}

void UserListView::insertRowWidths(int first, int last) {
  if (first < 0 || first > last || last >= model_.users().userCount()) return;
  auto at = row_widths_.begin() + std::min<std::ptrdiff_t>(first, std::ssize(row_widths_));
  at = row_widths_.insert(at, static_cast<size_t>(last - first + 1), 0);
  for (int r = first; r <= last; ++r, ++at) {
    *at = measureRow(r);
    addWidth(*at);
  }
}

void UserListView::removeRowWidths(int first, int last) {
  if (first < 0 || first > last || last >= std::ssize(row_widths_)) return;
  for (int r = first; r <= last; ++r) removeWidth(row_widths_[static_cast<size_t>(r)]);
  row_widths_.erase(row_widths_.begin() + first, row_widths_.begin() + last + 1);
}

void UserListView::remeasureRows(int first, int last) {
  if (first < 0 || first > last || last >= std::ssize(row_widths_)) return;
  for (int r = first; r <= last; ++r) {
    int& width = row_widths_[static_cast<size_t>(r)];
    removeWidth(width);
    width = measureRow(r);
    addWidth(width);
  }
}

void UserListView::measureAllRows() {
  row_widths_.clear();
  width_counts_.clear();
  insertRowWidths(0, model_.users().userCount() - 1);
}

void UserListView::showNameColumnWidth() {
  const int width = nameColumnWidth();
  if (columnWidth(UserListModel::kUserColumn) != width) setColumnWidth(UserListModel::kUserColumn, width);
}

void UserListView::changeEvent(QEvent* event) {
  QTreeView::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    measureAllRows();
    showNameColumnWidth();
  }
}

void UserListView::showCoreSelection() {
  const UserList& users = model_.users();
  showing_model_state_ = true;
  QItemSelection rows;
  for (int r = 0; r < users.userCount(); ++r)
    if (users.row(r).selected) rows.select(model_.index(r, 0), model_.index(r, UserListModel::kColumnCount - 1));
  selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  const int first = users.firstSelected();
  if (first >= 0) selectionModel()->setCurrentIndex(model_.index(first, 0), QItemSelectionModel::NoUpdate);
  showing_model_state_ = false;
  announceSelectedNames();
}

void UserListView::showModelState() {
  showCoreSelection();
  measureAllRows();
  showNameColumnWidth();
  // A reset empties the scroll range until the rows are laid out again; lay
  // them out now so the list stays where the operator left it.
  executeDelayedItemsLayout();
  verticalScrollBar()->setValue(scroll_before_reset_);
  announceSelectedNames();
}

void UserListView::announceSelectedNames() {
  const QString names = selectedNames();
  if (names == announced_names_) return;
  announced_names_ = names;
  emit selectedNamesChanged(names);
}

void UserListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
  QTreeView::selectionChanged(selected, deselected);
  if (showing_model_state_) return;
  const QItemSelectionModel* chosen = selectionModel();
  model_.applyViewSelection([&](UserList& users) {
    for (int r = 0; r < users.userCount(); ++r) {
      const bool on = chosen->isSelected(model_.index(r, UserListModel::kUserColumn));
      if (users.row(r).selected != on) users.setSelected(r, on);
    }
  });
}

void UserListView::mousePressEvent(QMouseEvent* event) {
  // A press on empty space keeps the selection: a double-click there opens
  // the whisper bar for the selected users.
  if (!indexAt(event->position().toPoint()).isValid()) {
    event->accept();
    return;
  }
  QTreeView::mousePressEvent(event);
}

void UserListView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) emit focusReturnRequested();
}

void UserListView::mouseDoubleClickEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (event->button() != Qt::LeftButton) {
    QTreeView::mouseDoubleClickEvent(event);
    return;
  }
  event->accept();
  if (index.isValid())
    emit whisperRequested(index.data(UserListModel::NameRole).toString());
  else
    emit whisperBarRequested();
}

void UserListView::contextMenuEvent(QContextMenuEvent* event) {
  const QModelIndex index = event->reason() == QContextMenuEvent::Mouse ? indexAt(event->pos()) : currentIndex();
  if (!index.isValid()) return;
  event->accept();
  emit userMenuRequested(event->globalPos());
}

void UserListView::keyPressEvent(QKeyEvent* event) {
  // Shift+F10 opens the menu like the Menu key, on the current row, so kick
  // and ban need no mouse.
  const bool menuKey = event->key() == Qt::Key_Menu ||
                       (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
  if (!menuKey) {
    QTreeView::keyPressEvent(event);
    return;
  }
  event->accept();
  const QModelIndex index = currentIndex();
  if (!index.isValid()) return;
  if (!selectionModel()->isRowSelected(index.row(), {}))
    selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(index);
  const QRect row = visualRect(model_.index(index.row(), UserListModel::kUserColumn));
  emit userMenuRequested(viewport()->mapToGlobal(row.center()));
}

void UserListView::scrollToFirstSelected() {
  const int first = model_.users().firstSelected();
  if (first >= 0) scrollTo(model_.index(first, UserListModel::kUserColumn));
}

void UserListView::selectPrevious() {
  model_.users().selectPrevious();
  scrollToFirstSelected();
}

void UserListView::selectNext() {
  model_.users().selectNext();
  scrollToFirstSelected();
}

void UserListView::scrollRows(int direction) {
  if (model_.rowCount() == 0) return;
  const int height = std::max(1, rowHeight(model_.index(0, 0)));
  const int rows = std::max(1, (kPageScrollPixels + height / 2) / height);
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(bar->value() + direction * rows);
}

void UserListView::scrollPageUp() { scrollRows(-1); }
void UserListView::scrollPageDown() { scrollRows(1); }

}  // namespace tolvik::ui
