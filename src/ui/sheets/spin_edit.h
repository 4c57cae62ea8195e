#pragma once
// An edit field with an up-down spin whose text is free: the arrows, the
// Up/Down keys and the wheel only report steps, and the page decides what
// the text becomes (a level field may show "-1 (everybody)" although its spin
// stops at 0).
#include <QAbstractSpinBox>

namespace tolvik::ui {

class SpinEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  explicit SpinEdit(QWidget* parent = nullptr);

  QString text() const;
  // Shows `text` without raising textEdited.
  void setText(const QString& text);
  void setMaxLength(int length);
  // The longest text the field should show whole (a number by default).
  void setWidestText(const QString& text);

  void stepBy(int steps) override;
  // Wide enough for a level or limit and its arrows, not for the whole row.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // The up arrow gives +1 per step, the down arrow -1.
  void stepped(int steps);
  // The user typed.
  void textEdited(const QString& text);

 protected:
  StepEnabled stepEnabled() const override;

 private:
  QString widest_text_ = QStringLiteral("-99999");
};

}  // namespace tolvik::ui
