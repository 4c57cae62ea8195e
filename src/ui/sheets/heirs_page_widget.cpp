#include "ui/sheets/heirs_page_widget.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

#include "ui/wire_text.h"

namespace tolvik::ui {

HeirsPageWidget::HeirsPageWidget(HeirTable& heirs, QWidget* parent)
    : SheetPage(parent),
      page_(heirs),
      priority_(new QSpinBox(this)),
      current_(new QLineEdit(this)),
      new_name_(new QLineEdit(this)),
      replace_(new QRadioButton(tr("Replace Name"), this)),
      insert_(new QRadioButton(tr("Insert Name"), this)),
      add_(new QPushButton(tr("Add"), this)),
      delete_(new QPushButton(tr("Delete"), this)) {
  priority_->setObjectName(QStringLiteral("priority"));
  current_->setObjectName(QStringLiteral("currentName"));
  new_name_->setObjectName(QStringLiteral("newName"));
  priority_->setRange(HeirsPage::kMinPriority, HeirsPage::kMaxPriority);
  priority_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  priority_->setValue(page_.priority());
  current_->setReadOnly(true);
  new_name_->setMaxLength(static_cast<int>(HeirsPage::kNameLimit));
  insert_->setChecked(page_.mode() == HeirsPage::Mode::Insert);
  replace_->setChecked(page_.mode() == HeirsPage::Mode::Replace);

  auto* form = new QFormLayout;
  form->addRow(tr("Priority:"), priority_);
  form->addRow(tr("Current Name:"), current_);
  form->addRow(tr("New Name:"), new_name_);
  auto* modes = new QHBoxLayout;
  modes->addWidget(replace_);
  modes->addWidget(insert_);
  modes->addStretch();
  form->addRow(modes);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add_);
  buttons->addWidget(delete_);
  buttons->addStretch();
  form->addRow(buttons);
  setContent(form);
  pressOnEnter(new_name_, add_);

  connect(priority_, &QSpinBox::valueChanged, this, [this](int value) {
    report(page_.SetPriority(std::to_string(value)));
    showPage();
  });
  connect(replace_, &QRadioButton::toggled, this, [this](bool on) {
    page_.SetMode(on ? HeirsPage::Mode::Replace : HeirsPage::Mode::Insert);
  });
  connect(new_name_, &QLineEdit::textChanged, this, [this](const QString& text) {
    page_.SetNewName(ToWire(text, HeirsPage::kNameLimit));
    showPage();
  });
  connect(add_, &QPushButton::clicked, this, [this] {
    if (report(page_.Add())) emit changed();
    showPage();
  });
  connect(delete_, &QPushButton::clicked, this, [this] {
    page_.Delete();
    report(PageOutcome::Done());
    emit changed();
    showPage();
  });
  showPage();
}

void HeirsPageWidget::showPage() {
  current_->setText(FromWire(page_.currentName()));
  add_->setEnabled(!page_.newName().empty());
}

}  // namespace tolvik::ui
