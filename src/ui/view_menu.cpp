#include "ui/view_menu.h"

#include <QAction>
#include <QCoreApplication>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "ui/status_bar.h"
#include "ui/toggle_actions.h"

namespace tolvik::ui {
namespace {

class Text {
  Q_DECLARE_TR_FUNCTIONS(ViewMenu)
};

}  // namespace

QAction* InstallStatusBar(QMainWindow& window, StatusBar* bar) {
  window.setStatusBar(bar);
  auto* show = new QAction(Text::tr("Show &Status Bar"), &window);
  show->setStatusTip(Text::tr("Show or hide the status bar"));
  show->setCheckable(true);
  show->setChecked(true);
  QObject::connect(show, &QAction::toggled, bar, &QWidget::setVisible);
  return show;
}

QMenu* AddViewMenu(QMainWindow& window, const ViewMenuItems& items) {
  auto toggle = [&items](const char* key) { return items.toggles->action(key); };
  QMenu* view = window.menuBar()->addMenu(Text::tr("View"));
  view->addAction(items.showStatusBar);
  view->addSeparator();
  view->addActions({toggle("ViewChatUpdates"), toggle("AutoViewAliases"), toggle("ViewEnterLeave"),
                    toggle("ViewPings"), toggle("ViewText"), toggle("HighlightUsers")});
  view->addSeparator();
  view->addActions({items.timestamps.shown, items.timestamps.logged});
  view->addSeparator();
  view->addActions({items.toolBar->toggleViewAction(), items.userListDock->toggleViewAction(),
                    items.chatBarDock->toggleViewAction(), items.whisperBar});
  return view;
}

}  // namespace tolvik::ui
