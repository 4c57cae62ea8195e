#pragma once
// The user list: a headerless report view of UserListModel, white on black.
#include <QFont>
#include <QString>
#include <QTreeView>
#include <map>
#include <string>
#include <vector>

class QContextMenuEvent;
class QKeyEvent;
class QItemSelection;
class QMouseEvent;
class QPoint;

namespace tolvik::ui {

class UserListModel;

// Configures itself, mirrors its selection into UserList::setSelected, and
// turns pointer actions into signals; the window decides what they open.
class UserListView : public QTreeView {
  Q_OBJECT

 public:
  // The name column is the widest name in pixels plus this (room for the icon).
  static constexpr int kNameMargin = 42;
  // The name column's width while the list is empty.
  static constexpr int kEmptyNameWidth = 50;
  static constexpr int kLevelWidth = 10;
  // Ctrl+Page Up/Down scroll this far, rounded to whole rows (at least one).
  static constexpr int kPageScrollPixels = 10;

  explicit UserListView(UserListModel& model, QWidget* parent = nullptr);

  UserListModel& userModel() { return model_; }
  // The selected names, each followed by a space, trailing spaces removed
  // (what the whisper bar's names field starts with).
  QString selectedNames() const;
  // Widest name + 42, or 50 with no users.
  int nameColumnWidth() const;

 public slots:
  // Ctrl+Up / Ctrl+Down: move the first selection, wrapping; the new row is scrolled into view.
  void selectPrevious();
  void selectNext();
  // Ctrl+Page Up / Ctrl+Page Down.
  void scrollPageUp();
  void scrollPageDown();

 signals:
  // Double-click on a user: that user's whisper bar.
  void whisperRequested(const QString& name);
  // Double-click on empty space: the whisper bar for the selected users.
  void whisperBarRequested();
  // Right-click on a user (the user is selected by then).
  void userMenuRequested(const QPoint& globalPos);
  // The selection changed, by the pointer or through the UserList.
  void selectedNamesChanged(const QString& names);
  // A click on the list is over: keyboard focus belongs to the chat bar.
  void focusReturnRequested();

 protected:
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // After a model reset: the core's selection, the column width, the scroll position.
  void showModelState();
  // Selects the rows the core has selected, with the first as the current row.
  void showCoreSelection();
  // The widest-name measure, kept row by row.
  void measureAllRows();
  int measureRow(int row) const;
  void insertRowWidths(int first, int last);
  void removeRowWidths(int first, int last);
  void remeasureRows(int first, int last);
  void addWidth(int width);
  void removeWidth(int width);
  void showNameColumnWidth();
  void scrollToFirstSelected();
  void scrollRows(int direction);
  void announceSelectedNames();

  UserListModel& model_;
  bool showing_model_state_ = false;
  int scroll_before_reset_ = 0;
  QString announced_names_;
  // Each row's name width in pixels, in row order, and how many rows have
  // each width: a join or leave measures one name, and the widest is the
  // last key, so the column keeps up with big channels.
  std::vector<int> row_widths_;
  std::map<int, int> width_counts_;
};

}  // namespace tolvik::ui
