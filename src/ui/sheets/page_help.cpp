#include "ui/sheets/page_help.h"

#include "ui/dialogs/help_dialog.h"
#include "ui/wire_text.h"

namespace tolvik::ui {

void ShowPageHelp(QWidget* parent, std::string_view text) {
  HelpDialog::show(parent, QObject::tr("Help"), FromWire(text));
}

}  // namespace tolvik::ui
