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
#include "ui/dialogs/moderation_record_dialog.h"
#include "ui/dialogs/select_server_dialog.h"
#include "ui/main_window.h"
#include "ui/user_list_menu.h"

namespace tolvik::ui {

void MainWindow::installDialogs() {
  auto install = [this](QAction* action, auto open) { connect(action, &QAction::triggered, this, open); };
  const Actions& a = actions_;
  install(a.selectServer, [this] {
    SelectServerDialog dialog(SelectServerDialog::defaultFile(), doc_->StatusServer(), *pane_, this);
    dialog.exec();
  });
  install(a.lastSeen, [this] { LastSeenDialog::open(doc_->Bot().LastSeen(), this); });
  install(a.moderationRecord, [this] { ModerationRecordDialog::open(doc_->Bot().WorkingDir(), this); });
  install(a.joinChannel, [this] {
    JoinChannelDialog dialog(doc_->Bot(), this);
    dialog.exec();
  });
  install(a.about, [this] {
    AboutDialog dialog(this);
    dialog.exec();
  });
  install(a.help, [this] {
    HelpDialog::show(this, tr("Main Window Help"),
                     QString::fromLatin1(kMainWindowHelpText) + QString::fromLatin1(kLaterKeysHelpText));
  });

  // The commands on the first selected user.
  user_menu_ = new UserListMenu(*doc_, this);
  connect(user_menu_, &QMenu::aboutToHide, this, [this] { QTimer::singleShot(0, this, &MainWindow::focusChatBar); });
}

}  // namespace tolvik::ui
