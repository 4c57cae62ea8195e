#include "ui/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSet>
#include <QSocketNotifier>
#include <QWidget>

#include "bot/hook_interrupt.h"

namespace tolvik::ui {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

int g_pipe[2] = {-1, -1};

void OnStopSignal(int signal) {
  // A script hook running now ends at once, so the window gets to close.
  tolvik::InterruptScriptHooks();
  const char c = static_cast<char>(signal);
  (void)!::write(g_pipe[1], &c, 1);
}

}  // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
  if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    char c = 0;
    while (::read(g_pipe[0], &c, 1) == 1) emit stopRequested(c);
  });
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int s : kStopSignals) sigaction(s, &sa, nullptr);
}

StopSignals::~StopSignals() {
  for (int s : kStopSignals) signal(s, SIG_DFL);
  delete notifier_;
  for (int& fd : g_pipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void CloseOpenDialogs() {
  while (QWidget* popup = QApplication::activePopupWidget()) {
    popup->close();
    if (QApplication::activePopupWidget() == popup) break;  // it would not go
  }
  // A widget that refuses to close is passed over rather than asked forever.
  QSet<QWidget*> tried;
  while (QWidget* modal = QApplication::activeModalWidget()) {
    if (tried.contains(modal)) break;
    tried.insert(modal);
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else
      modal->close();
  }
}

}  // namespace tolvik::ui
