#include "ui/bar_docks.h"

#include <QCoreApplication>
#include <QDockWidget>
#include <QMainWindow>

namespace tolvik::ui {
namespace {

class Text {
  Q_DECLARE_TR_FUNCTIONS(BarDocks)
};

QDockWidget* AddDock(QMainWindow& window, QWidget* widget, const QString& title, const QString& name,
                     Qt::DockWidgetAreas allowed, Qt::DockWidgetArea area) {
  auto* dock = new QDockWidget(title, &window);
  dock->setObjectName(name);
  dock->setAllowedAreas(allowed);
  dock->setWidget(widget);
  window.addDockWidget(area, dock);
  return dock;
}

}  // namespace

QDockWidget* AddChatBarDock(QMainWindow& window, QWidget* chatBar) {
  window.setCorner(Qt::BottomLeftCorner, Qt::BottomDockWidgetArea);
  window.setCorner(Qt::BottomRightCorner, Qt::BottomDockWidgetArea);
  return AddDock(window, chatBar, Text::tr("Chat Bar"), QStringLiteral("chatBarDock"),
                 Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea, Qt::BottomDockWidgetArea);
}

QDockWidget* AddUserListDock(QMainWindow& window, QWidget* userList) {
  return AddDock(window, userList, Text::tr("User List"), QStringLiteral("userListDock"),
                 Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea, Qt::LeftDockWidgetArea);
}

}  // namespace tolvik::ui
