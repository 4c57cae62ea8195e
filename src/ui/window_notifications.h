#pragma once
// A chat window's desktop notifications: through its tray icon, their
// switches at the end of the Options menu, told of each line the chat shows.
#include <QString>
#include <functional>

class QMainWindow;
class QMenu;
class QSystemTrayIcon;

namespace tolvik::ui {

class ChatPane;
class DesktopNotifications;

// `ownName` is the bot's name on the server, asked for each line.
DesktopNotifications* AddWindowNotifications(QMainWindow& window, QSystemTrayIcon* tray, QMenu* options,
                                             ChatPane& pane, std::function<QString()> ownName);

}  // namespace tolvik::ui
