#pragma once
// The title of the program's windows: "Tolvik Version 1.0", and after a
// dash what the window shows ("Tolvik Version 1.0 - default").
#include <QString>

namespace tolvik::ui {

QString VersionTitle();
QString WindowTitle(const QString& shown);

}  // namespace tolvik::ui
