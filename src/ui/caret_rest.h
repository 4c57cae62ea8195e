#pragma once
// The text caret stops blinking once nobody has typed or clicked for a while
// and blinks again at the next key, click or wheel turn: a window left alone
// then sleeps instead of repainting the caret twice a second.
#include <QObject>
#include <QTimer>

namespace tolvik::ui {

class CaretRest : public QObject {
  Q_OBJECT

 public:
  static constexpr int kRestAfterMs = 10000;

  // Watches the whole application's input; `rest_after_ms` of none rests the caret.
  explicit CaretRest(QObject* parent = nullptr, int rest_after_ms = kRestAfterMs);
  ~CaretRest() override;

  bool resting() const { return resting_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void rest();
  void wake();

  QTimer timer_;
  int flash_time_ = 0;  // the blink period to go back to
  bool resting_ = false;
};

}  // namespace tolvik::ui
