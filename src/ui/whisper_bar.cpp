#include "ui/whisper_bar.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <algorithm>

#include "app/chat_bar.h"
#include "display/chat_display.h"
#include "display/utf8_cut.h"
#include "ui/left_out_notice.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
WhisperField::WhisperField(size_t max_bytes, const QString& what, ChatDisplay* display, QWidget* parent)
    : QLineEdit(parent), max_bytes_(max_bytes), left_out_(new LeftOutNotice(display, what, max_bytes, this)) {
  connect(this, &QLineEdit::textChanged, this, [this] { keepLimit(); });
}

void WhisperField::keepLimit() {
  const QString shown = text();
  const std::string all = ToWire(shown);
  const std::string_view line = std::string_view(all).substr(0, all.find_first_of("\r\n"));
  const std::string_view kept = Utf8Prefix(line, max_bytes_);
  if (kept.size() == all.size()) return;
  const int caret = cursorPosition();
  const QString shown_kept = FromWire(kept);
  setText(shown_kept);
  setCursorPosition(std::min(caret, static_cast<int>(shown_kept.size())));
  left_out_->add(std::string_view(all).substr(kept.size()));
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

WhisperBar::WhisperBar(ChatBar& bar, QWidget* parent, ChatDisplay* display)
    : WhisperBar(WhisperSend::Through(bar), parent, display) {}

WhisperBar::WhisperBar(WhisperSend sender, QWidget* parent, ChatDisplay* display)
    : QWidget(parent), send_(std::move(sender)),
      names_(new WhisperField(ChatBar::kFieldLength, QStringLiteral("whisper bar's names"), display, this)),
      message_(new WhisperField(ChatBar::kFieldLength, QStringLiteral("whisper bar"), display, this)) {
  names_->setObjectName(QStringLiteral("whisperNames"));
  message_->setObjectName(QStringLiteral("whisperMessage"));
  names_->setAccessibleName(tr("Whisper to these names"));
  message_->setAccessibleName(tr("Whisper message"));
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
  send_.toNames(ToWire(names_->text(), ChatBar::kFieldLength), ToWire(message_->text(), ChatBar::kFieldLength));
  message_->clear();
}

}  // namespace tolvik::ui
