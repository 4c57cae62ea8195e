#include "ui/window_tool_bar.h"

#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>
#include <QToolBar>

#include "ui/chat_commands.h"
#include "ui/toggle_actions.h"

namespace tolvik::ui {
namespace {

class Text {
  Q_DECLARE_TR_FUNCTIONS(WindowToolBar)
};

}  // namespace

QToolBar* AddChatToolBar(QMainWindow& window, const ChatCommands& commands, const ToggleActions& toggles,
                         QAction* lastSeen, QAction* selectServer) {
  auto* bar = new QToolBar(Text::tr("Toolbar"), &window);
  bar->setObjectName(QStringLiteral("toolBar"));
  bar->setAllowedAreas(Qt::AllToolBarAreas);
  bar->setIconSize(QSize(16, 15));
  window.addToolBar(Qt::TopToolBarArea, bar);
  auto toggle = [&toggles](const char* key) { return toggles.action(key); };
  const QList<QList<QAction*>> groups = {
      {commands.connect, commands.disconnect},
      {commands.configure, commands.responses},
      {toggle("AllowPage")},
      {toggle("ViewChatUpdates"), toggle("ViewEnterLeave"), toggle("AutoRespond")},
      {lastSeen, toggle("AutoViewAliases"), toggle("IdLogging")},
      {toggle("HighlightUsers"), toggle("ViewPings")},
      {commands.clearChat, selectServer},
  };
  for (const QList<QAction*>& group : groups) {
    if (!bar->actions().isEmpty()) bar->addSeparator();
    for (QAction* action : group)
      if (action) bar->addAction(action);
  }
  return bar;
}

}  // namespace tolvik::ui
