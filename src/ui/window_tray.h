#pragma once
// A chat window's icon in the notification area: the window hides in it
// when minimised (where the desktop has one), a double-click brings it back,
// and it goes when the window is back or active.
#include <functional>

class QAction;
class QEvent;
class QMainWindow;
class QSystemTrayIcon;

namespace tolvik::ui {

// The icon with the tray menu of MakeTrayMenu (not shown yet).
QSystemTrayIcon* MakeWindowTray(QMainWindow& window, QAction* connect, QAction* disconnect, QAction* quit,
                                std::function<bool()> connected);

void RestoreFromTray(QMainWindow& window, QSystemTrayIcon& tray);

// For the window's changeEvent, after QMainWindow's own; `tray` may still be
// null. True when `event` made the window the active one.
bool TrayFollowsWindow(QMainWindow& window, const QEvent& event, QSystemTrayIcon* tray);

}  // namespace tolvik::ui
