#include "ui/demo_channel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace tolvik::ui {
namespace {

constexpr char kProgramName[] = "tolvik-demo-gateway";
constexpr int kStopWaitMs = 3000;

QString& ChosenProgram() {
  static QString path;
  return path;
}

bool IsProgram(const QString& path) {
  const QFileInfo info(path);
  return info.isFile() && info.isExecutable();
}

}  // namespace

void DemoChannel::setProgram(const QString& path) { ChosenProgram() = path; }

QString DemoChannel::program() {
  if (!ChosenProgram().isEmpty()) return ChosenProgram();
  const QDir dir(QCoreApplication::applicationDirPath());
  const QString beside = dir.filePath(QString::fromLatin1(kProgramName));
  if (IsProgram(beside)) return beside;
#ifdef TOLVIK_DEMO_GATEWAY_FROM_BINDIR
  const QString relative = QDir::cleanPath(dir.filePath(QStringLiteral(TOLVIK_DEMO_GATEWAY_FROM_BINDIR)));
  if (IsProgram(relative)) return relative;
#endif
#ifdef TOLVIK_DEMO_GATEWAY_INSTALLED
  if (IsProgram(QStringLiteral(TOLVIK_DEMO_GATEWAY_INSTALLED))) return QStringLiteral(TOLVIK_DEMO_GATEWAY_INSTALLED);
#endif
  return {};
}

DemoChannel::DemoChannel(QObject* parent) : QObject(parent) {}

DemoChannel::~DemoChannel() {
  if (!running()) return;
  process_->disconnect(this);
  process_->terminate();  // SIGTERM: the gateway's own way out
  if (!process_->waitForFinished(kStopWaitMs)) {
    process_->kill();
    process_->waitForFinished(kStopWaitMs);
  }
}

bool DemoChannel::running() const { return process_ && process_->state() != QProcess::NotRunning; }

void DemoChannel::start() {
  if (running()) return;
  const QString path = program();
  if (path.isEmpty()) {
    emit failed(tr("%1 is not installed").arg(QString::fromLatin1(kProgramName)));
    return;
  }
  delete process_;
  process_ = new QProcess(this);
  output_.clear();
  listening_ = false;
  // Its standard error (the lines it plays) is of no use here.
  process_->setStandardErrorFile(QProcess::nullDevice());
  connect(process_, &QProcess::readyReadStandardOutput, this, &DemoChannel::readOutput);
  connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) emit failed(process_->errorString());
  });
  connect(process_, &QProcess::finished, this, [this](int status, QProcess::ExitStatus) {
    if (listening_)
      emit ended();
    else
      emit failed(tr("the demo gateway ended at once (status %1)").arg(status));
  });
  // Port 0: a free port, which the gateway names once it listens.
  process_->start(path, {QStringLiteral("--port"), QStringLiteral("0")});
}

void DemoChannel::readOutput() {
  output_ += process_->readAllStandardOutput();
  if (listening_) return;
  static const QRegularExpression listening(QStringLiteral("listening on (127\\.0\\.0\\.1:\\d+)"));
  const QRegularExpressionMatch match = listening.match(QString::fromLatin1(output_));
  if (!match.hasMatch()) return;
  listening_ = true;
  emit ready(match.captured(1));
}

}  // namespace tolvik::ui
