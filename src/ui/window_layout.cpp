#include "ui/window_layout.h"

#include <QFileInfo>
#include <QMainWindow>
#include <algorithm>
#include <utility>
#include <vector>

#include "ui/program_settings.h"

namespace tolvik::ui {
namespace {

// Raised whenever the docks change in a way an old layout would not fit.
constexpr int kLayoutVersion = 1;

const QString kProfiles = QStringLiteral("Profiles");
const QString kPath = QStringLiteral("Path");
const QString kUsed = QStringLiteral("Used");

// Drops the layouts of directories that are gone, then all but the
// kRememberedDirectories most recently used. A group written before groups
// named their directory counts as the oldest.
void ForgetOldDirectories(QSettings& settings) {
  settings.beginGroup(kProfiles);
  std::vector<std::pair<qlonglong, QString>> kept;
  for (const QString& group : settings.childGroups()) {
    const QString path = settings.value(group + QLatin1Char('/') + kPath).toString();
    if (!path.isEmpty() && !QFileInfo(path).isDir()) {
      settings.remove(group);
      continue;
    }
    kept.emplace_back(settings.value(group + QLatin1Char('/') + kUsed).toLongLong(), group);
  }
  if (kept.size() > static_cast<size_t>(kRememberedDirectories)) {
    std::sort(kept.begin(), kept.end());
    for (size_t i = 0; i < kept.size() - kRememberedDirectories; ++i) settings.remove(kept[i].second);
  }
  settings.endGroup();
}

// One more than the latest use of any directory: the order of use, whatever the clock says.
qlonglong NextUse(QSettings& settings) {
  settings.beginGroup(kProfiles);
  qlonglong latest = 0;
  for (const QString& group : settings.childGroups())
    latest = std::max(latest, settings.value(group + QLatin1Char('/') + kUsed).toLongLong());
  settings.endGroup();
  return latest + 1;
}

}  // namespace

void SaveWindowLayout(const QMainWindow& window, const std::string& workingDir) {
  const std::unique_ptr<QSettings> settings = OpenProgramSettings();
  const qlonglong use = NextUse(*settings);
  settings->beginGroup(ProfileGroup(workingDir));
  settings->setValue(QStringLiteral("Geometry"), window.saveGeometry());
  settings->setValue(QStringLiteral("Layout"), window.saveState(kLayoutVersion));
  settings->setValue(kPath, QString::fromStdString(workingDir));
  settings->setValue(kUsed, use);
  settings->endGroup();
  ForgetOldDirectories(*settings);
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
