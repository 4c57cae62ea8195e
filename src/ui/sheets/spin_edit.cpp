#include "ui/sheets/spin_edit.h"

#include <QLineEdit>
#include <algorithm>

namespace tolvik::ui {

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
  setKeyboardTracking(true);
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  connect(lineEdit(), &QLineEdit::textEdited, this, &SpinEdit::textEdited);
}

QSize SpinEdit::sizeHint() const {
  const QSize base = QAbstractSpinBox::sizeHint();
  const int text = fontMetrics().horizontalAdvance(widest_text_);
  return {std::max(base.width(), text + base.height() + 8), base.height()};
}

QSize SpinEdit::minimumSizeHint() const { return sizeHint(); }

void SpinEdit::setWidestText(const QString& text) {
  widest_text_ = text;
  updateGeometry();
}

QString SpinEdit::text() const { return lineEdit()->text(); }

void SpinEdit::setText(const QString& text) {
  if (lineEdit()->text() != text) lineEdit()->setText(text);
}

void SpinEdit::setMaxLength(int length) { lineEdit()->setMaxLength(length); }

void SpinEdit::stepBy(int steps) {
  emit stepped(steps);
  lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
  if (isReadOnly() || !isEnabled()) return StepNone;
  return StepUpEnabled | StepDownEnabled;
}

}  // namespace tolvik::ui
