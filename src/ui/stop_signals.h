#pragma once
// SIGINT, SIGTERM and SIGHUP as a Qt signal: the handler writes to a pipe
// whose reading end a socket notifier watches, so the stop is handled in the
// event loop like any other request to close the window.
#include <QObject>

class QSocketNotifier;

namespace tolvik::ui {

class StopSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; only one instance may exist at a time.
  explicit StopSignals(QObject* parent = nullptr);
  ~StopSignals() override;

 signals:
  void stopRequested(int signal);

 private:
  QSocketNotifier* notifier_ = nullptr;
};

// Closes the open menus and every modal dialog, innermost first, as if each
// were cancelled, so a stop is not held up by a dialog waiting for the user.
void CloseOpenDialogs();

}  // namespace tolvik::ui
