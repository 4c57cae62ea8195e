#include "ui/dock_focus.h"

#include <QApplication>
#include <QDockWidget>
#include <QMainWindow>

namespace tolvik::ui {
namespace {

// The control that should get focus in `dock`: its own focus proxy chain,
// else the first child that takes focus by Tab.
QWidget* FocusTarget(QDockWidget* dock) {
  QWidget* content = dock->widget();
  if (content == nullptr) return nullptr;
  if (content->focusPolicy() & Qt::TabFocus) return content;
  for (QWidget* child : content->findChildren<QWidget*>())
    if ((child->focusPolicy() & Qt::TabFocus) && child->isVisibleTo(content) && child->isEnabled()) return child;
  return nullptr;
}

}  // namespace

QDockWidget* FocusNextDock(QMainWindow& window, bool backward) {
  QList<QDockWidget*> docks;
  for (QDockWidget* dock : window.findChildren<QDockWidget*>())
    if (dock->isVisible() && FocusTarget(dock) != nullptr) docks.append(dock);
  if (docks.isEmpty()) return nullptr;
  // In the order they were made: chat bar, user list, then the whisper bars.
  qsizetype at = -1;
  for (qsizetype i = 0; i < docks.size(); ++i)
    if (docks[i]->isAncestorOf(QApplication::focusWidget())) at = i;
  const qsizetype n = docks.size();
  const qsizetype next = at < 0 ? (backward ? n - 1 : 0) : (at + (backward ? n - 1 : 1)) % n;
  QDockWidget* dock = docks[next];
  if (dock->isFloating()) dock->activateWindow();
  FocusTarget(dock)->setFocus(Qt::TabFocusReason);
  return dock;
}

}  // namespace tolvik::ui
