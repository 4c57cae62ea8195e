#pragma once
// The View menu of a chat window: the status bar, the display switches, the
// times, and the toolbar and docks shown or hidden.
#include "ui/timestamp_actions.h"

class QAction;
class QDockWidget;
class QMainWindow;
class QMenu;
class QToolBar;

namespace tolvik::ui {

class StatusBar;
class ToggleActions;

struct ViewMenuItems {
  QAction* showStatusBar;
  const ToggleActions* toggles;
  TimestampActions timestamps;
  QToolBar* toolBar;
  QDockWidget* userListDock;
  QDockWidget* chatBarDock;
  QAction* whisperBar;
};

// Makes `bar` the window's status bar; returns the View menu's switch that
// shows or hides it.
QAction* InstallStatusBar(QMainWindow& window, StatusBar* bar);

QMenu* AddViewMenu(QMainWindow& window, const ViewMenuItems& items);

}  // namespace tolvik::ui
