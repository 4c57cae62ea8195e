// tolvik: the desktop program.
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "ui/main_window.h"
#include "ui/stop_signals.h"

namespace {

constexpr char kVersion[] = TOLVIK_VERSION;

// The program's own settings, apart from the working directory's files.
void WriteVersion() {
  QSettings settings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                     QCoreApplication::applicationName());
  settings.setValue(QStringLiteral("Version"), QString::fromLatin1(kVersion));
}

void SetNames() {
  QCoreApplication::setOrganizationName(QStringLiteral("Tolvik"));
  QCoreApplication::setApplicationName(QStringLiteral("Tolvik"));
  // --version prints this after the program's name.
  QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersion) + QStringLiteral(
      "\nCopyright (C) 2026 The Tolvik developers\n"
      "License GPL-3.0-or-later: GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl-3.0.html>\n"
      "This is free software: you are free to change and redistribute it.\n"
      "There is NO WARRANTY, to the extent permitted by law.\n"
      "Project: " TOLVIK_HOMEPAGE));
}

// --help and --version answer without a display.
bool AsksForInformationOnly(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    for (const char* option : {"-h", "--help", "--help-all", "-v", "--version"})
      if (std::strcmp(argv[i], option) == 0) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Runs the Tolvik chat bot in a window, in DIR (default: the current directory),\n"
      "where it keeps Bot.ini, script.ini, users.lst, autoban.lst and its alias database."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption dir_option(QStringLiteral("dir"), QStringLiteral("Working directory."),
                                      QStringLiteral("DIR"), QStringLiteral("."));
  parser.addOption(dir_option);
  if (AsksForInformationOnly(argc, argv)) {
    QCoreApplication info(argc, argv);
    SetNames();
    parser.process(info);  // prints and exits
    return 0;
  }

  QApplication app(argc, argv);
  SetNames();
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tolvik.Tolvik"));
  parser.process(app);
  if (!parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "tolvik: unknown argument '%s'\n", qPrintable(parser.positionalArguments().first()));
    return 2;
  }

  const std::string dir = parser.value(dir_option).toStdString();
  std::error_code ec;
  std::filesystem::path work = std::filesystem::absolute(dir, ec).lexically_normal();
  if (work.has_relative_path() && !work.has_filename()) work = work.parent_path();  // no trailing '/'
  if (ec || !std::filesystem::is_directory(work)) {
    std::fprintf(stderr, "tolvik: '%s' is not a directory\n", dir.c_str());
    return 2;
  }
  if (::chdir(work.c_str()) != 0) {
    std::perror("tolvik: chdir");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  WriteVersion();

  tolvik::ui::MainWindow window(work.string());
  // Ctrl+C and SIGTERM close the window like its close button: the close sequence runs.
  tolvik::ui::StopSignals stop_signals;
  QObject::connect(&stop_signals, &tolvik::ui::StopSignals::stopRequested, &window, &QWidget::close);
  QObject::connect(&window, &tolvik::ui::MainWindow::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
  window.show();
  window.start();
  return QApplication::exec();
}
