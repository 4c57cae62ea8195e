#pragma once
// The window's geometry and its docks' and toolbar's layout (shown, hidden,
// floating, sizes), kept per working directory in the program's settings.
#include <string>

class QMainWindow;

namespace tolvik::ui {

// The layouts of at most this many directories are kept, the most recently used.
inline constexpr int kRememberedDirectories = 50;

// Also forgets the layouts of directories that no longer exist, and of all
// but the kRememberedDirectories most recently used.
void SaveWindowLayout(const QMainWindow& window, const std::string& workingDir);
// False when nothing was saved for `workingDir` (or it no longer fits this
// program's docks): the caller places the window itself.
bool RestoreWindowLayout(QMainWindow& window, const std::string& workingDir);

}  // namespace tolvik::ui
