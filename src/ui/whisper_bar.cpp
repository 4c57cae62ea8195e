#include "ui/whisper_bar.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <algorithm>

#include "app/chat_bar.h"
#include "ui/wire_text.h"

namespace tolvik::ui {

WhisperField::WhisperField(size_t max_bytes, QWidget* parent) : QLineEdit(parent), max_bytes_(max_bytes) {
  setMaxLength(static_cast<int>(max_bytes));
  connect(this, &QLineEdit::textChanged, this, [this] { keepLimit(); });
}

void WhisperField::keepLimit() {
  const QString shown = text();
  if (static_cast<size_t>(shown.toUtf8().size()) <= max_bytes_) return;
  const int caret = cursorPosition();
  const QString kept = FromWire(ToWire(shown, max_bytes_));
  setText(kept);
  setCursorPosition(std::min(caret, static_cast<int>(kept.size())));
}

bool WhisperField::event(QEvent* event) {
  const bool key_event = event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress;
  if (key_event) {
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    const bool enter = (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) && mods == Qt::NoModifier;
    const bool esc = key.key() == Qt::Key_Escape && mods == Qt::NoModifier;
    if (enter || esc) {
      event->accept();
      if (event->type() == QEvent::KeyPress) {
        if (esc)
          clear();
        else if (on_enter_)
          on_enter_();
      }
      return true;
    }
  }
  return QLineEdit::event(event);
}

WhisperBar::WhisperBar(ChatBar& bar, QWidget* parent)
    : QWidget(parent), bar_(bar), names_(new WhisperField(ChatBar::kFieldLength, this)),
      message_(new WhisperField(ChatBar::kFieldLength, this)) {
  names_->setObjectName(QStringLiteral("whisperNames"));
  message_->setObjectName(QStringLiteral("whisperMessage"));
  names_->setOnEnter([this] { send(); });
  message_->setOnEnter([this] { send(); });

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->addWidget(new QLabel(QStringLiteral("Whisper To Selected Users And:"), this), 0, 0);
  layout->addWidget(names_, 0, 1);
  layout->addWidget(message_, 1, 0, 1, 2);
  layout->setColumnStretch(1, 1);
  setFocusProxy(message_);
}

QLineEdit& WhisperBar::namesField() { return *names_; }
QLineEdit& WhisperBar::messageField() { return *message_; }

void WhisperBar::prefill(const QString& names) {
  names_->setText(names);
  names_->setCursorPosition(static_cast<int>(names_->text().size()));
  names_->setFocus(Qt::OtherFocusReason);
}

void WhisperBar::send() {
  // An empty message would only whisper a bare "/m name".
  if (message_->text().isEmpty()) return;
  bar_.sendWhisperBar(ToWire(names_->text(), ChatBar::kFieldLength),
                      ToWire(message_->text(), ChatBar::kFieldLength));
  message_->clear();
}

}  // namespace tolvik::ui
