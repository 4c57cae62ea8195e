#pragma once
// The commands a chat window has whether it runs its own bot or is attached
// to one, with the same text, keys and icons in both: made here, connected
// to the bot by the window.
#include <QString>

class QAction;
class QMainWindow;

namespace tolvik::ui {

class ChatPane;
class FindBar;

struct ChatCommands {
  QAction* fileLogging;  // checked while the pane writes its log; works on the pane
  QAction* selectAll;    // works on the pane
  QAction* copy;
  QAction* find;  // opens the find bar
  QAction* configure;
  QAction* responses;
  QAction* connect;
  QAction* disconnect;
  QAction* clearChat;  // works on the pane
  QAction* whisperBar;
};

// What the status bar says of the commands that act on the bot or its chat.
struct ChatCommandTips {
  QString connect;
  QString disconnect;
  QString clearChat;
};

ChatCommands AddChatCommands(QMainWindow& window, ChatPane& pane, FindBar& findBar, const ChatCommandTips& tips);

}  // namespace tolvik::ui
