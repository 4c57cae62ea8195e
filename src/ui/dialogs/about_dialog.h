#pragma once
// "About Tolvik": the program's picture with a small animation, its version
// and the people it thanks.
#include <QDialog>

namespace tolvik::ui {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace tolvik::ui
