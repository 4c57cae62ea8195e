#include "ui/face/face_chat_bar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>

#include "bot/user_list.h"
#include "storage/ini_text.h"
#include "ui/whisper_bar.h"
#include "ui/wire_text.h"

namespace tolvik::ui {

// The whisper bars' field (Enter sends, Esc empties, the byte limit), with
// the chat bar's Up, Down, Tab and Shift+Tab besides.
class FaceChatBar::Input : public WhisperField {
 public:
  Input(FaceChatBar& bar, ChatDisplay* display)
      : WhisperField(ChatBar::kFieldLength, QStringLiteral("chat bar"), display, &bar), bar_(bar) {}

 protected:
  bool event(QEvent* event) override {
    // Tab is caught here: focus handling takes it before keyPressEvent.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
      const auto& key = static_cast<const QKeyEvent&>(*event);
      const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
      const bool plain = mods == Qt::NoModifier;
      const int k = key.key();
      const bool own = (plain && (k == Qt::Key_Up || k == Qt::Key_Down || k == Qt::Key_Tab)) ||
                       k == Qt::Key_Backtab || (k == Qt::Key_Tab && mods == Qt::ShiftModifier);
      if (own) {
        event->accept();
        if (event->type() == QEvent::KeyPress) {
          if (k == Qt::Key_Up || k == Qt::Key_Down)
            bar_.recall(k == Qt::Key_Up);
          else
            bar_.complete(k == Qt::Key_Tab && plain);
        }
        return true;
      }
      // Any other key ends a run of completions.
      if (event->type() == QEvent::KeyPress) bar_.completion_index_ = -1;
    }
    return WhisperField::event(event);
  }

 private:
  FaceChatBar& bar_;
};

FaceChatBar::FaceChatBar(std::function<void(const std::string&)> send, const UserList& users, ChatDisplay* display,
                         QWidget* parent)
    : QWidget(parent), send_(std::move(send)), users_(users), input_(new Input(*this, display)) {
  input_->setObjectName(QStringLiteral("chatBarInput"));
  input_->setAccessibleName(tr("Chat bar"));
  input_->setOnEnter([this] { sendLine(); });
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(2, 2, 2, 2);
  row->addWidget(input_);
  setFocusProxy(input_);
}

QLineEdit& FaceChatBar::input() { return *input_; }

void FaceChatBar::focusInput() { input_->setFocus(Qt::OtherFocusReason); }

void FaceChatBar::sendLine() {
  const std::string line = ToWire(input_->text(), ChatBar::kFieldLength);
  if (line.empty()) return;
  send_(line);
  history_.store(line);
  history_.clearPrefix();
  completion_index_ = -1;
  input_->clear();
}

void FaceChatBar::recall(bool back) {
  std::string line = ToWire(input_->text());
  if (back ? history_.back(line) : history_.forward(line)) input_->setText(FromWire(line));
}

void FaceChatBar::complete(bool forward) {
  const std::string text = ToWire(input_->text());
  const size_t space = text.rfind(' ');
  if (completion_index_ == -1) completion_prefix_ = space == std::string::npos ? text : text.substr(space + 1);
  const int n = users_.userCount();
  if (completion_prefix_.empty() || n == 0) return;
  int start = completion_index_ + (forward ? 1 : -1);
  if (start < 0 || start >= n) start = forward ? 0 : n - 1;
  for (int k = 0; k < n; ++k) {
    const int i = forward ? (start + k) % n : (start - k + n) % n;
    const std::string& name = users_.row(i).name;
    if (name.size() < completion_prefix_.size() ||
        !ini::EqualsIgnoreCase(std::string_view(name).substr(0, completion_prefix_.size()), completion_prefix_))
      continue;
    const std::string head = space == std::string::npos ? std::string() : text.substr(0, space + 1);
    input_->setText(FromWire(head + name));
    completion_index_ = i;
    return;
  }
}

}  // namespace tolvik::ui
