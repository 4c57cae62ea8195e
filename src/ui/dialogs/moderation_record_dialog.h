#pragma once
// View > "Moderation Record": the record of kicks, bans, unbans, timed bans
// and warnings in a table, newest first, with a filter by user and by action.
// One per program, modeless; "Refresh" reads the files again.
#include <QAbstractTableModel>
#include <QDialog>

#include "app/moderation_record_view.h"

class QComboBox;
class QLineEdit;
class QTableView;

namespace tolvik::ui {

class ModerationRecordModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { Time, Actor, Action, Target, Reason, Result, ColumnCount };

  explicit ModerationRecordModel(std::string dir, QObject* parent = nullptr);

  void reload();
  void setUser(const QString& part);
  void setAction(const QString& action);
  const ModerationRecordView& view() const { return view_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  ModerationRecordView view_;
};

class ModerationRecordDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ModerationRecordDialog(const std::string& dir, QWidget* parent = nullptr);

  // The window of `parent`, made and shown when there is none, else read again and brought to the front.
  static ModerationRecordDialog* open(const std::string& dir, QWidget* parent);

  ModerationRecordModel* model() const { return model_; }
  QTableView* table() const { return table_; }
  QLineEdit* userFilter() const { return user_; }
  QComboBox* actionFilter() const { return action_; }

 private:
  ModerationRecordModel* model_;
  QTableView* table_;
  QLineEdit* user_;
  QComboBox* action_;
};

}  // namespace tolvik::ui
