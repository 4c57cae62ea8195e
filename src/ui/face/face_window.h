#pragma once
// The window attached to a bot that runs elsewhere (a service, or tolvik-cli
// in a terminal): the chat pane, user list, chat and whisper bars, toolbar,
// menus, status bar, notifications and tray as the window on its own bot
// has them, all fed by the bot's state and acting through the bot. Closing
// it lets the bot run on.
#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>

#include "storage/profile_dir.h"
#include "ui/chat_commands.h"
#include "ui/face/face_link.h"
#include "ui/timestamp_actions.h"

class QAction;
class QDockWidget;
class QMenu;
class QSystemTrayIcon;
class QToolBar;

namespace tolvik {
class UserList;
}

namespace tolvik::ui {

class ChatPane;
class DesktopNotifications;
class FaceChatBar;
class FaceUserMenu;
class FindBar;
class NotificationSink;
class StatusBar;
class ToggleActions;
class UserListPanel;
class UserWhisperBars;

// Which bot a face window attaches to, and how.
struct FaceTarget {
  // What the title names after the version: "default (attached)".
  QString title;
  // Over the network: the title names the bot and this host once attached.
  std::string remote_host;
  // The profile, when one was named (the attach dialog starts there).
  std::string profile;
  FaceLink::Connector connector;
  std::string host = "localhost";
  std::optional<std::string> password;

  // The bot of a working directory on this computer.
  static FaceTarget Local(const WorkingDirectory& dir);
};

class FaceWindow : public QMainWindow {
  Q_OBJECT

 public:
  // What the configuration sheets and Open Profile say here, disabled.
  static QString LocalOnlyTip();

  explicit FaceWindow(FaceTarget target, QWidget* parent = nullptr);
  ~FaceWindow() override;

  // Attaches now (and again whenever the bot goes away).
  void start();

  FaceLink& link() { return *link_; }
  ChatPane* chatPane() const { return pane_; }
  FaceChatBar* chatBar() const { return chat_bar_; }
  UserListPanel* userListPanel() const { return user_list_; }
  UserList& users() { return *users_; }
  StatusBar* statusPanes() const { return status_bar_; }
  ToggleActions* toggles() const { return toggles_; }
  FaceUserMenu* userMenu() const { return user_menu_; }
  UserWhisperBars* userWhisperBars() const { return user_whisper_bars_; }
  DesktopNotifications* notifications() const { return notifications_; }
  QAction* configureAction() const { return actions_.configure; }
  QAction* responsesAction() const { return actions_.responses; }
  QAction* openProfileAction() const { return actions_.openProfile; }
  QAction* attachAction() const { return actions_.attach; }
  void setNotificationSink(std::unique_ptr<NotificationSink> sink);

 signals:
  // The window closed; the bot runs on.
  void closed();
  // File > "Attach to a Running Bot..." chose another bot.
  void attachChosen(const tolvik::WorkingDirectory& dir);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void createPane();
  void createActions();
  void createStatusBar();
  void createDocks();
  void createToolBar();
  void createMenus();
  void createNotifications();
  void connectLink();
  // Everything the mirror holds, after each attach.
  void showAttached(bool attached);
  void showStatus();
  void showToggles();
  void chooseBot();
  void focusChatBar();
  QAction* addCommand(const QString& text, const QString& statusTip, const QKeySequence& keys = {});

  FaceTarget target_;
  ChatPane* pane_ = nullptr;
  FindBar* find_bar_ = nullptr;
  FaceLink* link_ = nullptr;
  std::unique_ptr<UserList> users_;
  ToggleActions* toggles_ = nullptr;
  StatusBar* status_bar_ = nullptr;
  FaceChatBar* chat_bar_ = nullptr;
  QDockWidget* chat_bar_dock_ = nullptr;
  UserListPanel* user_list_ = nullptr;
  QDockWidget* user_list_dock_ = nullptr;
  UserWhisperBars* user_whisper_bars_ = nullptr;
  FaceUserMenu* user_menu_ = nullptr;
  QToolBar* tool_bar_ = nullptr;
  QMenu* options_menu_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  DesktopNotifications* notifications_ = nullptr;
  TimestampActions timestamps_{};
  bool closed_ = false;

  struct Actions : ChatCommands {
    QAction* attach;
    QAction* openProfile;
    QAction* exit;
    QAction* showStatusBar;
  } actions_{};
};

}  // namespace tolvik::ui
