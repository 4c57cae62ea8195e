#pragma once
// The window-wide keys of a chat window (the window on its own bot and the
// one attached to a bot): they work wherever the window's bars are, docked
// or floating.
#include <QKeySequence>
#include <QString>

class QAction;
class QMainWindow;
class QWidget;

namespace tolvik::ui {

class ChatPane;
class ToggleActions;

// A new action of `window` with its status-bar text and keys.
QAction* AddWindowCommand(QWidget& window, const QString& text, const QString& statusTip,
                          const QKeySequence& keys = {});

// The switches' keys (Alt+V, Alt+P) window-wide too.
void AddToggleKeys(QWidget& window, const ToggleActions& toggles);

// Alt+Up, Alt+Down, Alt+PageUp, Alt+PageDown, Alt+Home and Alt+End scroll
// the chat; Ctrl+Tab moves on to the next dock.
void AddChatScrollKeys(QMainWindow& window, ChatPane& pane);

}  // namespace tolvik::ui
