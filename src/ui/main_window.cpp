#include "ui/main_window.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDockWidget>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShowEvent>
#include <QSystemTrayIcon>
#include <QTextEdit>
#include <QTimer>
#include <QWheelEvent>

#include "display/chat_display.h"
#include "face/face_hub.h"
#include "face/local_faces.h"
#include "face/remote_faces.h"
#include "app/document.h"
#include "settings/font_records.h"
#include "storage/profile_dir.h"
#include "app/sheets/login_page.h"
#include "settings/window_placement.h"
#include "bot/chat_bot.h"
#include "ui/bar_docks.h"
#include "ui/caret_rest.h"
#include "ui/chat_bar_widget.h"
#include "ui/chat_centre.h"
#include "ui/chat_pane.h"
#include "ui/demo_channel.h"
#include "ui/dialogs/open_profile_dialog.h"
#include "ui/dock_focus.h"
#include "ui/face/attach_command.h"
#include "ui/find_bar.h"
#include "ui/desktop_notifications.h"
#include "ui/icons.h"
#include "ui/qt_host.h"
#include "ui/sheets/bot_configurator.h"
#include "ui/sheets/response_configurator.h"
#include "ui/status_bar.h"
#include "ui/timestamp_actions.h"
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
#include "ui/window_layout.h"

namespace tolvik::ui {

MainWindow::MainWindow(const std::string& workingDir, QWidget* parent)
    : QMainWindow(parent), host_(new QtHost(this)) {
  setWindowTitle(VersionTitle());
  setWindowIcon(DrawAppIcon());
  // The document comes first: the chat pane is its display, and every bar works on it.
  createDocument(workingDir);
  createActions();
  createStatusBar();
  createDocks();
  createToolBar();
  createMenus();
  installDialogs();
  connectDocument();
  readSettings();
  createNotifications();
  new CaretRest(this);
  listenForFaces(workingDir);
}

// Last, once the user list has its view: the hub watches the list beside it.
void MainWindow::listenForFaces(const std::string& workingDir) {
  faces_ = std::make_unique<FaceHub>(*doc_, *host_);
  std::string error;
  if (auto listener = ListenForLocalFaces(workingDir, &error))
    faces_->AddListener(std::move(listener));
  else
    doc_->Display().print(TextType::BotInfo, "Faces cannot attach: %s", error.c_str());
  // And over the network when Bot.ini's [Remote] Listen asks for it.
  ListenForRemoteFaces(*doc_, *faces_);
  // What changed without a line to say so goes out each time the loop rests;
  // the switches a face flipped show their new state here then too.
  if (auto* dispatcher = QAbstractEventDispatcher::instance(thread()))
    connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
      toggles_->refresh();
      if (faces_) faces_->Refresh();
    });
}

MainWindow::~MainWindow() {
  // Focus moves while the children go; the application must not call back
  // into a window that is half destroyed.
  disconnect(qApp, &QApplication::focusChanged, this, nullptr);
  closeDocument();
  faces_.reset();
  // The bars hold the document's chat bar and user list: they go before it.
  delete user_whisper_bars_;
  qDeleteAll(findChildren<QDockWidget*>(QString(), Qt::FindDirectChildrenOnly));
  doc_.reset();
}

void MainWindow::start() {
  if (!doc_->Login().autoLogin && NeedsFirstRunSetup(doc_->Login()))
    doc_->Connect();  // asks for what is missing, then connects
  else
    doc_->Start();
}

void MainWindow::showProfile(const QString& shown, const std::string& profile) {
  profile_ = profile;
  setWindowTitle(WindowTitle(shown));
}

void MainWindow::openProfile() {
  OpenProfileDialog dialog(ListProfiles(), profile_, this);
  if (dialog.exec() == QDialog::Accepted && dialog.profile() != profile_) emit profileChosen(dialog.profile());
}

// ---- Construction -------------------------------------------------------------

void MainWindow::createDocument(const std::string& workingDir) {
  working_dir_ = workingDir;
  const ChatCentre centre = SetChatCentre(*this);
  pane_ = centre.pane;
  find_bar_ = centre.findBar;
  pane_->setHint(notConnectedHint());
  doc_ = std::make_unique<CHaldenDoc>(workingDir, *pane_, *host_);
  // A product text longer than a tag: a short alert.
  doc_->Bot().Users().setLongProductAlert([this] { host_->Beep(); });
}

QAction* MainWindow::addCommand(const QString& text, const QString& statusTip, const QKeySequence& keys) {
  return AddWindowCommand(*this, text, statusTip, keys);
}

void MainWindow::createActions() {
  toggles_ = new ToggleActions(*doc_, this);
  AddToggleKeys(*this, *toggles_);

  Actions& a = actions_;
  static_cast<ChatCommands&>(a) = AddChatCommands(
      *this, *pane_, *find_bar_,
      {tr("Connect to the server and log in"), tr("Close the connection to the server"),
       tr("Remove every line from the chat display")});
  a.reload = addCommand(tr("&Reload Bot.ini"), tr("Read the responses, commands and fonts of Bot.ini again"),
                        QKeySequence(Qt::ALT | Qt::Key_R));
  connect(a.reload, &QAction::triggered, this, [this] { doc_->ReloadBotIni(); });
  a.saveWindowSizes = addCommand(tr("&Save Window Sizes"), tr("Remember the window's position in Bot.ini"));
  connect(a.saveWindowSizes, &QAction::triggered, this, [this] { saveWindowSizes(false); });
  open_profile_ = addCommand(tr("Open &Profile..."), tr("Run the bot in another profile"));
  connect(open_profile_, &QAction::triggered, this, &MainWindow::openProfile);
  attach_ = MakeAttachAction(this, [this] { return profile_; }, working_dir_, doc_->Display());
  a.exit = addCommand(tr("E&xit"), tr("Leave the channel and quit Tolvik"));
  connect(a.exit, &QAction::triggered, this, &QWidget::close);

  a.cut = addCommand(tr("Cu&t\tCtl+X"), tr("Cut the selection to the clipboard"));
  a.cut->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)});
  connect(a.cut, &QAction::triggered, this, &MainWindow::cut);
  connect(a.copy, &QAction::triggered, this, &MainWindow::copy);
  a.paste = addCommand(tr("&Paste\tCtl+V"), tr("Paste the clipboard's text"));
  a.paste->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)});
  connect(a.paste, &QAction::triggered, this, &MainWindow::paste);
  connect(qApp, &QApplication::focusChanged, this, &MainWindow::updateEditActions);
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &MainWindow::updateEditActions);

  a.selectServer = addCommand(tr("Select B.net server for SC"), tr("Choose the server the game will use"));
  a.selectServer->setToolTip(tr("Select B.net Server"));
  a.selectServer->setIcon(DrawToolIcon(ToolIcon::SelectServer));
  connect(a.configure, &QAction::triggered, this, &MainWindow::configureBot);
  connect(a.responses, &QAction::triggered, this, [this] { ShowResponseConfigurator(*doc_, this); });
  a.reindex = addCommand(tr("Reindex Account Database"), tr("Rebuild the account database and its index"));
  connect(a.reindex, &QAction::triggered, this, &MainWindow::reindexAliases);

  a.about = addCommand(tr("About Tolvik"), tr("Show the program's version"));
  a.help = addCommand(tr("Help"), tr("List the keys of the main window"));
  a.help->setShortcut(QKeySequence(Qt::Key_F1));

  connect(a.connect, &QAction::triggered, this, [this] { doc_->Connect(); });
  connect(a.disconnect, &QAction::triggered, this, [this] { doc_->Disconnect(); });
  a.lastSeen = addCommand(tr("Last Seen"), tr("Show the users who left the channel"));
  a.lastSeen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  a.lastSeen->setIcon(DrawToolIcon(ToolIcon::LastSeen));
  a.moderationRecord = addCommand(tr("Moderation Record"), tr("Show the kicks, bans and warnings of the record"));
  a.joinChannel = addCommand(tr("Join Channel"), tr("Go to another channel"));
  a.joinChannel->setShortcut(QKeySequence(Qt::ALT | Qt::Key_H));
  connect(a.whisperBar, &QAction::triggered, this, &MainWindow::openWhisperBar);

  connect(find_bar_, &FindBar::closed, this, &MainWindow::focusChatBar);
  AddChatScrollKeys(*this, *pane_);
  connect(addCommand(QString(), QString(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)),
          &QAction::triggered, this, [this] { FocusNextDock(*this, true); });
  timestamps_ = MakeTimestampActions(*pane_, this);
}

void MainWindow::createStatusBar() {
  status_bar_ = new StatusBar(doc_->Bot().Queue(), this);
  actions_.showStatusBar = InstallStatusBar(*this, status_bar_);
}

void MainWindow::createDocks() {
  chat_bar_ = new ChatBarWidget(*doc_, this);
  chat_bar_dock_ = AddChatBarDock(*this, chat_bar_);
  // The "Whisper Bar" and the per-user bars are made when first asked for.
  user_whisper_bars_ = new UserWhisperBars(*this, chat_bar_->chatBar(), pane_);

  user_list_ = new UserListPanel(doc_->Bot().Users(), this);
  user_list_dock_ = AddUserListDock(*this, user_list_);

  // The chat bar's and user list's keys.
  const struct {
    QKeyCombination keys;
    void (ChatBarWidget::*slot)();
  } bar_keys[] = {
      {Qt::ALT | Qt::Key_N, &ChatBarWidget::pasteSelectedNames},
      {Qt::ALT | Qt::Key_S, &ChatBarWidget::pasteServerName},
      {Qt::CTRL | Qt::Key_R, &ChatBarWidget::replyToLastWhisper},
      {Qt::CTRL | Qt::Key_W, &ChatBarWidget::toggleWhisperLock},
      {Qt::ALT | Qt::Key_W, &ChatBarWidget::whisperSelected},
  };
  for (const auto& k : bar_keys)
    connect(addCommand(QString(), QString(), QKeySequence(k.keys)), &QAction::triggered, chat_bar_, k.slot);
  UserListView* view = &user_list_->view();
  const struct {
    QKeyCombination keys;
    void (UserListView::*slot)();
  } list_keys[] = {
      {Qt::CTRL | Qt::Key_Up, &UserListView::selectPrevious},
      {Qt::CTRL | Qt::Key_Down, &UserListView::selectNext},
      {Qt::CTRL | Qt::Key_PageUp, &UserListView::scrollPageUp},
      {Qt::CTRL | Qt::Key_PageDown, &UserListView::scrollPageDown},
  };
  for (const auto& k : list_keys)
    connect(addCommand(QString(), QString(), QKeySequence(k.keys)), &QAction::triggered, view, k.slot);
  connect(view, &UserListView::whisperRequested, user_whisper_bars_, &UserWhisperBars::open);
  connect(view, &UserListView::whisperBarRequested, this, &MainWindow::openWhisperBar);
  connect(view, &UserListView::userMenuRequested, this, &MainWindow::showUserMenu);
  connect(view, &UserListView::focusReturnRequested, this, &MainWindow::focusChatBar);
}

void MainWindow::createToolBar() {
  tool_bar_ = AddChatToolBar(*this, actions_, *toggles_, actions_.lastSeen, actions_.selectServer);
}

void MainWindow::createMenus() {
  const Actions& a = actions_;
  auto toggle = [this](const char* key) { return toggles_->action(key); };

  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addActions({attach_, open_profile_});
  file->addSeparator();
  file->addActions({a.fileLogging, a.reload, a.saveWindowSizes});
  file->addSeparator();
  file->addAction(a.exit);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  edit->addActions({a.selectAll, a.cut, a.copy, a.paste, a.find});
  edit->addSeparator();
  edit->addAction(a.selectServer);
  connect(edit, &QMenu::aboutToShow, this, &MainWindow::updateEditActions);

  QMenu* options = menuBar()->addMenu(tr("&Options"));
  options->addActions({a.configure, a.responses, a.reindex});
  options->addSeparator();
  options->addActions({toggle("AutoRespond"), toggle("AllowPage"), toggle("IdLogging"), toggle("AutoSave")});
  // Every shown line also goes to logs/YYYY-MM-DD.log; the choice is kept in Bot.ini [Logging].
  QAction* daily_logs = options->addAction(tr("Keep Daily Logs"));
  daily_logs->setObjectName(QStringLiteral("keepDailyLogs"));
  daily_logs->setStatusTip(tr("Write the chat with times to a file per day in the logs folder"));
  daily_logs->setCheckable(true);
  daily_logs->setChecked(doc_->DailyLogsOn());
  connect(daily_logs, &QAction::triggered, this, [this](bool on) {
    if (!doc_->SetDailyLogs(on))
      doc_->Display().print(TextType::BotInfo, "Bot.ini could not be written: daily logs are %s for this run only",
                            on ? "on" : "off");
  });
  // "Reload Bot.ini" may have changed it.
  connect(options, &QMenu::aboutToShow, daily_logs, [this, daily_logs] { daily_logs->setChecked(doc_->DailyLogsOn()); });
  options_menu_ = options;

  QMenu* view = AddViewMenu(*this, {a.showStatusBar, toggles_, timestamps_, tool_bar_, user_list_dock_,
                                    chat_bar_dock_, a.whisperBar});
  view->addSeparator();
  view->addAction(a.moderationRecord);

  QMenu* help = menuBar()->addMenu(tr("He&lp"));
  help->addActions({a.about, a.help});
  // A menu of the bar or the display closed: typing goes on in the chat bar.
  for (QMenu* menu : {file, edit, options, view, help})
    connect(menu, &QMenu::aboutToHide, this, [this] { QTimer::singleShot(0, this, &MainWindow::focusChatBar); });
}

void MainWindow::connectDocument() {
  connect(host_, &QtHost::statusChanged, status_bar_,
          [this](int, const QString& text) { status_bar_->setConnectionStatus(text); });
  connect(host_, &QtHost::fastTick, status_bar_, &StatusBar::refreshGauge);
  connect(host_, &QtHost::readsStarted, pane_, &ChatPane::beginBatch);
  connect(host_, &QtHost::readsFinished, pane_, &ChatPane::endBatch);
  connect(host_, &QtHost::userWhisperBarRequested, this,
          [this](const QString& name) { user_whisper_bars_->open(name); });

  // What the switches show besides their check marks.
  FollowToggleEffects(*toggles_, *status_bar_, *pane_);

  connect(pane_, &ChatPane::focusChatBarRequested, this, &MainWindow::focusChatBar);
  connect(pane_, &ChatPane::pasteToChatBarRequested, chat_bar_, &ChatBarWidget::insertText);
  connect(pane_, &QPlainTextEdit::selectionChanged, this, &MainWindow::updateEditActions);
  connect(&chat_bar_->input(), &QLineEdit::selectionChanged, this, &MainWindow::updateEditActions);
  // A login value missing at Connect: the "Bot Configurator" asks for it.
  host_->setLoginValuePrompt([this] {
    if (configureBot()) return true;
    // Cancelled: the connect stops at its prompt line; say how to go on.
    if (!demo_chosen_) doc_->Display().print(TextType::BotInfo, "%s", notConnectedHint().toUtf8().constData());
    return false;
  });
  host_->attach(*doc_);
}

// ---- Window metrics --------------------------------------------------------------

void MainWindow::readSettings() {
  const QSize available = QGuiApplication::primaryScreen()->size();
  const ScreenSize screen = ClampScreenSize(available.width(), available.height());
  const std::string& ini = doc_->Paths().botIni;
  if (std::optional<WindowPlacement> placement = LoadWindowPlacement(ini)) {
    const PlacementRect r = ClampNormalRect(placement->normal, screen);
    setGeometry(r.left, r.top, r.width(), r.height());
  } else {
    resize(screen.width * 3 / 4, screen.height * 3 / 4);
    move((available.width() - width()) / 2, (available.height() - height()) / 2);
  }
  user_list_width_ = UsableUserListWidth(LoadUserListWidth(ini), width());
  // The last session's frame and docks, when this profile has one; they
  // hold the user list's width too.
  layout_restored_ = RestoreWindowLayout(*this, working_dir_);
  fitToScreen();
}

void MainWindow::fitToScreen() {
  // The stored placement and the smallest screen the placement rules know
  // (640 x 480) may both be more than a small or scaled screen offers. Only
  // a window too large is changed: the placement rules decide the rest
  // (a window may stand partly off the screen, 30 pixels of it on).
  // The frame counts too, once the window has one.
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  const QMargins margins(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                         frameGeometry().right() - geometry().right(),
                         frameGeometry().bottom() - geometry().bottom());
  QRect frame = geometry() + margins;
  if (frame.width() <= area.width() && frame.height() <= area.height()) return;
  frame.setSize(frame.size().boundedTo(area.size()));
  if (frame.right() > area.right()) frame.moveRight(area.right());
  if (frame.bottom() > area.bottom()) frame.moveBottom(area.bottom());
  if (frame.left() < area.left()) frame.moveLeft(area.left());
  if (frame.top() < area.top()) frame.moveTop(area.top());
  setGeometry(frame - margins);
}

void MainWindow::saveWindowSizes(bool withUserListWidth) {
  WindowPlacement placement;
  placement.showCmd = isMaximized()   ? WindowPlacement::kShowMaximized
                      : isMinimized() ? WindowPlacement::kShowMinimized
                                      : WindowPlacement::kShowNormal;
  const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
  placement.normal = {normal.left(), normal.top(), normal.left() + normal.width(), normal.top() + normal.height()};
  const std::string& ini = doc_->Paths().botIni;
  bool ok = SaveWindowPlacement(ini, placement);
  if (withUserListWidth) ok = SaveUserListWidth(ini, user_list_dock_->width()) && ok;
  if (!ok) doc_->Display().print(TextType::BotInfo, "Could not save the window sizes in %s", ini.c_str());
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous() && !fitted_) {
    fitted_ = true;
    fitToScreen();  // with the frame the window has now
  }
  if (user_list_width_ > 0) {
    if (!layout_restored_) resizeDocks({user_list_dock_}, {user_list_width_}, Qt::Horizontal);
    user_list_width_ = 0;
    focusChatBar();
  }
}

// ---- Focus and the edit commands ----------------------------------------------------

void MainWindow::focusChatBar() {
  if (!chat_bar_dock_->isFloating() && isActiveWindow()) chat_bar_->focusInput();
}

namespace {

// The text field with focus, when it has a selection of its own.
bool HasSelection(QWidget* w) {
  if (auto* line = qobject_cast<QLineEdit*>(w)) return line->hasSelectedText();
  if (auto* text = qobject_cast<QTextEdit*>(w)) return text->textCursor().hasSelection();
  if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return plain->textCursor().hasSelection();
  return false;
}

bool IsEditable(QWidget* w) {
  if (auto* line = qobject_cast<QLineEdit*>(w)) return !line->isReadOnly();
  if (auto* text = qobject_cast<QTextEdit*>(w)) return !text->isReadOnly();
  if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return !plain->isReadOnly();
  return false;
}

}  // namespace

void MainWindow::copy() {
  if (!pane_->copyAndDeselect()) {
    if (QWidget* w = QApplication::focusWidget(); w && w != pane_) QMetaObject::invokeMethod(w, "copy");
  }
  updateEditActions();
}

void MainWindow::cut() {
  QWidget* w = QApplication::focusWidget();
  if (w && IsEditable(w)) QMetaObject::invokeMethod(w, "cut");
  updateEditActions();
}

void MainWindow::paste() {
  QWidget* w = QApplication::focusWidget();
  if (w == &chat_bar_->input())
    chat_bar_->insertText(QGuiApplication::clipboard()->text());  // through the chat bar's own rules
  else if (w && IsEditable(w))
    QMetaObject::invokeMethod(w, "paste");
}

void MainWindow::updateEditActions() {
  QWidget* w = QApplication::focusWidget();
  const bool field_selection = w && w != pane_ && HasSelection(w);
  actions_.copy->setEnabled(pane_->textCursor().hasSelection() || field_selection);
  actions_.cut->setEnabled(field_selection && IsEditable(w));
  actions_.paste->setEnabled(!QGuiApplication::clipboard()->text().isEmpty());
}

// ---- Commands -----------------------------------------------------------------------

void MainWindow::reindexAliases() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  doc_->Bot().Aliases().reindex();
  QApplication::restoreOverrideCursor();
}

bool MainWindow::configureBot() {
  BotConfigurator sheet(*doc_, this);
  const bool accepted = sheet.exec() == QDialog::Accepted;
  demo_chosen_ = sheet.demoChosen();
  if (demo_chosen_) {
    // Queued: the connect that asked for the sheet gives up first.
    QTimer::singleShot(0, this, &MainWindow::startDemo);
    return false;
  }
  if (!accepted) return false;
  // The fonts as stored now, the switches as in use, the server of the status text.
  doc_->Display().setFormats(LoadTextFormats(doc_->Paths().botIni));
  toggles_->refresh();
  status_bar_->setConnectionStatus(FromWire(doc_->StatusText()));
  return true;
}

QString MainWindow::notConnectedHint() const {
  return tr("Not connected. Press Alt+C or the Connect button to connect; F1 lists the keys.");
}

void MainWindow::startDemo() {
  if (!demo_) {
    demo_ = new DemoChannel(this);
    connect(demo_, &DemoChannel::ready, this, [this](const QString& server) {
      // Values for as long as the demo runs: Bot.ini keeps what the user saved.
      LoginSettings& login = doc_->Login();
      before_demo_ = login;
      login.login = "TolvikBot";
      login.password = "demo";
      login.server = server.toStdString();
      login.channel = "Tolvik Demo";  // where the gateway plays its scene
      doc_->Bot().SetHomeChannel(login.channel.c_str());
      doc_->SetStatusServer(login.server);
      doc_->Connect();
    });
    connect(demo_, &DemoChannel::ended, this, [this] {
      // The bot left the demo: the values it used go, and no retry knocks on its port.
      if (closed_ || !before_demo_) return;
      doc_->Login() = *before_demo_;
      before_demo_.reset();
      doc_->Bot().SetHomeChannel(doc_->Login().channel.c_str());
      doc_->Disconnect();
      doc_->SetStatusServer(IsUnset(doc_->Login().server) ? "" : doc_->Login().server);
      status_bar_->setConnectionStatus(FromWire(doc_->StatusText()));
      doc_->Display().print(TextType::BotInfo, "The demo channel has ended. %s",
                            notConnectedHint().toUtf8().constData());
    });
    connect(demo_, &DemoChannel::failed, this, [this](const QString& reason) {
      doc_->Display().print(TextType::BotInfo, "The demo channel could not start: %s", reason.toUtf8().constData());
    });
  }
  if (demo_->running()) return;
  doc_->Display().print(TextType::BotInfo,
                        "Starting the demo channel: a made-up channel on this computer, for this session only. "
                        "Configure Bot (Options menu) sets up your own server.");
  demo_->start();
}

void MainWindow::showUserMenu(const QPoint& globalPos) { user_menu_->popup(globalPos); }

void MainWindow::openWhisperBar() { user_whisper_bars_->openWhisperBar(user_list_->view().selectedNames()); }

void MainWindow::wheelEvent(QWheelEvent* event) {
  // Nothing under the pointer used the wheel: the chat scrolls.
  pane_->scrollByWheel(event->angleDelta().y());
  event->accept();
}

// ---- Minimise to the notification area ----------------------------------------------

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (TrayFollowsWindow(*this, *event, tray_)) {
    focusChatBar();
    if (notifications_) notifications_->markRead();
  }
}

void MainWindow::createNotifications() {
  // Connected, or on the way there.
  tray_ = MakeWindowTray(*this, actions_.connect, actions_.disconnect, actions_.exit,
                         [this] { return !IsIdleState(doc_->State()); });
  notifications_ = AddWindowNotifications(*this, tray_, options_menu_, *pane_,
                                          [this] { return FromWire(doc_->Bot().OwnName()); });
  connect(host_, &QtHost::pageAlarmStarted, notifications_, &DesktopNotifications::paged);
}

void MainWindow::setNotificationSink(std::unique_ptr<NotificationSink> sink) {
  notifications_->setSink(std::move(sink));
}

// ---- Close -----------------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event) {
  closeDocument();
  event->accept();
  emit closed();
}

void MainWindow::closeDocument() {
  if (closed_) return;
  closed_ = true;
  if (doc_->GetToggles().AutoSave.state) saveWindowSizes(true);
  SaveWindowLayout(*this, working_dir_);
  if (pane_->isLogging()) pane_->stopLog();
  host_->detach();
  doc_->Close();
  if (faces_) faces_->Close();
  if (tray_) tray_->hide();
}

}  // namespace tolvik::ui
