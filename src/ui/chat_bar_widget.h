#pragma once
// The chat bar: the operator's input line and the "Whisper Lock" button over the core ChatBar.
#include <QWidget>
#include <functional>
#include <memory>
#include <string_view>

#include "app/chat_bar.h"

class QLineEdit;
class QPushButton;
class QKeyEvent;

namespace tolvik {
class CHaldenDoc;
}

namespace tolvik::ui {

// Every key of the line goes through one switch that calls ChatBar; the
// widget's text and caret are copied into ChatBar before and back after each
// operation, so the history, completion and cut rules live only in the core.
class LeftOutNotice;

class ChatBarWidget : public QWidget {
  Q_OBJECT

 public:
  explicit ChatBarWidget(CHaldenDoc& doc, QWidget* parent = nullptr);
  ~ChatBarWidget() override;

  // For the whisper bars and for reading state; toggle the lock through
  // toggleWhisperLock() so the button stays in step.
  ChatBar& chatBar() { return *bar_; }
  QLineEdit& input();
  QPushButton& whisperLockButton() { return *lock_button_; }

  // The key switch: runs the ChatBar operation bound to `key` (Enter,
  // Ctrl+Enter, Up, Down, Tab, Shift+Tab, Esc); false for any other key.
  bool handleKey(const QKeyEvent& key);
  // Whether `key` is one the switch handles.
  static bool isOwnKey(const QKeyEvent& key);

 public slots:
  void focusInput();
  // Inserts at the caret, replacing the selection, as far as the line's
  // limit allows ("Paste to Chat Bar", the main paste command); the rest is
  // shown in the chat display.
  void insertText(const QString& text);
  void pasteSelectedNames();  // Alt+N
  void pasteServerName();     // Alt+S
  void replyToLastWhisper();  // Ctrl+R
  void toggleWhisperLock();   // Ctrl+W and the button
  void whisperSelected();     // Alt+W
  void sendLine();            // Enter
  void sendLineIgnoringLock();  // Ctrl+Enter
  void historyBack();         // Up
  void historyForward();      // Down
  void clearInput();          // Esc

 signals:
  void whisperLockChanged(bool on);

 private:
  class Input;

  // Copies the widget into ChatBar, runs `op`, copies ChatBar back.
  void run(const std::function<void(ChatBar&)>& op);
  void pushToCore();
  void pullFromCore();
  // The operator edited the line: ChatBar follows, and its cuts show at once.
  void textEdited();
  void showWhisperLock();
  // Text the line could not take goes to the chat display.
  void showLeftOut(std::string_view left_out);

  CHaldenDoc& doc_;
  std::unique_ptr<ChatBar> bar_;
  Input* input_;
  QPushButton* lock_button_;
  LeftOutNotice* left_out_ = nullptr;
  bool pulling_ = false;
};

}  // namespace tolvik::ui
