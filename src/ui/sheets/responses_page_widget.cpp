#include "ui/sheets/responses_page_widget.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <string_view>

#include "settings/config.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

QComboBox* EditableBox(QWidget* parent, const char* name) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setEditable(true);
  // Names and phrases are matched whole, so no completion fills in a longer one.
  box->setCompleter(nullptr);
  box->setInsertPolicy(QComboBox::NoInsert);
  return box;
}

}  // namespace

ResponsesPageWidget::ResponsesPageWidget(const std::string& botIni, ChatBot* bot, QWidget* parent)
    : SheetPage(parent),
      page_(botIni, bot),
      type_(new QComboBox(this)),
      name_(EditableBox(this, "name")),
      phrase_(EditableBox(this, "phrase")),
      response_(new QLineEdit(this)),
      save_(new QPushButton(tr("Save"), this)),
      delete_(new QPushButton(tr("Del"), this)),
      exit_line_(new QLabel(this)),
      bot_ini_(botIni) {
  exit_line_->setObjectName(QStringLiteral("exitLine"));
  exit_line_->setWordWrap(true);
  exit_line_->setTextFormat(Qt::PlainText);
  type_->setObjectName(QStringLiteral("messageType"));
  response_->setObjectName(QStringLiteral("response"));
  for (const ResponsesPage::MessageType& type : ResponsesPage::kTypes) type_->addItem(QString::fromLatin1(type.label));
  type_->setCurrentIndex(-1);
  name_->lineEdit()->setMaxLength(static_cast<int>(ResponsesPage::kNameLimit));

  auto* form = new QFormLayout;
  form->addRow(tr("Message Type:"), type_);
  form->addRow(tr("Name to respond to:"), name_);
  form->addRow(tr("Phrase to respond to:"), phrase_);
  form->addRow(tr("Response:"), response_);
  form->addRow(exit_line_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(save_);
  buttons->addWidget(delete_);
  form->addRow(buttons);
  setContent(form);

  connect(type_, &QComboBox::currentIndexChanged, this, [this](int index) {
    page_.ChooseType(index);
    showPage();
  });
  connect(name_, &QComboBox::activated, this, [this](int index) {
    page_.ChooseName(index);
    showPage();
  });
  connect(name_->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
    page_.TypeName(ToWire(text, ResponsesPage::kNameLimit));
    showPage();
  });
  connect(phrase_, &QComboBox::activated, this, [this](int index) {
    page_.ChoosePhrase(index);
    showPage();
  });
  connect(phrase_->lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
    page_.TypePhrase(ToWire(text));
    showPage();
  });
  connect(response_, &QLineEdit::textEdited, this, [this](const QString& text) {
    page_.SetResponseText(ToWire(text));
    showPage();
  });
  connect(save_, &QPushButton::clicked, this, [this] {
    report(page_.Save());
    showPage();
  });
  connect(delete_, &QPushButton::clicked, this, [this] {
    report(page_.Delete());
    showPage();
  });
  showPage();
}

void ResponsesPageWidget::showPage() {
  if (type_->currentIndex() != page_.selectedType()) {
    const QSignalBlocker block(type_);
    type_->setCurrentIndex(page_.selectedType());
  }
  SyncCombo(name_, page_.names(), page_.selectedName(), page_.nameText());
  SyncCombo(phrase_, page_.phrases(), page_.selectedPhrase(), page_.phraseText());
  name_->setEnabled(page_.nameEnabled());
  phrase_->setEnabled(page_.phraseEnabled());
  response_->setEnabled(page_.selectedType() >= 0);
  if (response_->text() != FromWire(page_.responseText())) response_->setText(FromWire(page_.responseText()));
  save_->setEnabled(page_.saveEnabled());
  delete_->setEnabled(page_.deleteEnabled());
  showExitLine();
}

void ResponsesPageWidget::showExitLine() {
  const int selected = page_.selectedType();
  const char* key = selected >= 0 ? ResponsesPage::kTypes[static_cast<size_t>(selected)].key : nullptr;
  const bool exit_type = key != nullptr && std::string_view(key) == "Leave";
  exit_line_->setVisible(exit_type);
  if (!exit_type) return;
  const std::string stored = LoadLeaveMessageAtExit(bot_ini_);
  exit_line_->setText(IsUnset(stored) ? tr("Nothing is sent on exit: no message is saved.")
                                      : tr("Sent on exit: %1").arg(FromWire(AsOneLine(stored))));
}

}  // namespace tolvik::ui
