#include "ui/window_tray.h"

#include <QEvent>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTimer>

#include "ui/tray_menu.h"

namespace tolvik::ui {

QSystemTrayIcon* MakeWindowTray(QMainWindow& window, QAction* connect, QAction* disconnect, QAction* quit,
                                std::function<bool()> connected) {
  auto* tray = new QSystemTrayIcon(window.windowIcon(), &window);
  tray->setToolTip(QStringLiteral("Tolvik"));
  tray->setContextMenu(MakeTrayMenu(&window, connect, disconnect, quit, std::move(connected)));
  QObject::connect(tray, &QSystemTrayIcon::activated, &window,
                   [&window, tray](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::DoubleClick) RestoreFromTray(window, *tray);
                   });
  return tray;
}

void RestoreFromTray(QMainWindow& window, QSystemTrayIcon& tray) {
  window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
  window.show();
  window.raise();
  window.activateWindow();
  tray.hide();
}

bool TrayFollowsWindow(QMainWindow& window, const QEvent& event, QSystemTrayIcon* tray) {
  if (event.type() == QEvent::WindowStateChange) {
    if (window.isMinimized() && QSystemTrayIcon::isSystemTrayAvailable() && tray) {
      tray->show();
      QTimer::singleShot(0, &window, &QWidget::hide);
    } else if (!window.isMinimized() && tray) {
      tray->hide();
    }
    return false;
  }
  if (event.type() != QEvent::ActivationChange || !window.isActiveWindow()) return false;
  // Shown for a notification while the window stayed open: not needed now.
  if (tray && tray->isVisible()) tray->hide();
  return true;
}

}  // namespace tolvik::ui
