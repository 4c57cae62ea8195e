#include "ui/sheets/page_help.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "ui/wire_text.h"

namespace tolvik::ui {

void ShowPageHelp(QWidget* parent, std::string_view text) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QObject::tr("Help"));
  auto* view = new QPlainTextEdit(&dialog);
  view->setReadOnly(true);
  view->setPlainText(FromWire(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(view);
  layout->addWidget(buttons);
  dialog.resize(440, 260);
  dialog.exec();
}

}  // namespace tolvik::ui
