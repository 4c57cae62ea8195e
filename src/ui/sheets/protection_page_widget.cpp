#include "ui/sheets/protection_page_widget.h"

#include <algorithm>

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

QSpinBox* Spin(QWidget* parent, const char* name, int lo, int hi, int value) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QString::fromLatin1(name));
  spin->setRange(lo, hi);
  spin->setValue(value);
  return spin;
}

}  // namespace

ProtectionPageWidget::ProtectionPageWidget(const std::string& botIni, const std::string& rulesPath, QWidget* parent)
    : SheetPage(parent), page_(botIni, rulesPath) {
  const ProtectionSettings& s = page_.settings();
  flood_ = new QCheckBox(tr("Flood: more than"), this);
  repeat_ = new QCheckBox(tr("Repeats: the same line"), this);
  rules_on_ = new QCheckBox(tr("Rules of protect.lst"), this);
  flood_->setChecked(s.flood);
  repeat_->setChecked(s.repeat);
  rules_on_->setChecked(s.rules);
  flood_lines_ = Spin(this, "floodLines", 1, 100, s.floodLines);
  flood_seconds_ = Spin(this, "floodSeconds", 1, 3600, s.floodSeconds);
  repeat_lines_ = Spin(this, "repeatLines", 2, 100, s.repeatLines);
  protected_level_ = Spin(this, "protectedLevel", 1, 10, s.protectedLevel);
  ban_minutes_ = Spin(this, "banMinutes", 1, 525600, s.banMinutes);

  list_ = new QListWidget(this);
  pattern_ = new QLineEdit(this);
  action_ = new QLineEdit(this);
  reason_ = new QLineEdit(this);
  add_ = new QPushButton(tr("&Add"), this);
  edit_ = new QPushButton(tr("&Edit"), this);
  remove_ = new QPushButton(tr("&Remove"), this);
  test_ = new QLineEdit(this);
  test_result_ = new QLabel(this);
  pattern_->setPlaceholderText(tr("*cheap minerals*  or  /regex/i"));
  action_->setPlaceholderText(tr("warn, kick, ban or tempban:MINUTES"));
  test_->setPlaceholderText(tr("type a line to see which rule it hits"));

  auto* flood_row = new QHBoxLayout;
  flood_row->addWidget(flood_);
  flood_row->addWidget(flood_lines_);
  flood_row->addWidget(new QLabel(tr("lines in"), this));
  flood_row->addWidget(flood_seconds_);
  flood_row->addWidget(new QLabel(tr("seconds"), this));
  flood_row->addStretch();
  auto* repeat_row = new QHBoxLayout;
  repeat_row->addWidget(repeat_);
  repeat_row->addWidget(repeat_lines_);
  repeat_row->addWidget(new QLabel(tr("times within a minute"), this));
  repeat_row->addStretch();
  auto* numbers = new QFormLayout;
  numbers->addRow(tr("Protected level:"), protected_level_);
  numbers->addRow(tr("Timed ban (minutes):"), ban_minutes_);
  auto* fields = new QFormLayout;
  fields->addRow(tr("Pattern:"), pattern_);
  fields->addRow(tr("Action:"), action_);
  fields->addRow(tr("Reason:"), reason_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add_);
  buttons->addWidget(edit_);
  buttons->addWidget(remove_);
  buttons->addStretch();
  auto* test_row = new QFormLayout;
  test_row->addRow(tr("Test:"), test_);
  test_row->addRow(QString(), test_result_);

  auto* layout = new QVBoxLayout;
  layout->addLayout(flood_row);
  layout->addLayout(repeat_row);
  layout->addLayout(numbers);
  layout->addWidget(rules_on_);
  layout->addWidget(list_);
  layout->addLayout(fields);
  layout->addLayout(buttons);
  layout->addLayout(test_row);
  setContent(layout);

  for (QCheckBox* box : {flood_, repeat_, rules_on_}) connect(box, &QCheckBox::toggled, this, &SheetPage::changed);
  for (QSpinBox* spin : {flood_lines_, flood_seconds_, repeat_lines_, protected_level_, ban_minutes_})
    connect(spin, &QSpinBox::valueChanged, this, &SheetPage::changed);
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row < 0 || row >= static_cast<int>(page_.rules().size())) return;
    const ProtectRule& rule = page_.rules()[static_cast<size_t>(row)];
    pattern_->setText(FromWire(rule.pattern));
    action_->setText(QString::fromStdString(rule.ActionText()));
    reason_->setText(FromWire(rule.reason));
  });
  connect(add_, &QPushButton::clicked, this, [this] {
    if (!report(page_.AddRule(ToWire(pattern_->text()), ToWire(action_->text()), ToWire(reason_->text())))) return;
    showRules(static_cast<int>(page_.rules().size()) - 1);
    emit changed();
  });
  connect(edit_, &QPushButton::clicked, this, [this] {
    const int row = list_->currentRow();
    if (!report(page_.EditRule(row < 0 ? page_.rules().size() : static_cast<size_t>(row), ToWire(pattern_->text()),
                               ToWire(action_->text()), ToWire(reason_->text()))))
      return;
    showRules(row);
    emit changed();
  });
  connect(remove_, &QPushButton::clicked, this, [this] {
    const int row = list_->currentRow();
    if (row < 0) return;
    page_.RemoveRule(static_cast<size_t>(row));
    showRules(std::min(row, static_cast<int>(page_.rules().size()) - 1));
    emit changed();
  });
  connect(test_, &QLineEdit::textChanged, this, &ProtectionPageWidget::showTest);
  pressOnEnter(pattern_, add_);
  showRules(-1);
}

void ProtectionPageWidget::showRules(int select) {
  list_->clear();
  for (const ProtectRule& rule : page_.rules()) {
    QString text = FromWire(rule.pattern) + QStringLiteral("  \u2192  ") + QString::fromStdString(rule.ActionText());
    if (!rule.reason.empty()) text += QStringLiteral("  (") + FromWire(rule.reason) + QStringLiteral(")");
    list_->addItem(text);
  }
  if (select >= 0) list_->setCurrentRow(select);
  showTest();
}

void ProtectionPageWidget::showTest() {
  test_result_->setText(test_->text().isEmpty() ? QString()
                                                : QString::fromStdString(page_.TestLine(ToWire(test_->text()))));
}

bool ProtectionPageWidget::save() {
  ProtectionSettings& s = page_.settings();
  s.flood = flood_->isChecked();
  s.repeat = repeat_->isChecked();
  s.rules = rules_on_->isChecked();
  s.floodLines = flood_lines_->value();
  s.floodSeconds = flood_seconds_->value();
  s.repeatLines = repeat_lines_->value();
  s.protectedLevel = protected_level_->value();
  s.banMinutes = ban_minutes_->value();
  return report(page_.Apply());
}

}  // namespace tolvik::ui
