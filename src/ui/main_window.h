#pragma once
// The program's one top-level window: the chat pane in the middle, the
// toolbar, user list, chat bar and whisper bar around it, the status bar,
// the menus and the window-wide keys. It owns the document for the run.
#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>

#include "settings/config.h"

#include "ui/chat_commands.h"
#include "ui/timestamp_actions.h"

class QAction;
class QDockWidget;
class QMenu;
class QSystemTrayIcon;
class QToolBar;

namespace tolvik {
class CHaldenDoc;
class FaceHub;
}

namespace tolvik::ui {

class ChatBarWidget;
class DemoChannel;
class DesktopNotifications;
class FindBar;
class NotificationSink;
class ChatPane;
class QtHost;
class StatusBar;
class ToggleActions;
class UserListPanel;
class UserWhisperBars;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Opens the document in `workingDir` (Bot.ini and the other files).
  explicit MainWindow(const std::string& workingDir, QWidget* parent = nullptr);
  ~MainWindow() override;

  // Connects when Bot.ini asks for AutoLogin; a profile never set up opens
  // the "Bot Configurator" for its login values at once.
  void start();
  // Names the profile (or directory) open in the title bar; `profile` is the
  // one File > Open Profile... starts from (empty when a directory was named).
  void showProfile(const QString& shown, const std::string& profile);

  CHaldenDoc& document() { return *doc_; }
  QtHost& host() { return *host_; }
  ChatPane* chatPane() const { return pane_; }
  ChatBarWidget* chatBarWidget() const { return chat_bar_; }
  UserListPanel* userListPanel() const { return user_list_; }
  StatusBar* statusPanes() const { return status_bar_; }
  ToggleActions* toggles() const { return toggles_; }
  UserWhisperBars* userWhisperBars() const { return user_whisper_bars_; }
  DesktopNotifications* notifications() const { return notifications_; }
  FindBar* findBar() const { return find_bar_; }
  QSystemTrayIcon* trayIcon() const { return tray_; }
  DemoChannel* demoChannel() const { return demo_; }
  // Desktop notifications go to `sink` instead of the tray icon's balloons.
  void setNotificationSink(std::unique_ptr<NotificationSink> sink);

 signals:
  // The close sequence has run; the program may end.
  void closed();
  // File > Open Profile... chose another profile.
  void profileChosen(const std::string& profile);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void createDocument(const std::string& workingDir);
  void createActions();
  void createMenus();
  void createToolBar();
  void createStatusBar();
  void createDocks();
  // The dialogs and the user list's commands (dialogs/window_dialogs.cpp).
  void installDialogs();
  void connectDocument();
  void readSettings();
  // Shrinks and moves the window into the screen's available area.
  void fitToScreen();
  QAction* addCommand(const QString& text, const QString& statusTip, const QKeySequence& keys = {});
  void focusChatBar();
  void copy();
  void cut();
  void paste();
  void updateEditActions();
  void reindexAliases();
  void openProfile();
  // Runs the "Bot Configurator"; on OK the window shows what it changed.
  bool configureBot();
  // "Try the demo channel": the demo gateway for this session, then a connect to it.
  void startDemo();
  // What the empty pane shows, and what a cancelled login prompt leaves in it.
  QString notConnectedHint() const;
  void saveWindowSizes(bool withUserListWidth);
  void showUserMenu(const QPoint& globalPos);
  void openWhisperBar();
  void createNotifications();
  // The close sequence: settings saved when asked, leave line, sender stopped.
  void closeDocument();
  void listenForFaces(const std::string& workingDir);

  QtHost* host_;
  ChatPane* pane_ = nullptr;
  std::unique_ptr<CHaldenDoc> doc_;
  // Faces attached to this bot (tolvik-cli --attach); goes before the document.
  std::unique_ptr<FaceHub> faces_;
  ToggleActions* toggles_ = nullptr;
  StatusBar* status_bar_ = nullptr;
  ChatBarWidget* chat_bar_ = nullptr;
  UserListPanel* user_list_ = nullptr;
  UserWhisperBars* user_whisper_bars_ = nullptr;
  QDockWidget* chat_bar_dock_ = nullptr;
  QDockWidget* user_list_dock_ = nullptr;
  QToolBar* tool_bar_ = nullptr;
  QMenu* user_menu_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QMenu* options_menu_ = nullptr;
  DesktopNotifications* notifications_ = nullptr;
  FindBar* find_bar_ = nullptr;
  DemoChannel* demo_ = nullptr;
  std::optional<LoginSettings> before_demo_;  // the login values while the demo runs
  bool demo_chosen_ = false;  // the last "Bot Configurator" closed on "Try the demo channel"
  TimestampActions timestamps_{};
  std::string working_dir_;
  QAction* open_profile_ = nullptr;
  QAction* attach_ = nullptr;  // File > "Attach to a Running Bot..."
  std::string profile_;
  int user_list_width_ = 0;  // applied when the window is first shown
  bool layout_restored_ = false;
  bool fitted_ = false;  // fitted to the screen with its frame, when first shown
  bool closed_ = false;

  struct Actions : ChatCommands {
    QAction* reload;
    QAction* saveWindowSizes;
    QAction* exit;
    QAction* cut;
    QAction* paste;
    QAction* selectServer;
    QAction* reindex;
    QAction* showStatusBar;
    QAction* about;
    QAction* help;
    QAction* lastSeen;
    QAction* moderationRecord;
    QAction* joinChannel;
  } actions_{};
};

}  // namespace tolvik::ui
