#include "ui/dialogs/tags_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "settings/say_tags.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

constexpr int kFirstTagLevels = 9;

}  // namespace

TagsDialog::TagsDialog(const std::string& botIni, QWidget* parent) : QDialog(parent), bot_ini_(botIni) {
  setWindowTitle(tr("Tags"));
  level_ = new QSpinBox(this);
  // With no say keys yet there is nothing to count up to; offer the usual
  // levels so the first tags can be written here.
  const int highest = HighestSayLevel(bot_ini_);
  level_->setRange(0, highest > 0 ? highest : kFirstTagLevels);
  level_->setAccessibleName(tr("Level"));
  tag_ = new QLineEdit(this);
  tag_->setMaxLength(kTagLength);
  tag_->setAccessibleName(tr("Tag"));

  auto* group = new QGroupBox(tr("Tags for /Say Command"), this);
  auto* form = new QFormLayout(group);
  form->addRow(tr("Level:"), level_);
  form->addRow(tr("Tag:"), tag_);

  auto* buttons = new QDialogButtonBox(this);
  save_ = buttons->addButton(tr("Save"), QDialogButtonBox::ActionRole);
  QPushButton* done = buttons->addButton(tr("Done"), QDialogButtonBox::AcceptRole);
  done->setDefault(true);
  connect(save_, &QPushButton::clicked, this, &TagsDialog::save);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addWidget(buttons);

  connect(level_, &QSpinBox::valueChanged, this, &TagsDialog::showTag);
  showTag(level_->value());
}

void TagsDialog::showTag(int level) { tag_->setText(FromWire(ReadSayTag(bot_ini_, level))); }

void TagsDialog::save() {
  WriteSayTag(bot_ini_, level_->text().toStdString(), ToWire(tag_->text(), kTagLength));
}

}  // namespace tolvik::ui
