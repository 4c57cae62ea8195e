#pragma once
// "Tags": edits the text the say command adds for each level (Bot.ini
// [Messages] "Say0", "Say1", ...).
#include <QDialog>
#include <string>

class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tolvik::ui {

class TagsDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kTagLength = 254;

  // The levels run from 0 to the highest "sayN" key of `botIni`.
  explicit TagsDialog(const std::string& botIni, QWidget* parent = nullptr);

  QSpinBox* levelBox() const { return level_; }
  QLineEdit* tagField() const { return tag_; }
  QPushButton* saveButton() const { return save_; }

  // "Save": the tag under "say" + the level.
  void save();

 private:
  void showTag(int level);

  std::string bot_ini_;
  QSpinBox* level_;
  QLineEdit* tag_;
  QPushButton* save_;
};

}  // namespace tolvik::ui
