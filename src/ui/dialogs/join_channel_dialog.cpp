#include "ui/dialogs/join_channel_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "bot/chat_bot.h"
#include "ui/wire_text.h"

namespace tolvik::ui {

JoinChannelDialog::JoinChannelDialog(ChatBot& bot, QWidget* parent) : QDialog(parent), bot_(bot) {
  setWindowTitle(tr("Join Channel"));
  channels_ = new QComboBox(this);
  channels_->setEditable(true);
  channels_->setInsertPolicy(QComboBox::NoInsert);
  channels_->setMinimumContentsLength(24);
  QStringList names;
  const RecentChannels& recent = bot_.Recent();
  for (int i = 0; i < recent.count(); ++i) names << FromWire(recent.at(i));
  names.sort(Qt::CaseInsensitive);
  channels_->addItems(names);
  channels_->setEditText(QString());
  channels_->lineEdit()->setMaxLength(254);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* join = buttons->addButton(tr("Join"), QDialogButtonBox::AcceptRole);
  join->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &JoinChannelDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(channels_);
  layout->addWidget(buttons);
  channels_->setFocus();
}

std::string JoinChannelDialog::channel() const { return ToWire(channels_->currentText(), kChannelLength); }

void JoinChannelDialog::accept() {
  bot_.Queue().Say("/join %s\n", channel().c_str());
  QDialog::accept();
}

}  // namespace tolvik::ui
