#include "ui/chat_bar_widget.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "app/document.h"
#include "display/utf8_cut.h"
#include "ui/left_out_notice.h"
#include "ui/whisper_bar.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

constexpr Qt::KeyboardModifiers kCommandModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// UTF-8 length of the first `chars` UTF-16 units of `text`.
size_t ByteOffset(const QString& text, int chars) {
  return static_cast<size_t>(text.left(chars).toUtf8().size());
}

// UTF-16 length of the first `bytes` bytes of `utf8`.
int CharOffset(std::string_view utf8, size_t bytes) {
  return static_cast<int>(FromWire(utf8.substr(0, std::min(bytes, utf8.size()))).size());
}

}  // namespace

// The input line: hands the switch's keys to the bar before focus handling
// (Tab) or window shortcuts (Up, Down, Esc, Enter) can take them.
class ChatBarWidget::Input : public QLineEdit {
 public:
  explicit Input(ChatBarWidget& owner) : QLineEdit(&owner), owner_(owner) {}

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::ShortcutOverride) {
      const auto& key = static_cast<const QKeyEvent&>(*event);
      if (isOwnKey(key)) {
        event->accept();
        return true;
      }
      // Ctrl and Alt combinations belong to the window's accelerators first
      // (Alt+N, Ctrl+R, Ctrl+W, copy and paste); plain typing stays here.
      if (key.modifiers() & kCommandModifiers) {
        event->ignore();
        return true;
      }
    } else if (event->type() == QEvent::KeyPress) {
      if (owner_.handleKey(static_cast<const QKeyEvent&>(*event))) {
        event->accept();
        return true;
      }
    }
    return QLineEdit::event(event);
  }

 private:
  ChatBarWidget& owner_;
};

ChatBarWidget::ChatBarWidget(CHaldenDoc& doc, QWidget* parent)
    : QWidget(parent), doc_(doc), bar_(std::make_unique<ChatBar>(doc)), input_(new Input(*this)),
      lock_button_(new QPushButton(QStringLiteral("Whisper Lock"), this)) {
  // No maxLength: it would cut pastes silently. ChatBar cuts, and the rest is shown.
  input_->setObjectName(QStringLiteral("chatInput"));
  lock_button_->setObjectName(QStringLiteral("whisperLockButton"));
  input_->setAccessibleName(tr("Chat bar"));
  lock_button_->setAccessibleName(tr("Whisper lock"));
  lock_button_->setCheckable(true);
  lock_button_->setFocusPolicy(Qt::NoFocus);
  lock_button_->setFixedWidth(124);
  setFocusProxy(input_);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  layout->addWidget(input_, 1);
  layout->addWidget(lock_button_);

  connect(input_, &QLineEdit::textChanged, this, &ChatBarWidget::textEdited);
  connect(lock_button_, &QPushButton::clicked, this, &ChatBarWidget::toggleWhisperLock);
  showWhisperLock();
}

ChatBarWidget::~ChatBarWidget() = default;

QLineEdit& ChatBarWidget::input() { return *input_; }

bool ChatBarWidget::isOwnKey(const QKeyEvent& key) {
  const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
  switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return mods == Qt::NoModifier || mods == Qt::ControlModifier;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Escape:
      return mods == Qt::NoModifier;
    case Qt::Key_Tab:
      return mods == Qt::NoModifier || mods == Qt::ShiftModifier;
    case Qt::Key_Backtab:
      return mods == Qt::NoModifier || mods == Qt::ShiftModifier;
    default:
      return false;
  }
}

bool ChatBarWidget::handleKey(const QKeyEvent& key) {
  if (!isOwnKey(key)) return false;
  const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
  switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      run([&](ChatBar& bar) { bar.sendChatLine(mods == Qt::ControlModifier); });
      break;
    case Qt::Key_Up: run([](ChatBar& bar) { bar.historyBack(); }); break;
    case Qt::Key_Down: run([](ChatBar& bar) { bar.historyForward(); }); break;
    case Qt::Key_Tab:
      run([&](ChatBar& bar) { bar.completeName(mods != Qt::ShiftModifier); });
      break;
    case Qt::Key_Backtab: run([](ChatBar& bar) { bar.completeName(false); }); break;
    case Qt::Key_Escape: run([](ChatBar& bar) { bar.clear(); }); break;
    default: return false;
  }
  return true;
}

void ChatBarWidget::run(const std::function<void(ChatBar&)>& op) {
  pushToCore();
  op(*bar_);
  pullFromCore();
}

void ChatBarWidget::pushToCore() {
  const QString text = input_->text();
  bar_->setText(ToWire(text, ChatBar::kFieldLength));  // the same text again is no change
  const int start = input_->hasSelectedText() ? input_->selectionStart() : input_->cursorPosition();
  const int end = input_->hasSelectedText() ? input_->selectionEnd() : input_->cursorPosition();
  bar_->setSelection(ByteOffset(text, start), ByteOffset(text, end));
}

void ChatBarWidget::pullFromCore() {
  const std::string& bytes = bar_->text();
  const QString text = FromWire(bytes);
  pulling_ = true;
  if (input_->text() != text) input_->setText(text);
  const int start = std::min(CharOffset(bytes, bar_->selectionStart()), static_cast<int>(text.size()));
  const int caret = std::min(CharOffset(bytes, bar_->caret()), static_cast<int>(text.size()));
  if (start == caret)
    input_->setCursorPosition(caret);
  else
    input_->setSelection(start, caret - start);
  pulling_ = false;
}

void ChatBarWidget::textEdited() {
  if (pulling_) return;
  const QString shown = input_->text();
  const std::string all = ToWire(shown);
  bar_->setText(ToWire(shown, ChatBar::kFieldLength));
  // A line break ends the line and UTF-8 has a byte limit: show what ChatBar
  // kept (always the start of the text) in the field and the rest in the display.
  if (bar_->text().size() == all.size()) return;
  const QString kept = FromWire(bar_->text());
  const int caret = std::min(input_->cursorPosition(), static_cast<int>(kept.size()));
  pulling_ = true;
  input_->setText(kept);
  input_->setCursorPosition(caret);
  pulling_ = false;
  showLeftOut(std::string_view(all).substr(bar_->text().size()));
}

void ChatBarWidget::showLeftOut(std::string_view left_out) {
  if (!left_out_) left_out_ = new LeftOutNotice(&doc_.Display(), QStringLiteral("chat bar"), ChatBar::kFieldLength, this);
  left_out_->add(left_out);
}

void ChatBarWidget::showWhisperLock() { lock_button_->setChecked(bar_->whisperLock); }

void ChatBarWidget::focusInput() { input_->setFocus(Qt::OtherFocusReason); }

void ChatBarWidget::insertText(const QString& text) {
  const std::string all = ToWire(text);
  size_t inserted = 0;
  run([&](ChatBar& bar) {
    // ChatBar cuts at a line break and at the field's room; cut at a
    // character boundary first so it never splits one.
    const size_t kept = bar.text().size() - (bar.caret() - bar.selectionStart());
    const size_t room = ChatBar::kFieldLength - std::min(kept, ChatBar::kFieldLength);
    const size_t start = bar.selectionStart();
    bar.insertText(Utf8Prefix(all, room));
    inserted = bar.caret() - start;
  });
  showLeftOut(std::string_view(all).substr(std::min(inserted, all.size())));
  focusInput();
}

void ChatBarWidget::pasteSelectedNames() {
  run([](ChatBar& bar) { bar.pasteSelectedNames(); });
  focusInput();
}

void ChatBarWidget::pasteServerName() {
  run([](ChatBar& bar) { bar.pasteServerName(); });
  focusInput();
}

void ChatBarWidget::replyToLastWhisper() {
  run([](ChatBar& bar) { bar.replyToLastWhisper(); });
  focusInput();
}

void ChatBarWidget::toggleWhisperLock() {
  bar_->toggleWhisperLock();
  showWhisperLock();
  focusInput();
  emit whisperLockChanged(bar_->whisperLock);
}

void ChatBarWidget::whisperSelected() {
  run([](ChatBar& bar) { bar.whisperSelected(); });
}

void ChatBarWidget::sendLine() {
  run([](ChatBar& bar) { bar.sendChatLine(false); });
}

void ChatBarWidget::sendLineIgnoringLock() {
  run([](ChatBar& bar) { bar.sendChatLine(true); });
}

void ChatBarWidget::historyBack() {
  run([](ChatBar& bar) { bar.historyBack(); });
}

void ChatBarWidget::historyForward() {
  run([](ChatBar& bar) { bar.historyForward(); });
}

void ChatBarWidget::clearInput() {
  run([](ChatBar& bar) { bar.clear(); });
}

}  // namespace tolvik::ui
