#include "ui/program_settings.h"

#include <QCoreApplication>
#include <QCryptographicHash>

namespace tolvik::ui {

std::unique_ptr<QSettings> OpenProgramSettings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                                     QCoreApplication::applicationName());
}

QString ProfileGroup(const std::string& workingDir) {
  // A path holds characters a settings key cannot; its digest names the group.
  const QByteArray digest =
      QCryptographicHash::hash(QByteArray::fromStdString(workingDir), QCryptographicHash::Sha1).toHex().left(16);
  return QStringLiteral("Profiles/") + QString::fromLatin1(digest);
}

}  // namespace tolvik::ui
