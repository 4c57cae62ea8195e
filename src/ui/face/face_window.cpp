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
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "bot/user_list.h"
#include "face/local_faces.h"
#include "net/connection_state.h"
#include "settings/config.h"
#include "ui/chat_pane.h"
#include "ui/desktop_notifications.h"
#include "ui/dialogs/attach_dialog.h"
#include "ui/dock_focus.h"
#include "ui/face/face_chat_bar.h"
#include "ui/face/face_user_menu.h"
#include "ui/face/face_users.h"
#include "ui/find_bar.h"
#include "ui/icons.h"
#include "ui/status_bar.h"
#include "ui/toggle_actions.h"
#include "ui/tray_menu.h"
#include "ui/user_list_panel.h"
#include "ui/user_list_view.h"
#include "ui/user_whisper_bars.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

constexpr char kTitle[] = "Tolvik Version %1";

}  // namespace

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
  setWindowTitle(QString::fromLatin1(kTitle).arg(QStringLiteral(TOLVIK_VERSION)) + QStringLiteral(" - ") +
                 target_.title);
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
  auto* centre = new QWidget(this);
  pane_ = new ChatPane(centre);
  pane_->setObjectName(QStringLiteral("chatPane"));
  pane_->setAccessibleName(tr("Chat"));
  find_bar_ = new FindBar(*pane_, centre);
  auto* column = new QVBoxLayout(centre);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(pane_, 1);
  column->addWidget(find_bar_);
  setCentralWidget(centre);
}

QAction* FaceWindow::addCommand(const QString& text, const QString& statusTip, const QKeySequence& keys) {
  auto* action = new QAction(text, this);
  action->setStatusTip(statusTip);
  if (!keys.isEmpty()) action->setShortcut(keys);
  action->setShortcutContext(Qt::ApplicationShortcut);
  addAction(action);
  return action;
}

void FaceWindow::createActions() {
  toggles_ = new ToggleActions(
      [this](const ToggleKey& key, bool on) {
        const bool sent = link_->attached();
        link_->setToggle(key.key, on);  // refused with a note while not attached
        if (!sent) toggles_->action(key.key)->setChecked(!on);
      },
      this);
  for (const ToggleKey& key : kToggleKeys) {
    QAction* toggle = toggles_->action(key.key);
    toggle->setShortcutContext(Qt::ApplicationShortcut);
    addAction(toggle);
  }

  Actions& a = actions_;
  a.attach = addCommand(tr("&Attach to a Running Bot..."), tr("Show and moderate a bot that runs without a window"));
  connect(a.attach, &QAction::triggered, this, &FaceWindow::chooseBot);
  a.openProfile = addCommand(tr("Open &Profile..."), tr("Run the bot in another profile"));
  a.fileLogging = addCommand(tr("File Logging"), tr("Start or stop writing the chat to a log file"));
  a.fileLogging->setCheckable(true);
  connect(a.fileLogging, &QAction::triggered, this, [this](bool on) {
    pane_->setLogging(on);
    actions_.fileLogging->setChecked(pane_->isLogging());
  });
  connect(pane_, &ChatPane::loggingChanged, a.fileLogging, &QAction::setChecked);
  a.exit = addCommand(tr("E&xit"), tr("Close this window; the bot runs on"));
  connect(a.exit, &QAction::triggered, this, &QWidget::close);

  a.selectAll = addCommand(tr("Select All Visible\tCtl-A"), tr("Select the chat text in view"),
                           QKeySequence(Qt::CTRL | Qt::Key_A));
  connect(a.selectAll, &QAction::triggered, pane_, &ChatPane::selectAllVisible);
  a.copy = addCommand(tr("&Copy\tCtl+C"), tr("Copy the selection to the clipboard"));
  a.copy->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)});
  connect(a.copy, &QAction::triggered, this, [this] {
    if (!pane_->copyAndDeselect() && chat_bar_->input().hasFocus()) chat_bar_->input().copy();
  });
  a.find = addCommand(tr("&Find...\tCtrl+F"), tr("Find text in the chat"), QKeySequence(Qt::CTRL | Qt::Key_F));
  connect(a.find, &QAction::triggered, find_bar_, &FindBar::open);
  connect(find_bar_, &FindBar::closed, this, &FaceWindow::focusChatBar);

  // These change the files of the computer they run on, which need not be the bot's.
  a.configure = addCommand(tr("Configure Bot"), tr("Change the login, servers, fonts and toggles"));
  a.configure->setIcon(DrawToolIcon(ToolIcon::ConfigBot));
  a.responses = addCommand(tr("Setup Responses and Automation"),
                           tr("Change command levels, users, responses, heirs and restrictions"));
  a.responses->setIcon(DrawToolIcon(ToolIcon::Responses));
  for (QAction* local : {a.configure, a.responses, a.openProfile}) {
    local->setEnabled(false);
    local->setToolTip(LocalOnlyTip());
    local->setStatusTip(LocalOnlyTip());
  }

  a.connect = addCommand(tr("Connect"), tr("The bot connects to the server and logs in"),
                         QKeySequence(Qt::ALT | Qt::Key_C));
  a.connect->setToolTip(tr("Connect to B.net"));
  a.connect->setIcon(DrawToolIcon(ToolIcon::Connect));
  connect(a.connect, &QAction::triggered, link_, &FaceLink::connectBot);
  a.disconnect = addCommand(tr("Disconnect"), tr("The bot closes its connection to the server"),
                            QKeySequence(Qt::ALT | Qt::Key_D));
  a.disconnect->setToolTip(tr("Disconnect from Battle.net"));
  a.disconnect->setIcon(DrawToolIcon(ToolIcon::Disconnect));
  connect(a.disconnect, &QAction::triggered, link_, &FaceLink::disconnectBot);
  a.clearChat = addCommand(tr("Clear Chat Window"), tr("Remove every line from this window's chat display"));
  a.clearChat->setIcon(DrawToolIcon(ToolIcon::ClearChat));
  connect(a.clearChat, &QAction::triggered, pane_, &ChatPane::clearChat);
  a.whisperBar = addCommand(tr("Whisper Bar"), tr("Whisper to the selected users and to names you type"));

  const struct {
    QKeyCombination keys;
    void (ChatPane::*slot)();
  } scrolls[] = {
      {Qt::ALT | Qt::Key_Up, &ChatPane::lineUp},       {Qt::ALT | Qt::Key_Down, &ChatPane::lineDown},
      {Qt::ALT | Qt::Key_PageUp, &ChatPane::pageUp},   {Qt::ALT | Qt::Key_PageDown, &ChatPane::pageDown},
      {Qt::ALT | Qt::Key_Home, &ChatPane::scrollToTop}, {Qt::ALT | Qt::Key_End, &ChatPane::scrollToBottom},
  };
  for (const auto& s : scrolls)
    connect(addCommand(QString(), QString(), QKeySequence(s.keys)), &QAction::triggered, pane_, s.slot);
  connect(addCommand(QString(), QString(), QKeySequence(Qt::CTRL | Qt::Key_Tab)), &QAction::triggered, this,
          [this] { FocusNextDock(*this, false); });
  timestamps_ = MakeTimestampActions(*pane_, this);
}

void FaceWindow::createStatusBar() {
  status_bar_ = new StatusBar(this);
  setStatusBar(status_bar_);
  status_bar_->setConnectionStatus(tr("Not attached"));
  actions_.showStatusBar = new QAction(tr("Show &Status Bar"), this);
  actions_.showStatusBar->setCheckable(true);
  actions_.showStatusBar->setChecked(true);
  connect(actions_.showStatusBar, &QAction::toggled, status_bar_, &QWidget::setVisible);
}

void FaceWindow::createDocks() {
  setCorner(Qt::BottomLeftCorner, Qt::BottomDockWidgetArea);
  setCorner(Qt::BottomRightCorner, Qt::BottomDockWidgetArea);

  chat_bar_ = new FaceChatBar([this](const std::string& line) { link_->sendLine(line); }, *users_, pane_, this);
  chat_bar_dock_ = new QDockWidget(tr("Chat Bar"), this);
  chat_bar_dock_->setObjectName(QStringLiteral("chatBarDock"));
  chat_bar_dock_->setAllowedAreas(Qt::TopDockWidgetArea | Qt::BottomDockWidgetArea);
  chat_bar_dock_->setWidget(chat_bar_);
  addDockWidget(Qt::BottomDockWidgetArea, chat_bar_dock_);

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
  user_list_dock_ = new QDockWidget(tr("User List"), this);
  user_list_dock_->setObjectName(QStringLiteral("userListDock"));
  user_list_dock_->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
  user_list_dock_->setWidget(user_list_);
  addDockWidget(Qt::LeftDockWidgetArea, user_list_dock_);

  user_menu_ = new FaceUserMenu(*link_, *users_, this);
  connect(user_menu_, &QMenu::aboutToHide, this, [this] { QTimer::singleShot(0, this, &FaceWindow::focusChatBar); });
  UserListView* view = &user_list_->view();
  connect(view, &UserListView::whisperRequested, user_whisper_bars_, &UserWhisperBars::open);
  connect(view, &UserListView::whisperBarRequested, actions_.whisperBar, &QAction::trigger);
  connect(view, &UserListView::userMenuRequested, this, [this](const QPoint& at) { user_menu_->popup(at); });
  connect(view, &UserListView::focusReturnRequested, this, &FaceWindow::focusChatBar);
}

void FaceWindow::createToolBar() {
  tool_bar_ = new QToolBar(tr("Toolbar"), this);
  tool_bar_->setObjectName(QStringLiteral("toolBar"));
  tool_bar_->setIconSize(QSize(16, 15));
  addToolBar(Qt::TopToolBarArea, tool_bar_);
  auto toggle = [this](const char* key) { return toggles_->action(key); };
  const QList<QList<QAction*>> groups = {
      {actions_.connect, actions_.disconnect},
      {actions_.configure, actions_.responses},
      {toggle("AllowPage")},
      {toggle("ViewChatUpdates"), toggle("ViewEnterLeave"), toggle("AutoRespond")},
      {toggle("AutoViewAliases"), toggle("IdLogging")},
      {toggle("HighlightUsers"), toggle("ViewPings")},
      {actions_.clearChat},
  };
  for (const QList<QAction*>& group : groups) {
    if (!tool_bar_->actions().isEmpty()) tool_bar_->addSeparator();
    tool_bar_->addActions(group);
  }
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

  QMenu* view = menuBar()->addMenu(tr("View"));
  view->addAction(a.showStatusBar);
  view->addSeparator();
  view->addActions({toggle("ViewChatUpdates"), toggle("AutoViewAliases"), toggle("ViewEnterLeave"),
                    toggle("ViewPings"), toggle("ViewText"), toggle("HighlightUsers")});
  view->addSeparator();
  view->addActions({timestamps_.shown, timestamps_.logged});
  view->addSeparator();
  view->addActions({tool_bar_->toggleViewAction(), user_list_dock_->toggleViewAction(),
                    chat_bar_dock_->toggleViewAction(), a.whisperBar});
  // The disabled items say why when pointed at.
  for (QMenu* menu : {file, edit, options, view}) {
    menu->setToolTipsVisible(true);
    connect(menu, &QMenu::aboutToHide, this, [this] { QTimer::singleShot(0, this, &FaceWindow::focusChatBar); });
  }
}

void FaceWindow::createNotifications() {
  tray_ = new QSystemTrayIcon(windowIcon(), this);
  tray_->setToolTip(QStringLiteral("Tolvik"));
  tray_->setContextMenu(MakeTrayMenu(this, actions_.connect, actions_.disconnect, actions_.exit, [this] {
    return link_->attached() && !IsIdleState(link_->mirror().State());
  }));
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::DoubleClick) return;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    tray_->hide();
  });
  notifications_ = new DesktopNotifications([this] { return isActiveWindow() && !isMinimized(); }, this);
  notifications_->setTrayIcon(tray_, windowIcon());
  for (AttentionKind kind : {AttentionKind::Whisper, AttentionKind::Page, AttentionKind::Mention})
    options_menu_->addAction(notifications_->switchFor(kind));
  connect(pane_, &ChatPane::lineShown, notifications_, [this](const QString& line) {
    notifications_->lineShown(line, FromWire(link_->mirror().BotName()));
  });
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
  connect(toggles_, &ToggleActions::toggled, this, [this](const QString& key, bool on) {
    if (key == QLatin1String("ViewEnterLeave")) status_bar_->setEnterLeave(on);
    if (key == QLatin1String("AllowPage")) status_bar_->setPage(on);
    if (key == QLatin1String("ViewChatUpdates")) pane_->setFollowNewText(on);
  });
}

// ---- The bot's state ---------------------------------------------------------------

void FaceWindow::showAttached(bool attached) {
  const FaceMirror& m = link_->mirror();
  if (attached) {
    pane_->setHint(QString());
    if (!target_.remote_host.empty())
      setWindowTitle(QString::fromLatin1(kTitle).arg(QStringLiteral(TOLVIK_VERSION)) + QStringLiteral(" - ") +
                     FromWire(m.BotName()) + QLatin1Char('@') + QString::fromStdString(target_.remote_host));
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
  const auto on = [&](const char* key) { return toggles_->action(key)->isChecked(); };
  status_bar_->setEnterLeave(on("ViewEnterLeave"));
  status_bar_->setPage(on("AllowPage"));
  pane_->setFollowNewText(on("ViewChatUpdates"));
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
  if (event->type() == QEvent::WindowStateChange) {
    if (isMinimized() && QSystemTrayIcon::isSystemTrayAvailable()) {
      tray_->show();
      QTimer::singleShot(0, this, &QWidget::hide);
    } else if (!isMinimized()) {
      tray_->hide();
    }
  } else if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    focusChatBar();
    notifications_->markRead();
    if (tray_->isVisible()) tray_->hide();
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
