#include "ui/window_commands.h"

#include <QAction>
#include <QMainWindow>

#include "settings/config.h"
#include "ui/chat_pane.h"
#include "ui/dock_focus.h"
#include "ui/toggle_actions.h"

namespace tolvik::ui {

QAction* AddWindowCommand(QWidget& window, const QString& text, const QString& statusTip,
                          const QKeySequence& keys) {
  auto* action = new QAction(text, &window);
  action->setStatusTip(statusTip);
  if (!keys.isEmpty()) action->setShortcut(keys);
  action->setShortcutContext(Qt::ApplicationShortcut);
  window.addAction(action);
  return action;
}

void AddToggleKeys(QWidget& window, const ToggleActions& toggles) {
  for (const ToggleKey& key : kToggleKeys) {
    QAction* toggle = toggles.action(key.key);
    toggle->setShortcutContext(Qt::ApplicationShortcut);
    window.addAction(toggle);
  }
}

void AddChatScrollKeys(QMainWindow& window, ChatPane& pane) {
  const struct {
    QKeyCombination keys;
    void (ChatPane::*slot)();
  } scrolls[] = {
      {Qt::ALT | Qt::Key_Up, &ChatPane::lineUp},       {Qt::ALT | Qt::Key_Down, &ChatPane::lineDown},
      {Qt::ALT | Qt::Key_PageUp, &ChatPane::pageUp},   {Qt::ALT | Qt::Key_PageDown, &ChatPane::pageDown},
      {Qt::ALT | Qt::Key_Home, &ChatPane::scrollToTop}, {Qt::ALT | Qt::Key_End, &ChatPane::scrollToBottom},
  };
  for (const auto& s : scrolls)
    QObject::connect(AddWindowCommand(window, QString(), QString(), QKeySequence(s.keys)), &QAction::triggered,
                     &pane, s.slot);
  QObject::connect(AddWindowCommand(window, QString(), QString(), QKeySequence(Qt::CTRL | Qt::Key_Tab)),
                   &QAction::triggered, &window, [&window] { FocusNextDock(window, false); });
}

}  // namespace tolvik::ui
