#include "ui/sheets/access_page_widget.h"

#include <algorithm>

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialogs/tags_dialog.h"
#include "ui/sheets/spin_edit.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

constexpr int kLevelFieldLength = 6;

}  // namespace

AccessPageWidget::AccessPageWidget(const std::string& workingDir, QWidget* parent)
    : SheetPage(parent),
      page_(workingDir),
      command_(new QComboBox(this)),
      command_level_(new SpinEdit(this)),
      save_(new QPushButton(tr("Save"), this)),
      user_(new QComboBox(this)),
      user_level_(new SpinEdit(this)),
      add_save_(new QPushButton(tr("Add/Save"), this)),
      delete_(new QPushButton(tr("Delete"), this)),
      edit_tags_(new QPushButton(tr("Edit Tags"), this)) {
  command_->setObjectName(QStringLiteral("command"));
  command_level_->setObjectName(QStringLiteral("commandLevel"));
  user_->setObjectName(QStringLiteral("userName"));
  user_level_->setObjectName(QStringLiteral("userLevel"));
  // A command without a key shows that everybody may use it.
  const QString open_level = FromWire(std::string(AccessPage::kMissingCommandLevelText));
  command_level_->setMaxLength(std::max(kLevelFieldLength, static_cast<int>(open_level.size())));
  command_level_->setWidestText(open_level);
  user_level_->setMaxLength(kLevelFieldLength);
  user_->setEditable(true);
  // Names are matched whole, so no completion fills in a longer one.
  user_->setCompleter(nullptr);
  user_->setInsertPolicy(QComboBox::NoInsert);
  user_->lineEdit()->setMaxLength(static_cast<int>(AccessPage::kUserNameLimit));
  connect(edit_tags_, &QPushButton::clicked, this, [this, botIni = workingDir + "/Bot.ini"] {
    TagsDialog(botIni, this).exec();
  });

  auto* commands = new QGroupBox(tr("Select Command Levels"), this);
  auto* command_form = new QFormLayout;
  command_form->addRow(tr("Command:"), command_);
  auto* command_row = new QHBoxLayout;
  command_row->addWidget(command_level_);
  command_row->addWidget(save_);
  command_row->addStretch();
  command_form->addRow(tr("Level Required:"), command_row);
  commands->setLayout(command_form);

  auto* users = new QGroupBox(tr("Add User/Modify Level"), this);
  auto* user_form = new QFormLayout;
  user_form->addRow(tr("User Name:"), user_);
  user_form->addRow(tr("Access Level:"), user_level_);
  auto* user_buttons = new QHBoxLayout;
  user_buttons->addWidget(add_save_);
  user_buttons->addWidget(delete_);
  user_buttons->addStretch();
  user_buttons->addWidget(edit_tags_);
  user_form->addRow(user_buttons);
  users->setLayout(user_form);

  auto* content = new QVBoxLayout;
  content->addWidget(commands);
  content->addWidget(users);
  setContent(content);

  // Command levels.
  connect(command_, &QComboBox::currentIndexChanged, this, [this](int index) {
    page_.ChooseCommand(index);
    showPage();
  });
  connect(command_level_, &SpinEdit::stepped, this, [this](int steps) {
    page_.StepCommandLevel(steps);
    showPage();
  });
  connect(command_level_, &SpinEdit::textEdited, this, [this](const QString& text) {
    page_.SetCommandLevelText(ToWire(text));
    showPage();
  });
  connect(save_, &QPushButton::clicked, this, [this] {
    if (report(page_.SaveCommandLevel())) emit changed();
    showPage();
  });

  // Users.
  connect(user_, &QComboBox::activated, this, [this](int index) {
    page_.ChooseUser(index);
    showPage();
  });
  connect(user_->lineEdit(), &QLineEdit::textEdited, this, &AccessPageWidget::typeUserName);
  connect(user_level_, &SpinEdit::stepped, this, [this](int steps) {
    page_.StepUserLevel(steps);
    showPage();
  });
  connect(user_level_, &SpinEdit::textEdited, this, [this](const QString& text) {
    page_.SetUserLevelText(ToWire(text));
    showPage();
  });
  connect(add_save_, &QPushButton::clicked, this, [this] {
    if (report(page_.AddOrSaveUser())) emit changed();
    showPage();
  });
  connect(delete_, &QPushButton::clicked, this, [this] {
    if (report(page_.DeleteUser())) emit changed();
    showPage();
  });

  page_.Init();
  showPage();
}

void AccessPageWidget::typeUserName(const QString& text) {
  // A listed name is selected but not highlighted, so typing on makes a
  // longer name instead of replacing it.
  page_.TypeUserName(ToWire(text, AccessPage::kUserNameLimit));
  showPage();
}

void AccessPageWidget::showPage() {
  std::vector<std::string> commands = page_.commands();
  int chosen = -1;
  for (size_t i = 0; i < commands.size(); ++i)
    if (commands[i] == page_.chosenCommand()) chosen = static_cast<int>(i);
  SyncCombo(command_, commands, chosen);
  command_level_->setText(FromWire(page_.commandLevelText()));
  save_->setEnabled(page_.saveEnabled());

  SyncCombo(user_, page_.users(), page_.selectedUser(), page_.userNameText());
  user_level_->setText(FromWire(page_.userLevelText()));
  add_save_->setEnabled(page_.addSaveEnabled());
  delete_->setEnabled(page_.deleteEnabled());
}

}  // namespace tolvik::ui
