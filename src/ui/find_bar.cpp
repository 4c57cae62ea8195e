#include "ui/find_bar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>
#include <QToolButton>

namespace tolvik::ui {
namespace {

// Highlights beyond this many would cost more than they tell.
constexpr int kMaxHighlights = 1000;

}  // namespace

FindBar::FindBar(QPlainTextEdit& pane, QWidget* parent)
    : QWidget(parent),
      pane_(pane),
      field_(new QLineEdit(this)),
      previous_(new QToolButton(this)),
      next_(new QToolButton(this)),
      status_(new QLabel(this)) {
  setObjectName(QStringLiteral("findBar"));
  field_->setObjectName(QStringLiteral("findField"));
  field_->setPlaceholderText(tr("Find in chat"));
  field_->setAccessibleName(tr("Find in chat"));
  field_->installEventFilter(this);
  previous_->setText(tr("Previous"));
  previous_->setAccessibleName(tr("Find previous"));
  previous_->setToolTip(tr("Find the previous match (Shift+Enter)"));
  next_->setText(tr("Next"));
  next_->setAccessibleName(tr("Find next"));
  next_->setToolTip(tr("Find the next match (Enter)"));
  auto* close = new QToolButton(this);
  close->setText(tr("Close"));
  close->setAccessibleName(tr("Close the find bar"));
  status_->setAccessibleName(tr("Matches"));

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(new QLabel(tr("Find:"), this));
  layout->addWidget(field_, 1);
  layout->addWidget(previous_);
  layout->addWidget(next_);
  layout->addWidget(status_);
  layout->addWidget(close);

  connect(field_, &QLineEdit::textChanged, this, [this] {
    highlightAll();
    // Typing searches from the start of the current match, so the match grows in place.
    QTextCursor from = pane_.textCursor();
    from.setPosition(from.selectionStart());
    pane_.setTextCursor(from);
    find(false);
  });
  connect(next_, &QToolButton::clicked, this, &FindBar::findNext);
  connect(previous_, &QToolButton::clicked, this, &FindBar::findPrevious);
  connect(close, &QToolButton::clicked, this, &FindBar::close);
  hide();
}

void FindBar::open() {
  // A pane that showed its last line goes back to it when the bar closes,
  // and follows new lines from there again.
  if (isHidden()) {
    const QScrollBar* bar = pane_.verticalScrollBar();
    was_at_end_ = bar->value() >= bar->maximum();
  }
  // The clear button's picture comes from the style's image files, whose
  // loading brings in the image format plugins: only once the bar is used.
  if (!field_->isClearButtonEnabled()) field_->setClearButtonEnabled(true);
  show();
  field_->setFocus(Qt::ShortcutFocusReason);
  field_->selectAll();
  highlightAll();
}

void FindBar::close() {
  hide();
  pane_.setExtraSelections({});
  if (was_at_end_) {
    QScrollBar* bar = pane_.verticalScrollBar();
    bar->setValue(bar->maximum());
    was_at_end_ = false;
  }
  emit closed();
}

void FindBar::findNext() { find(false); }
void FindBar::findPrevious() { find(true); }

void FindBar::find(bool backward) {
  const QString text = field_->text();
  if (text.isEmpty()) return;
  QTextDocument::FindFlags flags;
  if (backward) flags |= QTextDocument::FindBackward;
  QTextDocument* doc = pane_.document();
  QTextCursor found = doc->find(text, pane_.textCursor(), flags);
  if (found.isNull()) {
    // Wrap around: from the other end of the text.
    QTextCursor end(doc);
    if (backward) end.movePosition(QTextCursor::End);
    found = doc->find(text, end, flags);
  }
  if (found.isNull()) return;
  pane_.setTextCursor(found);
  pane_.ensureCursorVisible();
}

void FindBar::highlightAll() {
  QList<QTextEdit::ExtraSelection> marks;
  const QString text = field_->text();
  matches_ = 0;
  if (!text.isEmpty() && isVisible()) {
    QTextEdit::ExtraSelection mark;
    // Readable whatever the pane's colours: dark text on amber.
    mark.format.setBackground(QColor(0xFF, 0xC1, 0x07));
    mark.format.setForeground(Qt::black);
    for (QTextCursor at = pane_.document()->find(text); !at.isNull(); at = pane_.document()->find(text, at)) {
      ++matches_;
      if (marks.size() < kMaxHighlights) {
        mark.cursor = at;
        marks.append(mark);
      }
    }
  }
  pane_.setExtraSelections(marks);
  status_->setText(text.isEmpty() ? QString() : tr("%n match(es)", nullptr, matches_));
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == field_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_F3:
        find(key->modifiers() & Qt::ShiftModifier);
        return true;
      case Qt::Key_Escape:
        close();
        return true;
      default: break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace tolvik::ui
