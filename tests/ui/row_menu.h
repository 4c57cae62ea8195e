#pragma once
// Opening a user list's menu in a test the way the pointer does.
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>

#include "ui/user_list_model.h"
#include "ui/user_list_view.h"

namespace tolvik::testing {

inline QPoint RowCenter(ui::UserListView& view, int row) {
  return view.visualRect(view.userModel().index(row, 0)).center();
}

// Right-clicks `row` (the press selects, then the menu opens); the menu
// shown, or null when none opened.
inline QMenu* OpenMenuOn(ui::UserListView& view, int row) {
  QWidget* port = view.viewport();
  const QPoint at = RowCenter(view, row);
  QTest::mousePress(port, Qt::RightButton, {}, at);
  QTest::mouseRelease(port, Qt::RightButton, {}, at);
  if (!QApplication::activePopupWidget()) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, port->mapToGlobal(at));
    QApplication::sendEvent(port, &event);
  }
  if (!QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000)) return nullptr;
  return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

}  // namespace tolvik::testing
