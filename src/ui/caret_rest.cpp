#include "ui/caret_rest.h"

#include <QApplication>
#include <QEvent>

namespace tolvik::ui {

CaretRest::CaretRest(QObject* parent, int rest_after_ms) : QObject(parent) {
  timer_.setSingleShot(true);
  timer_.setInterval(rest_after_ms);
  connect(&timer_, &QTimer::timeout, this, &CaretRest::rest);
  qApp->installEventFilter(this);
  timer_.start();
}

CaretRest::~CaretRest() {
  qApp->removeEventFilter(this);
  wake();
}

bool CaretRest::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::InputMethod:
    case QEvent::ShortcutOverride:
      wake();
      timer_.start();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

void CaretRest::rest() {
  if (resting_) return;
  flash_time_ = QApplication::cursorFlashTime();
  if (flash_time_ <= 0) return;  // it does not blink anyway
  resting_ = true;
  // A flash time of 0 shows the caret steadily; open line edits follow the change.
  QApplication::setCursorFlashTime(0);
}

void CaretRest::wake() {
  if (!resting_) return;
  resting_ = false;
  QApplication::setCursorFlashTime(flash_time_);
}

}  // namespace tolvik::ui
