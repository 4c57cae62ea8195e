#include "ui/window_notifications.h"

#include <QMainWindow>
#include <QMenu>

#include "ui/chat_pane.h"
#include "ui/desktop_notifications.h"

namespace tolvik::ui {

DesktopNotifications* AddWindowNotifications(QMainWindow& window, QSystemTrayIcon* tray, QMenu* options,
                                             ChatPane& pane, std::function<QString()> ownName) {
  auto* notifications =
      new DesktopNotifications([&window] { return window.isActiveWindow() && !window.isMinimized(); }, &window);
  notifications->setTrayIcon(tray, window.windowIcon());
  for (AttentionKind kind : {AttentionKind::Whisper, AttentionKind::Page, AttentionKind::Mention})
    options->addAction(notifications->switchFor(kind));
  QObject::connect(&pane, &ChatPane::lineShown, notifications,
                   [notifications, ownName = std::move(ownName)](const QString& line) {
                     notifications->lineShown(line, ownName());
                   });
  return notifications;
}

}  // namespace tolvik::ui
