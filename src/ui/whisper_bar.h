#pragma once
// The "Whisper Bar": a message for the selected users and a typed list of names.
#include <QLineEdit>
#include <QWidget>
#include <functional>

namespace tolvik {
class ChatBar;
}

namespace tolvik::ui {

// An input field of the whisper bars: Enter sends, Esc empties the field,
// and the text never exceeds `max_bytes` of UTF-8 (cut at a character).
class WhisperField : public QLineEdit {
 public:
  WhisperField(size_t max_bytes, QWidget* parent);
  void setOnEnter(std::function<void()> send) { on_enter_ = std::move(send); }

 protected:
  bool event(QEvent* event) override;

 private:
  void keepLimit();

  size_t max_bytes_;
  std::function<void()> on_enter_;
};

class WhisperBar : public QWidget {
  Q_OBJECT

 public:
  WhisperBar(ChatBar& bar, QWidget* parent = nullptr);

  // Puts `names` (the selected users) into the names field, caret at the
  // end, and gives that field the focus.
  void prefill(const QString& names);
  QLineEdit& namesField();
  QLineEdit& messageField();

 public slots:
  // Enter in either field: the message to the selected and the typed users.
  void send();

 private:
  ChatBar& bar_;
  WhisperField* names_;
  WhisperField* message_;
};

}  // namespace tolvik::ui
