#include "ui/dialogs/help_dialog.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvik::ui {

const char kMainWindowHelpText[] =
    "\r\n"
    "Hot-Key Summary:\r\n"
    "\r\n"
    "TAB: User Name Tab Completion\r\n"
    "\r\n"
    "Alt-C: Connect to Battle.net\r\n"
    "Alt-D: Disconnect from Battle.net\r\n"
    "Ctl-L: Bring up \"Last Seen\" box\r\n"
    "Alt-S: Pastes current server\r\n"
    "Alt-W: Whispers to selected users\r\n"
    "Alt-H: Change Channels\r\n"
    "Alt-N: Pastes names of selected users\r\n"
    "Alt-V: Toggle Enter/Leave Notifications\r\n"
    "Alt-P: Toggle Operator Page On/Off\r\n"
    "\r\n"
    "Ctl-W: Lock chat bar into whisper mode.\r\n"
    "Alt-W: Whisper current text to Selected User(s)\r\n"
    "\r\n"
    "Ctl-C: Copy Selected Text\r\n"
    "Ctl-X: Cut Selected Text\r\n"
    "Ctl-V: Paste to Chat Bar\r\n"
    "Ctl-Insert: Copy Seletcted Text\r\n"
    "Shift-Delete: Cut Selected Text\r\n"
    "Shift-Insert:Paste to Chat Bar\r\n"
    "\r\n"
    "ESC: Clear Chat Bar of text\r\n"
    "Up Arrow: Scroll Through Last 50 commands\r\n"
    "Down Arrow: Scroll Forward through commands\r\n"
    "\r\n"
    "Alt-Up Arrow: Scroll Main Window Up\r\n"
    "Alt-Down Arrow: Scroll Main WIndow Down\r\n"
    "Alt-PgUp: Scrolls Main Window Up One Page\r\n"
    "Alt-PgDn: Scrolls Main Window Down One Page\r\n"
    "Alt-Home: Go to Top of Main Window Buffer\r\n"
    "Alt-End: Go to Bottom of Main Window Buffer\r\n"
    "\r\n"
    "Ctl-Up Arrow: Scroll User List Box Up\r\n"
    "Ctl-Down Arrow: Scroll User List Box Down\r\n"
    "Ctl-PgUp: Scrolls User List Box Up One Page\r\n"
    "Ctl-PgDn: Scrolls User List Box Down One Page\r\n";

const char kLaterKeysHelpText[] =
    "\r\n"
    "More keys:\r\n"
    "\r\n"
    "Ctrl+F: Find text in the chat window\r\n"
    "F3 or Enter: Find the next match (Shift+F3 or Shift+Enter: the previous one)\r\n"
    "Esc: Close the find bar\r\n"
    "\r\n"
    "Ctrl+Tab: Move to the next bar (chat bar, user list, whisper bars)\r\n"
    "Ctrl+Shift+Tab: Move to the previous bar\r\n"
    "\r\n"
    "Shift+F10 or the Menu key: Open the user list's menu for the current user\r\n";

const char kSelectServerHelpText[] =
    "\r\n"
    "This program modifies your registry so you can manually select a battle.net server.  The list of servers "
    "comes directly from your registry, and a backup of what was there is created\r\n"
    "\r\n"
    "You'll probably need to run this program before every SC session, since SC re-loads all the servers every "
    "time you connect to b.net\r\n"
    "\r\n"
    "Buttons:\r\n"
    "\r\n"
    "Save:\r\n"
    "Saves selected server\r\n"
    "\r\n"
    "Exit:\r\n"
    "Exits without selecting a server\r\n"
    "\r\n"
    "Restore:\r\n"
    "Restores backup battle.net servers";

HelpDialog::HelpDialog(const QString& title, const QString& text, QWidget* parent) : QDialog(parent) {
  setWindowTitle(title);
  text_ = new QPlainTextEdit(this);
  text_->setReadOnly(true);
  text_->setPlainText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(buttons);
  resize(520, 420);
  buttons->button(QDialogButtonBox::Ok)->setFocus();
}

void HelpDialog::show(QWidget* parent, const QString& title, const QString& text) {
  HelpDialog dialog(title, text, parent);
  dialog.exec();
}

}  // namespace tolvik::ui
