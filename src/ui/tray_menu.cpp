#include "ui/tray_menu.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

namespace tolvik::ui {

QMenu* MakeTrayMenu(QWidget* window, QAction* connect, QAction* disconnect, QAction* quit,
                    std::function<bool()> connected) {
  auto* menu = new QMenu(window);
  menu->setObjectName(QStringLiteral("trayMenu"));
  QAction* showHide = menu->addAction(QMenu::tr("&Show"));
  showHide->setObjectName(QStringLiteral("trayShowHide"));
  // The entry says what it will do when the menu opens.
  QObject::connect(menu, &QMenu::aboutToShow, window, [window, showHide] {
    const bool shown = window->isVisible() && !window->isMinimized();
    showHide->setText(shown ? QMenu::tr("&Hide") : QMenu::tr("&Show"));
  });
  QObject::connect(showHide, &QAction::triggered, window, [window] {
    if (window->isVisible() && !window->isMinimized()) {
      window->hide();
      return;
    }
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
  });
  menu->addSeparator();
  // Entries of the menu's own, so the window's buttons and keys keep their state.
  QAction* trayConnect = menu->addAction(connect->text());
  trayConnect->setObjectName(QStringLiteral("trayConnect"));
  QObject::connect(trayConnect, &QAction::triggered, connect, &QAction::trigger);
  QAction* trayDisconnect = menu->addAction(disconnect->text());
  trayDisconnect->setObjectName(QStringLiteral("trayDisconnect"));
  QObject::connect(trayDisconnect, &QAction::triggered, disconnect, &QAction::trigger);
  QObject::connect(menu, &QMenu::aboutToShow, window, [trayConnect, trayDisconnect, connected] {
    const bool on = connected();
    trayConnect->setEnabled(!on);
    trayDisconnect->setEnabled(on);
  });
  menu->addSeparator();
  menu->addAction(quit);
  return menu;
}

}  // namespace tolvik::ui
