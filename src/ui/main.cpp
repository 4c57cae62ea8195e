// tolvik: the desktop program.
#include <malloc.h>
#include <signal.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>
#include <QSettings>
#include <cstdio>

#include "storage/profile_dir.h"
#include "ui/face/face_window.h"
#include "ui/face/remote_target.h"
#include "ui/profile_session.h"
#include "ui/quiet_style.h"
#include "ui/translations.h"

namespace {

constexpr char kVersion[] = TOLVIK_VERSION;
constexpr int kUsageError = 2;
constexpr int kDirectoryTaken = 4;

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

// Qt's own options (-platform NAME, -style NAME, -reverse, ...) are taken by
// QApplication later; they are left out of the check of our own.
bool IsQtOption(const QString& argument, bool* takesValue) {
  static const QStringList with_value = {
      QStringLiteral("platform"), QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
      QStringLiteral("plugin"),   QStringLiteral("qwindowgeometry"),    QStringLiteral("geometry"),
      QStringLiteral("qwindowicon"), QStringLiteral("icon"),            QStringLiteral("qwindowtitle"),
      QStringLiteral("title"),    QStringLiteral("session"),            QStringLiteral("display"),
      QStringLiteral("name"),     QStringLiteral("style"),              QStringLiteral("stylesheet")};
  static const QStringList flags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                    QStringLiteral("nograb"), QStringLiteral("dograb"), QStringLiteral("sync")};
  if (!argument.startsWith(QLatin1Char('-'))) return false;
  QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
  const qsizetype equals = name.indexOf(QLatin1Char('='));
  if (equals >= 0) name.truncate(equals);
  *takesValue = equals < 0 && with_value.contains(name);
  return with_value.contains(name) || flags.contains(name);
}

QStringList Arguments(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) {
    const QString argument = QString::fromLocal8Bit(argv[i]);
    bool takes_value = false;
    if (i > 0 && IsQtOption(argument, &takes_value)) {
      if (takes_value) ++i;
      continue;
    }
    arguments << argument;
  }
  return arguments;
}

int UsageError(const QString& message) {
  std::fprintf(stderr, "tolvik: %s\nTry 'tolvik --help' for more information.\n", qPrintable(message));
  return kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
  // Blocks of 128 KiB and more get pages of their own, returned when freed.
  // Left to itself, glibc raises that bar to the largest block freed so far;
  // the chat pane's text and block tables grow by doubling, so after the
  // first large channel they would land in the main heap, which running for
  // months only fragments (about 0.8 MB more at the peak of a 1,000-user
  // join).
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Runs the Tolvik chat bot in a window. It keeps Bot.ini, script.ini, users.lst,\n"
      "autoban.lst and its alias database in its working directory: the profile's\n"
      "directory under $XDG_DATA_HOME/tolvik (~/.local/share/tolvik/default unless\n"
      "--profile names another), or DIR with --dir."));
  const QCommandLineOption help_option = parser.addHelpOption();
  // -V as in tolvik-cli; -v and --version as Qt programs have them.
  const QCommandLineOption version_option(QStringList{QStringLiteral("V"), QStringLiteral("v"), QStringLiteral("version")},
                                          QStringLiteral("Show the version and the licence and exit."));
  parser.addOption(version_option);
  const QCommandLineOption dir_option(QStringLiteral("dir"), QStringLiteral("Working directory (wins over --profile)."),
                                      QStringLiteral("DIR"));
  const QCommandLineOption profile_option(QStringLiteral("profile"),
                                          QStringLiteral("Profile to run (default: %1).").arg(tolvik::kDefaultProfile),
                                          QStringLiteral("NAME"));
  parser.addOption(dir_option);
  parser.addOption(profile_option);
  const QCommandLineOption attach_option(
      QStringLiteral("attach"),
      QStringLiteral("Attach to the bot already running in the profile or directory (a service, or tolvik-cli),\n"
                     "or to the bot at HOST:PORT over the network (tolvik --attach HOST:PORT);\n"
                     "closing the window leaves it running."));
  parser.addOption(attach_option);
  const QCommandLineOption password_file_option(
      QStringLiteral("face-password-file"),
      QStringLiteral("With --attach HOST:PORT: the face password is the first line of FILE (else it is asked)."),
      QStringLiteral("FILE"));
  const QCommandLineOption face_ca_option(
      QStringLiteral("face-ca"), QStringLiteral("With --attach HOST:PORT: trust bot certificates this CA signed."),
      QStringLiteral("FILE"));
  parser.addOption(password_file_option);
  parser.addOption(face_ca_option);

  // The arguments are checked before anything needs a display, so a bad one
  // is reported the same way with or without one.
  if (!parser.parse(Arguments(argc, argv))) return UsageError(parser.errorText());
  // --attach HOST:PORT: the one argument of its own the program takes.
  QStringList positional = parser.positionalArguments();
  QString endpoint;
  if (parser.isSet(attach_option) && !positional.isEmpty()) endpoint = positional.takeFirst();
  if (!positional.isEmpty()) return UsageError(QStringLiteral("unknown argument '%1'").arg(positional.first()));
  if (parser.isSet(help_option) || parser.isSet(version_option) ||
      parser.optionNames().contains(QStringLiteral("help-all"))) {
    QCoreApplication info(argc, argv);
    SetNames();
    if (parser.isSet(version_option)) {
      std::printf("tolvik %s\n", qPrintable(QCoreApplication::applicationVersion()));
      return 0;
    }
    parser.showHelp(0);
  }
  const tolvik::WorkingDirectory dir = tolvik::ResolveWorkingDirectory(
      parser.value(dir_option).toStdString(), parser.value(profile_option).toStdString());
  if (!dir.error.empty()) return UsageError(QString::fromStdString(dir.error));

  QApplication app(argc, argv);
  tolvik::ui::InstallQuietStyle();
  SetNames();
  tolvik::ui::InstallTranslators(app);
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tolvik.Tolvik"));
  signal(SIGPIPE, SIG_IGN);

  tolvik::ui::ProfileSession session;
  if (!endpoint.isEmpty()) {
    tolvik::ui::FaceTarget target;
    std::string error;
    const tolvik::ui::RemoteAttach remote{endpoint.toStdString(), parser.value(password_file_option).toStdString(),
                                          parser.value(face_ca_option).toStdString()};
    if (!tolvik::ui::OpenRemoteTarget(remote, nullptr, &target, &error)) {
      std::fprintf(stderr, "tolvik: %s\n", error.c_str());
      QMessageBox::critical(nullptr, QStringLiteral("Tolvik"), QString::fromStdString(error));
      return 1;
    }
    session.attach(std::move(target));
  } else if (parser.isSet(attach_option))
    session.attach(dir);
  else if (!session.open(dir))
    return kDirectoryTaken;
  WriteVersion();
  // Ctrl+C, SIGTERM and SIGHUP close any dialog and the window, with its close sequence.
  session.installStopSignals();
  QObject::connect(&session, &tolvik::ui::ProfileSession::finished, &app, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  return QApplication::exec();
}
