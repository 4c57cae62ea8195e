#pragma once
// The program's own settings (QSettings, INI format, in the user's
// configuration directory), apart from the working directory's files.
#include <QSettings>
#include <QString>
#include <memory>
#include <string>

namespace tolvik::ui {

std::unique_ptr<QSettings> OpenProgramSettings();

// The settings group of one working directory: each profile keeps its own
// window layout.
QString ProfileGroup(const std::string& workingDir);

}  // namespace tolvik::ui
