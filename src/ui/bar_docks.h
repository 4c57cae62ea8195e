#pragma once
// The docks of a chat window's bars: the chat bar at the bottom, spanning
// the full width with the whisper bars, and the user list at the side.
class QDockWidget;
class QMainWindow;
class QWidget;

namespace tolvik::ui {

QDockWidget* AddChatBarDock(QMainWindow& window, QWidget* chatBar);
QDockWidget* AddUserListDock(QMainWindow& window, QWidget* userList);

}  // namespace tolvik::ui
