#pragma once
// The tray icon's menu: Show/Hide, Connect, Disconnect, Quit.
#include <functional>

class QAction;
class QMenu;
class QWidget;

namespace tolvik::ui {

// `window` is shown and raised or hidden by the first entry; the others run
// the window's own commands. When the menu opens, Connect is enabled only
// while `connected` says false and Disconnect only while it says true.
QMenu* MakeTrayMenu(QWidget* window, QAction* connect, QAction* disconnect, QAction* quit,
                    std::function<bool()> connected);

}  // namespace tolvik::ui
