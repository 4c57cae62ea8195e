#pragma once
// Tells the operator about whispers, pages and lines naming the bot while
// the window is not active: a desktop notification, and an unread mark on
// the tray icon until the window is raised. Each kind can be switched off;
// the switches live in the program's settings.
#include <QIcon>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "ui/attention.h"

class QAction;
class QSystemTrayIcon;

namespace tolvik::ui {

// Where a notification goes: the tray icon's balloon, or a test's record.
class NotificationSink {
 public:
  virtual ~NotificationSink() = default;
  virtual void show(const QString& title, const QString& text) = 0;
};

class DesktopNotifications : public QObject {
  Q_OBJECT

 public:
  // `windowActive` says whether the operator is looking at the window now.
  DesktopNotifications(std::function<bool()> windowActive, QObject* parent = nullptr);
  ~DesktopNotifications() override;

  // Notifications go to `sink` from now on (the tray icon's balloon until then).
  void setSink(std::unique_ptr<NotificationSink> sink);
  // The tray icon the unread mark is drawn on and the balloons come from.
  void setTrayIcon(QSystemTrayIcon* tray, const QIcon& plain);

  // The Options menu's switches, one per kind, checked when on.
  QAction* switchFor(AttentionKind kind) const;

  bool hasUnread() const { return unread_; }

 public slots:
  // A chat line was shown; `ownName` is the bot's name on the server.
  void lineShown(const QString& line, const QString& ownName);
  void notify(const Attention& attention);
  // The page alarm sounds (for whoever whispered the last command).
  void paged();
  // The window was raised: the unread mark goes.
  void markRead();

 signals:
  void unreadChanged(bool unread);

 private:
  void setUnread(bool unread);

  std::function<bool()> window_active_;
  std::unique_ptr<NotificationSink> sink_;
  QSystemTrayIcon* tray_ = nullptr;
  QIcon plain_icon_;
  QAction* switches_[3] = {};
  bool unread_ = false;
  QString last_commander_;
};

// The tray icon with an unread dot in its corner, drawn at the icon's sizes.
QIcon WithUnreadMark(const QIcon& icon);

}  // namespace tolvik::ui
