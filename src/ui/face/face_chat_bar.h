#pragma once
// The chat bar of a window attached to a bot: one line of at most 254 bytes
// that goes to the bot as typed (Enter), with the recall history (Up, Down)
// and name completion from the user list (Tab, Shift+Tab). The bot runs
// the line as its own chat bar would.
#include <QWidget>
#include <functional>
#include <string>

#include "app/chat_bar.h"

class QLineEdit;

namespace tolvik {
class ChatDisplay;
class UserList;
}  // namespace tolvik

namespace tolvik::ui {

class WhisperField;

class FaceChatBar : public QWidget {
  Q_OBJECT

 public:
  // `send` gets each line Enter sends; names complete from `users`; text
  // the line cannot take goes to `display`.
  FaceChatBar(std::function<void(const std::string& line)> send, const UserList& users, ChatDisplay* display,
              QWidget* parent = nullptr);

  QLineEdit& input();

 public slots:
  void focusInput();

 private:
  class Input;
  void sendLine();
  void recall(bool back);
  void complete(bool forward);

  std::function<void(const std::string&)> send_;
  const UserList& users_;
  Input* input_;
  ChatHistory history_;
  std::string completion_prefix_;
  int completion_index_ = -1;
};

}  // namespace tolvik::ui
