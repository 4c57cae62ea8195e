#include "ui/status_bar.h"

#include <QLabel>
#include <QProgressBar>
#include <algorithm>

#include "net/outgoing_queue.h"

namespace tolvik::ui {

StatusBar::StatusBar(const OutgoingQueue& queue, QWidget* parent) : StatusBar(parent) { queue_ = &queue; }

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
  setObjectName(QStringLiteral("statusBar"));
  const QString texts[4] = {QStringLiteral("Not Connected"), QStringLiteral("E/L"),
                            QStringLiteral("Operator Page On/Off"), QStringLiteral(" ")};
  const int widths[4] = {0, 120, 54, 100};
  for (int i = 0; i < 4; ++i) {
    panes_[i] = new QLabel(texts[i]);
    panes_[i]->setTextFormat(Qt::PlainText);  // the status may quote a server's words
    panes_[i]->setObjectName(QStringLiteral("statusPane%1").arg(i));
    if (widths[i] > 0) panes_[i]->setMinimumWidth(widths[i]);
  }

  // The queue gauge sits in a pane of its own beside the Enter/Leave text,
  // so neither hides the other.
  gauge_ = new QProgressBar;
  gauge_->setObjectName(QStringLiteral("queueGauge"));
  gauge_->setRange(0, kGaugeMaximum);
  gauge_->setValue(0);
  gauge_->setTextVisible(false);
  gauge_->setFixedWidth(kGaugeWidth);
  // A slim bar, so it reads as a gauge and not as a field to type in.
  gauge_->setFixedHeight(std::max(8, gauge_->fontMetrics().height() * 2 / 3));
  gauge_->setAccessibleName(tr("Outgoing queue"));
  gauge_->setToolTip(tr("Outgoing queue: what the bot still has to send. It fills when the bot says "
                        "much at once and empties as the lines go out."));

  // A long status text (a long server name) is cut, not allowed to widen the
  // window past the screen.
  panes_[0]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  // Pane 0 gives way to menu and toolbar prompts; the others stay.
  addWidget(panes_[0], 1);
  addPermanentWidget(panes_[1]);
  addPermanentWidget(gauge_);
  addPermanentWidget(panes_[2]);
  addPermanentWidget(panes_[3]);
  const QString names[4] = {tr("Connection status"), tr("Enter and leave notices"), tr("Operator page"),
                            tr("Status")};
  for (int i = 0; i < 4; ++i) panes_[i]->setAccessibleName(names[i]);
}

QString StatusBar::paneText(int pane) const { return panes_[pane]->text(); }

void StatusBar::setConnectionStatus(const QString& text) { panes_[0]->setText(text); }

void StatusBar::setEnterLeave(bool on) {
  panes_[1]->setText(on ? QStringLiteral("Enter/Leave Notify: ON") : QStringLiteral("Enter/Leave Notify: OFF"));
}

void StatusBar::setPage(bool on) { panes_[2]->setText(on ? QStringLiteral("Page: On") : QStringLiteral("Page: OFF")); }

void StatusBar::refreshGauge() {
  if (queue_) setGauge(queue_->QueuedCost());
}

void StatusBar::setGauge(int cost) { gauge_->setValue(std::clamp(cost, 0, kGaugeMaximum)); }

}  // namespace tolvik::ui
