#include "ui/face/face_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>

#include "bot/user_list.h"
#include "face/local_faces.h"
#include "net/connection_state.h"
#include "settings/config.h"
#include "ui/bar_docks.h"
#include "ui/chat_centre.h"
#include "ui/chat_pane.h"
#include "ui/desktop_notifications.h"
#include "ui/dialogs/attach_dialog.h"
#include "ui/face/face_chat_bar.h"
#include "ui/face/face_user_menu.h"
#include "ui/face/face_users.h"
#include "ui/find_bar.h"
#include "ui/icons.h"
#include "ui/status_bar.h"
#include "ui/toggle_actions.h"
#include "ui/toggle_effects.h"
#include "ui/user_list_panel.h"
#include "ui/user_list_view.h"
#include "ui/user_whisper_bars.h"
#include "ui/view_menu.h"
#include "ui/window_commands.h"
#include "ui/window_notifications.h"
#include "ui/window_title.h"
#include "ui/window_tool_bar.h"
#include "ui/window_tray.h"
#include "ui/wire_text.h"

namespace tolvik::ui {

FaceTarget FaceTarget::Local(const WorkingDirectory& dir) {
  FaceTarget target;
  target.title = QString::fromStdString(dir.profile.empty() ? dir.path : dir.profile) + QStringLiteral(" (attached)");
  target.profile = dir.profile;
  const std::string path = dir.path;
  target.connector = [path](std::string* error) { return ConnectToLocalBot(path, error); };
  return target;
}

QString FaceWindow::LocalOnlyTip() {
  return tr("Acts on the computer it runs on: not available in a window attached to a bot");
}

FaceWindow::FaceWindow(FaceTarget target, QWidget* parent) : QMainWindow(parent), target_(std::move(target)) {
  setWindowTitle(WindowTitle(target_.title));
  setWindowIcon(DrawAppIcon());
  // The pane comes first: the link writes the bot's lines into it.
  createPane();
  link_ = new FaceLink(*pane_, target_.connector, target_.host, target_.password, this);
  users_ = std::make_unique<UserList>();
  createActions();
  createStatusBar();
  createDocks();
  createToolBar();
  createMenus();
  createNotifications();
  connectLink();
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  resize(area.width() * 3 / 4, area.height() * 3 / 4);
  move(area.center() - rect().center());
}

FaceWindow::~FaceWindow() {
  disconnect(qApp, nullptr, this, nullptr);
  delete link_;  // detaches; the bot runs on
  link_ = nullptr;
  // The user list's model observes users_: the docks go first.
  delete user_whisper_bars_;
  qDeleteAll(findChildren<QDockWidget*>(QString(), Qt::FindDirectChildrenOnly));
}

void FaceWindow::start() {
  // The chat gets most of the width, as on the window's own bot.
  resizeDocks({user_list_dock_}, {std::max(user_list_->view().nameColumnWidth() + 40, width() / 5)}, Qt::Horizontal);
  pane_->setHint(tr("Attaching to the bot..."));
  link_->attach();
}

// ---- Construction -------------------------------------------------------------

void FaceWindow::createPane() {
  const ChatCentre centre = SetChatCentre(*this);
  pane_ = centre.pane;
  find_bar_ = centre.findBar;
}

QAction* FaceWindow::addCommand(const QString& text, const QString& statusTip, const QKeySequence& keys) {
  return AddWindowCommand(*this, text, statusTip, keys);
}

void FaceWindow::createActions() {
  toggles_ = new ToggleActions(
      [this](const ToggleKey& key, bool on) {
        const bool sent = link_->attached();
        link_->setToggle(key.key, on);  // refused with a note while not attached
        if (!sent) toggles_->action(key.key)->setChecked(!on);
      },
      this);
  AddToggleKeys(*this, *toggles_);

  Actions& a = actions_;
  static_cast<ChatCommands&>(a) =
      AddChatCommands(*this, *pane_, *find_bar_,
                      {tr("The bot connects to the server and logs in"),
                       tr("The bot closes its connection to the server"),
                       tr("Remove every line from this window's chat display")});
  a.attach = addCommand(tr("&Attach to a Running Bot..."), tr("Show and moderate a bot that runs without a window"));
  connect(a.attach, &QAction::triggered, this, &FaceWindow::chooseBot);
  a.openProfile = addCommand(tr("Open &Profile..."), tr("Run the bot in another profile"));
  a.exit = addCommand(tr("E&xit"), tr("Close this window; the bot runs on"));
  connect(a.exit, &QAction::triggered, this, &QWidget::close);

  connect(a.copy, &QAction::triggered, this, [this] {
    if (!pane_->copyAndDeselect() && chat_bar_->input().hasFocus()) chat_bar_->input().copy();
  });
  connect(find_bar_, &FindBar::closed, this, &FaceWindow::focusChatBar);

  // These change the files of the computer they run on, which need not be the bot's.
  for (QAction* local : {a.configure, a.responses, a.openProfile}) {
    local->setEnabled(false);
    local->setToolTip(LocalOnlyTip());
    local->setStatusTip(LocalOnlyTip());
  }

  connect(a.connect, &QAction::triggered, link_, &FaceLink::connectBot);
  connect(a.disconnect, &QAction::triggered, link_, &FaceLink::disconnectBot);

  AddChatScrollKeys(*this, *pane_);
  timestamps_ = MakeTimestampActions(*pane_, this);
}

void FaceWindow::createStatusBar() {
  status_bar_ = new StatusBar(this);
  actions_.showStatusBar = InstallStatusBar(*this, status_bar_);
  status_bar_->setConnectionStatus(tr("Not attached"));
}

void FaceWindow::createDocks() {
  chat_bar_ = new FaceChatBar([this](const std::string& line) { link_->sendLine(line); }, *users_, pane_, this);
  chat_bar_dock_ = AddChatBarDock(*this, chat_bar_);

  // The whisper bar's message goes to the selected users and the typed names.
  WhisperSend send{[this](std::string_view names, std::string_view message) {
                     std::string all = users_->selectedNames();
                     if (!names.empty()) all += (all.empty() ? "" : " ") + std::string(names);
                     link_->whisper(all, message);
                   },
                   [this](std::string_view name, std::string_view text) { link_->userWhisper(name, text); }};
  user_whisper_bars_ = new UserWhisperBars(*this, std::move(send), pane_);
  connect(actions_.whisperBar, &QAction::triggered, this,
          [this] { user_whisper_bars_->openWhisperBar(user_list_->view().selectedNames()); });

  user_list_ = new UserListPanel(*users_, this);
  user_list_dock_ = AddUserListDock(*this, user_list_);

  user_menu_ = new FaceUserMenu(*link_, *users_, this);
  connect(user_menu_, &QMenu::aboutToHide, this, [this] { QTimer::singleShot(0, this, &FaceWindow::focusChatBar); });
  UserListView* view = &user_list_->view();
  connect(view, &UserListView::whisperRequested, user_whisper_bars_, &UserWhisperBars::open);
  connect(view, &UserListView::whisperBarRequested, actions_.whisperBar, &QAction::trigger);
  connect(view, &UserListView::userMenuRequested, this, [this](const QPoint& at) { user_menu_->popup(at); });
  connect(view, &UserListView::focusReturnRequested, this, &FaceWindow::focusChatBar);
}

void FaceWindow::createToolBar() {
  tool_bar_ = AddChatToolBar(*this, actions_, *toggles_);
}

void FaceWindow::createMenus() {
  const Actions& a = actions_;
  auto toggle = [this](const char* key) { return toggles_->action(key); };

  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addActions({a.attach, a.openProfile});
  file->addSeparator();
  file->addAction(a.fileLogging);
  file->addSeparator();
  file->addAction(a.exit);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  edit->addActions({a.selectAll, a.copy, a.find});

  QMenu* options = menuBar()->addMenu(tr("&Options"));
  options->addActions({a.configure, a.responses});
  options->addSeparator();
  options->addActions({toggle("AutoRespond"), toggle("AllowPage"), toggle("IdLogging"), toggle("AutoSave")});
  options_menu_ = options;

  QMenu* view = AddViewMenu(*this, {a.showStatusBar, toggles_, timestamps_, tool_bar_, user_list_dock_,
                                    chat_bar_dock_, a.whisperBar});
  // The disabled items say why when pointed at.
  for (QMenu* menu : {file, edit, options, view}) {
    menu->setToolTipsVisible(true);
    connect(menu, &QMenu::aboutToHide, this, [this] { QTimer::singleShot(0, this, &FaceWindow::focusChatBar); });
  }
}

void FaceWindow::createNotifications() {
  tray_ = MakeWindowTray(*this, actions_.connect, actions_.disconnect, actions_.exit, [this] {
    return link_->attached() && !IsIdleState(link_->mirror().State());
  });
  notifications_ = AddWindowNotifications(*this, tray_, options_menu_, *pane_,
                                          [this] { return FromWire(link_->mirror().BotName()); });
}

void FaceWindow::setNotificationSink(std::unique_ptr<NotificationSink> sink) {
  notifications_->setSink(std::move(sink));
}

void FaceWindow::connectLink() {
  connect(link_, &FaceLink::attachedChanged, this, &FaceWindow::showAttached);
  connect(link_, &FaceLink::statusChanged, this, &FaceWindow::showStatus);
  connect(link_, &FaceLink::usersChanged, this, [this] { MirrorUsers(link_->mirror(), *users_); });
  connect(link_, &FaceLink::togglesChanged, this, &FaceWindow::showToggles);
  connect(link_, &FaceLink::gaugeChanged, this, [this] { status_bar_->setGauge(link_->mirror().Gauge()); });
  FollowToggleEffects(*toggles_, *status_bar_, *pane_);
}

// ---- The bot's state ---------------------------------------------------------------

void FaceWindow::showAttached(bool attached) {
  const FaceMirror& m = link_->mirror();
  if (attached) {
    pane_->setHint(QString());
    if (!target_.remote_host.empty())
      setWindowTitle(
          WindowTitle(FromWire(m.BotName()) + QLatin1Char('@') + QString::fromStdString(target_.remote_host)));
    MirrorUsers(m, *users_);
    showToggles();
    status_bar_->setGauge(m.Gauge());
  } else {
    users_->clearUsers();
    status_bar_->setGauge(0);
  }
  showStatus();
}

void FaceWindow::showStatus() {
  status_bar_->setConnectionStatus(link_->attached() ? FromWire(link_->mirror().Status()) : tr("Not attached"));
}

void FaceWindow::showToggles() {
  const auto& toggles = link_->mirror().Toggles();
  for (const ToggleKey& key : kToggleKeys)
    if (const auto it = toggles.find(key.key); it != toggles.end()) toggles_->action(key.key)->setChecked(it->second);
  ShowToggleEffects(*toggles_, *status_bar_, *pane_);
}

// ---- Commands ---------------------------------------------------------------------

void FaceWindow::chooseBot() {
  AttachDialog dialog(ListProfiles(), target_.profile, this);
  if (dialog.exec() != QDialog::Accepted) return;
  const WorkingDirectory dir = dialog.chosen();
  if (!dir.error.empty()) {
    pane_->print(TextType::BotInfo, "Cannot attach: %s", dir.error.c_str());
    return;
  }
  emit attachChosen(dir);
}

void FaceWindow::focusChatBar() {
  if (!chat_bar_dock_->isFloating() && isActiveWindow()) chat_bar_->focusInput();
}

void FaceWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (TrayFollowsWindow(*this, *event, tray_)) {
    focusChatBar();
    notifications_->markRead();
  }
}

void FaceWindow::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    if (pane_->isLogging()) pane_->stopLog();
    link_->detach();
    tray_->hide();
  }
  event->accept();
  emit closed();
}

}  // namespace tolvik::ui
