#pragma once
// The tray icon's menu: Show/Hide, Connect, Disconnect, Quit.
class QAction;
class QMenu;
class QWidget;

namespace tolvik::ui {

// `window` is shown and raised or hidden by the first entry; the others are
// the window's own commands, so they follow its enabled state.
QMenu* MakeTrayMenu(QWidget* window, QAction* connect, QAction* disconnect, QAction* quit);

}  // namespace tolvik::ui
