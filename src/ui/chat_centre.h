#pragma once
// The middle of a chat window: the chat pane with its find bar under it.
class QMainWindow;

namespace tolvik::ui {

class ChatPane;
class FindBar;

struct ChatCentre {
  ChatPane* pane;
  FindBar* findBar;
};

// Makes the pane and the find bar `window`'s central widget.
ChatCentre SetChatCentre(QMainWindow& window);

}  // namespace tolvik::ui
