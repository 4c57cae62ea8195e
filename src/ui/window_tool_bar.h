#pragma once
// A chat window's toolbar: Connect and Disconnect, the two configuration
// sheets, the switches and Clear Chat, in groups with a separator between
// them. The window on its own bot adds Last Seen and the server choice.
class QAction;
class QMainWindow;
class QToolBar;

namespace tolvik::ui {

struct ChatCommands;
class ToggleActions;

// `lastSeen` and `selectServer` may be null: the toolbar goes without them.
QToolBar* AddChatToolBar(QMainWindow& window, const ChatCommands& commands, const ToggleActions& toggles,
                         QAction* lastSeen = nullptr, QAction* selectServer = nullptr);

}  // namespace tolvik::ui
