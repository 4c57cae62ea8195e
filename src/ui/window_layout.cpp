#include "ui/window_layout.h"

#include <QMainWindow>

#include "ui/program_settings.h"

namespace tolvik::ui {
namespace {

// Raised whenever the docks change in a way an old layout would not fit.
constexpr int kLayoutVersion = 1;

}  // namespace

void SaveWindowLayout(const QMainWindow& window, const std::string& workingDir) {
  const std::unique_ptr<QSettings> settings = OpenProgramSettings();
  settings->beginGroup(ProfileGroup(workingDir));
  settings->setValue(QStringLiteral("Geometry"), window.saveGeometry());
  settings->setValue(QStringLiteral("Layout"), window.saveState(kLayoutVersion));
  settings->endGroup();
}

bool RestoreWindowLayout(QMainWindow& window, const std::string& workingDir) {
  const std::unique_ptr<QSettings> settings = OpenProgramSettings();
  settings->beginGroup(ProfileGroup(workingDir));
  const QByteArray geometry = settings->value(QStringLiteral("Geometry")).toByteArray();
  const QByteArray layout = settings->value(QStringLiteral("Layout")).toByteArray();
  settings->endGroup();
  if (geometry.isEmpty() || layout.isEmpty()) return false;
  // Geometry first: the docks' sizes are laid out in the restored frame.
  const bool placed = window.restoreGeometry(geometry);
  return window.restoreState(layout, kLayoutVersion) && placed;
}

}  // namespace tolvik::ui
