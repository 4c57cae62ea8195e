#pragma once
// Ctrl+Tab: keyboard focus moves on to the next shown dock (chat bar, user
// list, whisper bars), wrapping; Ctrl+Shift+Tab goes back.
class QMainWindow;
class QDockWidget;

namespace tolvik::ui {

// Moves focus from the dock that holds it to the next (or previous) shown
// dock's first control that takes focus. Returns the dock focused, or null
// when no dock can take focus.
QDockWidget* FocusNextDock(QMainWindow& window, bool backward);

}  // namespace tolvik::ui
