#include "ui/sheets/login_page_widget.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "display/chat_display.h"
#include "app/document.h"
#include "ui/wire_text.h"

namespace tolvik::ui {

LoginPageWidget::LoginPageWidget(CHaldenDoc& doc, QWidget* parent)
    : SheetPage(parent),
      doc_(doc),
      user_name_(new QLineEdit(this)),
      password_(new QLineEdit(this)),
      home_channel_(new QLineEdit(this)),
      save_password_(new QCheckBox(tr("Save Password"), this)),
      login_on_startup_(new QCheckBox(tr("Login on startup"), this)),
      server_(new QLabel(this)) {
  user_name_->setObjectName(QStringLiteral("userName"));
  password_->setObjectName(QStringLiteral("password"));
  home_channel_->setObjectName(QStringLiteral("homeChannel"));
  user_name_->setMaxLength(static_cast<int>(LoginPage::kUserNameLimit));
  password_->setMaxLength(static_cast<int>(LoginPage::kPasswordLimit));
  password_->setEchoMode(QLineEdit::Password);
  home_channel_->setMaxLength(static_cast<int>(LoginPage::kHomeChannelLimit));

  auto* form = new QFormLayout;
  form->addRow(tr("User Name:"), user_name_);
  password_label_ = new QLabel(tr("Password:"), this);
  password_label_->setObjectName(QStringLiteral("passwordLabel"));
  form->addRow(password_label_, password_);
  form->addRow(tr("Home Channel:"), home_channel_);
  form->addRow(save_password_);
  form->addRow(login_on_startup_);
  server_->setObjectName(QStringLiteral("serverInUse"));
  server_->setWordWrap(true);
  connect(server_, &QLabel::linkActivated, this, &LoginPageWidget::serversPageRequested);
  auto* note = new QLabel(
      QStringLiteral("The user account must already exist.  Log in to Battle.net with Starcraft to create an account"),
      this);
  note->setWordWrap(true);
  auto* content = new QVBoxLayout;
  content->addLayout(form);
  // Outside the form: a wrapped label there is not given the height of its second line.
  content->addWidget(server_);
  content->addSpacing(8);
  content->addWidget(note);
  setContent(content);
  load();
}

void LoginPageWidget::load() {
  page_.Load(doc_.Login());
  // The server's transport names the secret: a password, or an API key.
  static const char* const kSecretLabels[] = {QT_TR_NOOP("Password:"), QT_TR_NOOP("API key:")};
  (void)kSecretLabels;
  password_label_->setText(tr(page_.secretLabel()));
  password_->setMaxLength(static_cast<int>(page_.passwordLimit()));
  user_name_->setText(FromWire(page_.userName()));
  password_->setText(FromWire(page_.password()));
  home_channel_->setText(FromWire(page_.homeChannel()));
  save_password_->setChecked(page_.savePassword());
  login_on_startup_->setChecked(page_.loginOnStartup());
}

void LoginPageWidget::showServer(const QString& server) {
  if (server.isEmpty()) {
    server_->setTextFormat(Qt::RichText);
    server_->setText(tr("Server: none chosen yet. <a href=\"#servers\">Choose one on the Servers page</a>"));
  } else {
    server_->setTextFormat(Qt::PlainText);
    server_->setText(tr("Server: %1").arg(server));
  }
}

void LoginPageWidget::focusFirstMissing() {
  if (user_name_->text().isEmpty() || !password_->text().isEmpty())
    user_name_->setFocus();
  else
    password_->setFocus();
}

bool LoginPageWidget::save() {
  page_.setUserName(ToWire(user_name_->text(), LoginPage::kUserNameLimit));
  page_.setPassword(ToWire(password_->text(), page_.passwordLimit()));
  page_.setHomeChannel(ToWire(home_channel_->text(), LoginPage::kHomeChannelLimit));
  page_.setSavePassword(save_password_->isChecked());
  page_.setLoginOnStartup(login_on_startup_->isChecked());
  const PageOutcome outcome = page_.Apply(doc_);
  if (!outcome) doc_.Display().print(TextType::BotInfo, "%s", outcome.message.c_str());
  return true;
}

}  // namespace tolvik::ui
