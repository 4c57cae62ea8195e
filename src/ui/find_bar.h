#pragma once
// Ctrl+F in the chat pane: a search field under the pane that selects the
// next or previous match (wrapping at the ends) and highlights every match.
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

namespace tolvik::ui {

class FindBar : public QWidget {
  Q_OBJECT

 public:
  explicit FindBar(QPlainTextEdit& pane, QWidget* parent = nullptr);

  QLineEdit* field() const { return field_; }
  // Matches of the current text in the pane (0 when the field is empty).
  int matchCount() const { return matches_; }

 public slots:
  // Shows the bar with its text selected, ready for typing.
  void open();
  // Hides the bar and takes the highlights away.
  void close();
  void findNext();
  void findPrevious();

 signals:
  // The bar closed: keyboard focus goes back where typing happens.
  void closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void find(bool backward);
  void highlightAll();

  QPlainTextEdit& pane_;
  QLineEdit* field_;
  QToolButton* previous_;
  QToolButton* next_;
  QLabel* status_;
  int matches_ = 0;
  bool was_at_end_ = false;  // the pane showed its last line when the bar opened
};

}  // namespace tolvik::ui
