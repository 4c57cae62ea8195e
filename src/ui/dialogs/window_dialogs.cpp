// The main window's dialogs and the user list's menu, installed over the
// window's actions once they exist.
#include <QAction>
#include <QTimer>

#include "app/document.h"
#include "bot/chat_bot.h"
#include "ui/chat_pane.h"
#include "ui/dialogs/about_dialog.h"
#include "ui/dialogs/help_dialog.h"
#include "ui/dialogs/join_channel_dialog.h"
#include "ui/dialogs/last_seen_dialog.h"
#include "ui/dialogs/select_server_dialog.h"
#include "ui/main_window.h"
#include "ui/user_list_menu.h"

namespace tolvik::ui {

void MainWindow::installDialogs() {
  auto install = [this](QAction* action, const QString& statusTip, auto open) {
    action->setEnabled(true);
    action->setStatusTip(statusTip);
    connect(action, &QAction::triggered, this, open);
  };
  const Actions& a = actions_;
  install(a.selectServer, tr("Choose the server the game will use"), [this] {
    SelectServerDialog dialog(SelectServerDialog::defaultFile(), doc_->StatusServer(), *pane_, this);
    dialog.exec();
  });
  install(a.lastSeen, tr("Show the users who left the channel"),
          [this] { LastSeenDialog::open(doc_->Bot().LastSeen(), this); });
  install(a.joinChannel, tr("Go to another channel"), [this] {
    JoinChannelDialog dialog(doc_->Bot(), this);
    dialog.exec();
  });
  install(a.about, tr("Show the program's version"), [this] {
    AboutDialog dialog(this);
    dialog.exec();
  });
  install(a.help, tr("List the keys of the main window"), [this] {
    HelpDialog::show(this, tr("Main Window Help"), QString::fromLatin1(kMainWindowHelpText));
  });

  // The commands on the first selected user.
  user_menu_ = new UserListMenu(*doc_, this);
  connect(user_menu_, &QMenu::aboutToHide, this, [this] { QTimer::singleShot(0, this, &MainWindow::focusChatBar); });
}

}  // namespace tolvik::ui
