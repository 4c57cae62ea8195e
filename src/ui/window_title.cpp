#include "ui/window_title.h"

namespace tolvik::ui {

QString VersionTitle() { return QStringLiteral("Tolvik Version %1").arg(QStringLiteral(TOLVIK_VERSION)); }

QString WindowTitle(const QString& shown) {
  return VersionTitle() + QStringLiteral(" - ") + shown;
}

}  // namespace tolvik::ui
