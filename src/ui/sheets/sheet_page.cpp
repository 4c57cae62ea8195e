#include "ui/sheets/sheet_page.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/wire_text.h"

namespace tolvik::ui {

SheetPage::SheetPage(QWidget* parent) : QWidget(parent), layout_(new QVBoxLayout(this)), message_(new QLabel(this)) {
  message_->setObjectName(QStringLiteral("pageMessage"));
  message_->setWordWrap(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  QPalette palette = message_->palette();
  palette.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
  message_->setPalette(palette);
  message_->hide();
  layout_->addStretch();
  layout_->addWidget(message_);
}

QString SheetPage::message() const { return message_->text(); }

bool SheetPage::report(const PageOutcome& outcome) {
  message_->setText(outcome.ok ? QString() : FromWire(outcome.message));
  message_->setVisible(!outcome.ok);
  return outcome.ok;
}

void SheetPage::setContent(QLayout* content) { layout_->insertLayout(0, content); }

void SheetPage::pressOnEnter(QLineEdit* field, QPushButton* button) {
  enter_buttons_.emplace_back(field, button);
  field->installEventFilter(this);
}

bool SheetPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      for (const auto& [field, button] : enter_buttons_) {
        if (field == watched && button->isEnabled()) {
          button->click();
          return true;
        }
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

void SheetPage::SyncCombo(QComboBox* box, const std::vector<std::string>& items, int index, const std::string& text) {
  const QSignalBlocker block(box);
  QLineEdit* edit = box->lineEdit();
  const QString typed = edit ? edit->text() : QString();
  const int caret = edit ? edit->cursorPosition() : 0;
  QStringList wanted;
  wanted.reserve(static_cast<qsizetype>(items.size()));
  for (const std::string& item : items) wanted << FromWire(item);
  QStringList shown;
  for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
  if (shown != wanted) {
    box->clear();
    box->addItems(wanted);
    box->setCurrentIndex(-1);
  }
  if (box->currentIndex() != index) box->setCurrentIndex(index);
  if (!edit) return;
  const QString shown_text = FromWire(text);
  if (edit->text() != shown_text) box->setEditText(shown_text);
  // Changing the selection rewrote the field: a caret in the middle of the same text stays put.
  if (shown_text == typed && edit->cursorPosition() != caret) edit->setCursorPosition(caret);
}

}  // namespace tolvik::ui
