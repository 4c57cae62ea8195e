#pragma once
// The program's strings are written in English; a translation for the
// user's locale, when one is installed, is loaded over them.
class QCoreApplication;

namespace tolvik::ui {

// Loads "tolvik_<locale>.qm" from the installed translations directory or
// beside the program, the Qt's own translations of its dialogs too; false
// when there is none for the locale (English stays).
bool InstallTranslators(QCoreApplication& app);

}  // namespace tolvik::ui
