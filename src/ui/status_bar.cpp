#include "ui/status_bar.h"

#include <QLabel>
#include <QProgressBar>
#include <QStackedLayout>
#include <algorithm>

#include "net/outgoing_queue.h"

namespace tolvik::ui {

StatusBar::StatusBar(const OutgoingQueue& queue, QWidget* parent) : QStatusBar(parent), queue_(queue) {
  setObjectName(QStringLiteral("statusBar"));
  const QString texts[4] = {QStringLiteral("Not Connected"), QStringLiteral("E/L"),
                            QStringLiteral("Operator Page On/Off"), QStringLiteral(" ")};
  const int widths[4] = {0, 120, 54, 100};
  for (int i = 0; i < 4; ++i) {
    panes_[i] = new QLabel(texts[i]);
    panes_[i]->setObjectName(QStringLiteral("statusPane%1").arg(i));
    if (widths[i] > 0) panes_[i]->setMinimumWidth(widths[i]);
  }

  // Pane 1 carries the queue gauge on top of its text.
  auto* gauge_pane = new QWidget;
  gauge_pane->setMinimumWidth(widths[1]);
  auto* stack = new QStackedLayout(gauge_pane);
  stack->setStackingMode(QStackedLayout::StackAll);
  stack->setContentsMargins(0, 0, 0, 0);
  gauge_ = new QProgressBar;
  gauge_->setObjectName(QStringLiteral("queueGauge"));
  gauge_->setRange(0, kGaugeMaximum);
  gauge_->setValue(0);
  gauge_->setTextVisible(false);
  stack->addWidget(panes_[1]);
  stack->addWidget(gauge_);
  stack->setCurrentWidget(gauge_);

  // Pane 0 gives way to menu and toolbar prompts; the others stay.
  addWidget(panes_[0], 1);
  addPermanentWidget(gauge_pane);
  addPermanentWidget(panes_[2]);
  addPermanentWidget(panes_[3]);
}

QString StatusBar::paneText(int pane) const { return panes_[pane]->text(); }

void StatusBar::setConnectionStatus(const QString& text) { panes_[0]->setText(text); }

void StatusBar::setEnterLeave(bool on) {
  panes_[1]->setText(on ? QStringLiteral("Enter/Leave Notify: ON") : QStringLiteral("Enter/Leave Notify: OFF"));
}

void StatusBar::setPage(bool on) { panes_[2]->setText(on ? QStringLiteral("Page: On") : QStringLiteral("Page: OFF")); }

void StatusBar::refreshGauge() { gauge_->setValue(std::clamp(queue_.QueuedCost(), 0, kGaugeMaximum)); }

}  // namespace tolvik::ui
