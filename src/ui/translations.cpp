#include "ui/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tolvik::ui {

bool InstallTranslators(QCoreApplication& app) {
  const QLocale locale;
  auto* qt = new QTranslator(&app);
  if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
               QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(qt);
  auto* own = new QTranslator(&app);
  for (const QString& dir : {QCoreApplication::applicationDirPath() + QStringLiteral("/../share/tolvik/translations"),
                             QCoreApplication::applicationDirPath() + QStringLiteral("/translations")}) {
    if (own->load(locale, QStringLiteral("tolvik"), QStringLiteral("_"), dir)) {
      QCoreApplication::installTranslator(own);
      return true;
    }
  }
  delete own;
  return false;
}

}  // namespace tolvik::ui
