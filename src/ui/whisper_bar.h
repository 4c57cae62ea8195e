#pragma once
// The "Whisper Bar": a message for the selected users and a typed list of names.
#include <QLineEdit>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>

#include "ui/whisper_send.h"

namespace tolvik {
class ChatBar;
class ChatDisplay;
}  // namespace tolvik

namespace tolvik::ui {

class LeftOutNotice;

// An input field of the whisper bars: Enter sends, Esc empties the field.
// It holds one line of at most `max_bytes` of UTF-8, cut between characters;
// the rest goes to `display` (when given) as a left-out notice.
class WhisperField : public QLineEdit {
 public:
  WhisperField(size_t max_bytes, const QString& what, ChatDisplay* display, QWidget* parent);
  void setOnEnter(std::function<void()> send) { on_enter_ = std::move(send); }

 protected:
  bool event(QEvent* event) override;

 private:
  void keepLimit();

  size_t max_bytes_;
  LeftOutNotice* left_out_;
  std::function<void()> on_enter_;
};

class WhisperBar : public QWidget {
  Q_OBJECT

 public:
  // What the fields cannot take is shown in `display` when given.
  explicit WhisperBar(ChatBar& bar, QWidget* parent = nullptr, ChatDisplay* display = nullptr);
  WhisperBar(WhisperSend sender, QWidget* parent, ChatDisplay* display);

  // Puts `names` (the selected users) into the names field, caret at the
  // end, and gives that field the focus.
  void prefill(const QString& names);
  QLineEdit& namesField();
  QLineEdit& messageField();

 public slots:
  // Enter in either field: the message to the selected and the typed users.
  void send();

 private:
  WhisperSend send_;
  WhisperField* names_;
  WhisperField* message_;
};

}  // namespace tolvik::ui
