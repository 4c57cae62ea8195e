#include "ui/sheets/restrictions_page_widget.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "ui/sheets/spin_edit.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

constexpr int kMaxFieldLength = 4;

}  // namespace

RestrictionsPageWidget::RestrictionsPageWidget(const std::string& botIni, const BotSettings& current,
                                               QWidget* parent)
    : SheetPage(parent),
      page_(botIni, current),
      type_(new QComboBox(this)),
      max_(new SpinEdit(this)),
      save_(new QPushButton(tr("Save"), this)),
      channel_password_(new QLineEdit(this)),
      whisper_password_(new QLineEdit(this)) {
  type_->setObjectName(QStringLiteral("loginType"));
  max_->setObjectName(QStringLiteral("max"));
  channel_password_->setObjectName(QStringLiteral("channelPassword"));
  whisper_password_->setObjectName(QStringLiteral("whisperPassword"));
  for (const RestrictionsPage::LoginType& type : RestrictionsPage::kLoginTypes)
    type_->addItem(QString::fromLatin1(type.label));
  type_->setCurrentIndex(-1);
  max_->setMaxLength(kMaxFieldLength);
  for (QLineEdit* field : {channel_password_, whisper_password_}) {
    field->setEchoMode(QLineEdit::Password);
    field->setMaxLength(static_cast<int>(RestrictionsPage::kPasswordLimit));
  }
  channel_password_->setText(FromWire(page_.channelPassword()));
  whisper_password_->setText(FromWire(page_.whisperPassword()));

  auto* form = new QFormLayout;
  form->addRow(tr("Login Type:"), type_);
  auto* max_row = new QHBoxLayout;
  max_row->addWidget(max_);
  max_row->addWidget(save_);
  max_row->addStretch();
  form->addRow(tr("Max:"), max_row);
  form->addItem(new QSpacerItem(0, 12));
  form->addRow(tr("Channel Password:"), channel_password_);
  form->addRow(tr("Whisper Password:"), whisper_password_);
  setContent(form);

  connect(type_, &QComboBox::currentIndexChanged, this, [this](int index) {
    page_.ChooseType(index);
    showPage();
  });
  connect(max_, &SpinEdit::stepped, this, [this](int steps) {
    page_.StepMax(steps);
    showPage();
  });
  connect(max_, &SpinEdit::textEdited, this, [this](const QString& text) { page_.SetMaxText(ToWire(text)); });
  connect(save_, &QPushButton::clicked, this, [this] {
    if (report(page_.Save())) emit changed();
    showPage();
  });
  connect(channel_password_, &QLineEdit::textEdited, this, [this](const QString& text) {
    page_.SetChannelPassword(ToWire(text, RestrictionsPage::kPasswordLimit));
    emit changed();
  });
  connect(whisper_password_, &QLineEdit::textEdited, this, [this](const QString& text) {
    page_.SetWhisperPassword(ToWire(text, RestrictionsPage::kPasswordLimit));
    emit changed();
  });
  showPage();
}

void RestrictionsPageWidget::showPage() {
  max_->setText(FromWire(page_.maxText()));
  save_->setEnabled(page_.selectedType() >= 0);
}

}  // namespace tolvik::ui
