#include "ui/dialogs/moderation_record_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/wire_text.h"

namespace tolvik::ui {

ModerationRecordModel::ModerationRecordModel(std::string dir, QObject* parent)
    : QAbstractTableModel(parent), view_(std::move(dir)) {
  view_.Reload();
}

void ModerationRecordModel::reload() {
  beginResetModel();
  view_.Reload();
  endResetModel();
}

void ModerationRecordModel::setUser(const QString& part) {
  beginResetModel();
  view_.SetUser(ToWire(part));
  endResetModel();
}

void ModerationRecordModel::setAction(const QString& action) {
  beginResetModel();
  view_.SetAction(action.toStdString());
  endResetModel();
}

int ModerationRecordModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(view_.rows().size());
}

int ModerationRecordModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant ModerationRecordModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  const ModerationEntry& e = view_.rows()[static_cast<size_t>(index.row())];
  switch (index.column()) {
    case Time: return QString::fromStdString(IsoUtc(e.time));
    case Actor: return FromWire(e.actor);
    case Action: return QString::fromStdString(e.action);
    case Target: return FromWire(e.target);
    case Reason: return FromWire(e.reason);
    case Result: return QString::fromStdString(e.result);
    default: return {};
  }
}

QVariant ModerationRecordModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  switch (section) {
    case Time: return tr("Time (UTC)");
    case Actor: return tr("By");
    case Action: return tr("Action");
    case Target: return tr("User");
    case Reason: return tr("Reason");
    case Result: return tr("Server");
    default: return {};
  }
}

ModerationRecordDialog::ModerationRecordDialog(const std::string& dir, QWidget* parent)
    : QDialog(parent),
      model_(new ModerationRecordModel(dir, this)),
      table_(new QTableView(this)),
      user_(new QLineEdit(this)),
      action_(new QComboBox(this)) {
  setWindowTitle(tr("Moderation Record"));
  user_->setObjectName(QStringLiteral("userFilter"));
  action_->setObjectName(QStringLiteral("actionFilter"));
  user_->setPlaceholderText(tr("any user"));
  user_->setClearButtonEnabled(true);
  for (const std::string& action : ModerationRecordView::Actions())
    action_->addItem(action.empty() ? tr("All") : QString::fromStdString(action), QString::fromStdString(action));
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->resizeColumnsToContents();
  table_->setMinimumSize(640, 320);

  auto* filters = new QFormLayout;
  filters->addRow(tr("&User:"), user_);
  filters->addRow(tr("&Action:"), action_);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* close = buttons->addButton(tr("Close"), QDialogButtonBox::RejectRole);
  QPushButton* refresh = buttons->addButton(tr("&Refresh"), QDialogButtonBox::ActionRole);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(refresh, &QPushButton::clicked, model_, &ModerationRecordModel::reload);
  connect(user_, &QLineEdit::textChanged, model_, &ModerationRecordModel::setUser);
  connect(action_, &QComboBox::currentIndexChanged, this,
          [this](int index) { model_->setAction(action_->itemData(index).toString()); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filters);
  layout->addWidget(table_);
  layout->addWidget(buttons);
}

ModerationRecordDialog* ModerationRecordDialog::open(const std::string& dir, QWidget* parent) {
  auto* dialog = parent->findChild<ModerationRecordDialog*>(QString(), Qt::FindDirectChildrenOnly);
  if (!dialog) {
    dialog = new ModerationRecordDialog(dir, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
  } else {
    dialog->model()->reload();
  }
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  return dialog;
}

}  // namespace tolvik::ui
