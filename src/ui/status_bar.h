#pragma once
// The main window's status bar: the connection status, the Enter/Leave and
// Page switches, and the outgoing queue's gauge over the second pane.
#include <QStatusBar>

class QLabel;
class QProgressBar;

namespace tolvik {
class OutgoingQueue;
}

namespace tolvik::ui {

class StatusBar : public QStatusBar {
  Q_OBJECT

 public:
  static constexpr int kGaugeMaximum = 199;
  static constexpr int kGaugeWidth = 60;

  StatusBar(const OutgoingQueue& queue, QWidget* parent = nullptr);
  // A status bar without a queue of its own: setGauge() moves the gauge.
  explicit StatusBar(QWidget* parent);

  // The text of pane 0..3.
  QString paneText(int pane) const;
  QProgressBar* gauge() const { return gauge_; }

 public slots:
  void setConnectionStatus(const QString& text);
  void setEnterLeave(bool on);
  void setPage(bool on);
  // Sets the gauge from the queue's queued cost. The window calls it on its
  // 110 ms tick; a timer of its own would wake the idle program twice as often.
  void refreshGauge();
  void setGauge(int cost);

 private:
  const OutgoingQueue* queue_ = nullptr;
  QLabel* panes_[4] = {};
  QProgressBar* gauge_ = nullptr;
};

}  // namespace tolvik::ui
