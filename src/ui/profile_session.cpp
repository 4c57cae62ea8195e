#include "ui/profile_session.h"

#include <unistd.h>

#include <QMessageBox>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "face/local_faces.h"
#include "storage/instance_lock.h"
#include "ui/face/face_window.h"
#include "ui/main_window.h"
#include "ui/stop_signals.h"

namespace tolvik::ui {

QString ShownName(const WorkingDirectory& dir) {
  return QString::fromStdString(dir.profile.empty() ? dir.path : dir.profile);
}

ProfileSession::ProfileSession(QObject* parent) : QObject(parent) {
  report_ = [](const QString& message) {
    std::fprintf(stderr, "tolvik: %s\n", qPrintable(message));
    QMessageBox::critical(nullptr, QStringLiteral("Tolvik"), message);
  };
  offer_attach_ = [](const QString& message) {
    return QMessageBox::question(nullptr, QStringLiteral("Tolvik"),
                                 message + tr("\n\nAttach to the running bot instead?")) == QMessageBox::Yes;
  };
}

// The window goes (with its close sequence, when it has not run) before the lock.
ProfileSession::~ProfileSession() {
  face_.reset();
  window_.reset();
}

bool ProfileSession::open(const WorkingDirectory& dir) {
  auto lock = std::make_unique<InstanceLock>();
  if (!lock->Acquire(dir.path)) {
    const QString message = QString::fromStdString(lock->Message());
    // A bot that faces may attach to listens beside its lock.
    if (::access(FaceSocketPath(dir.path).c_str(), F_OK) == 0 && offer_attach_(message)) {
      attach(dir);
      return true;
    }
    report_(message);
    return false;
  }
  // Scripts name their files relative to the working directory.
  if (::chdir(dir.path.c_str()) != 0) {
    report_(tr("Cannot use %1: %2").arg(QString::fromStdString(dir.path), QString::fromLocal8Bit(std::strerror(errno))));
    return false;
  }
  lock_ = std::move(lock);
  dir_ = dir;
  openWindow();
  return true;
}

void ProfileSession::openWindow() {
  window_ = std::make_unique<MainWindow>(dir_.path);
  MainWindow* window = window_.get();
  window->showProfile(ShownName(dir_), dir_.profile);
  connect(window, &MainWindow::closed, this, [this] {
    if (!switching_) emit finished();
  });
  // Queued: the switch replaces the window whose menu asked for it.
  connect(window, &MainWindow::profileChosen, this,
          [this](const std::string& profile) { switchToProfile(profile); }, Qt::QueuedConnection);
  window->show();
  // Started from the event loop, so a dialog the start opens (a missing login
  // value) runs inside it and a stop signal reaches it.
  QTimer::singleShot(0, window, &MainWindow::start);
}

void ProfileSession::attach(const WorkingDirectory& dir) {
  dir_ = dir;
  attach(FaceTarget::Local(dir));
}

void ProfileSession::attach(FaceTarget target) {
  face_ = std::make_unique<FaceWindow>(std::move(target));
  FaceWindow* face = face_.get();
  connect(face, &FaceWindow::closed, this, [this] {
    if (!switching_) emit finished();
  });
  connect(face, &FaceWindow::attachChosen, this, [this](const WorkingDirectory& next) {
    // Queued: the window whose menu asked goes first.
    QTimer::singleShot(0, this, [this, next] {
      switching_ = true;
      if (face_) face_->close();
      face_.reset();
      switching_ = false;
      attach(next);
    });
  });
  face->show();
  QTimer::singleShot(0, face, &FaceWindow::start);
}

bool ProfileSession::switchToProfile(const std::string& profile) {
  const WorkingDirectory next = ResolveWorkingDirectory("", profile);
  if (!next.error.empty()) {
    report_(QString::fromStdString(next.error));
    return false;
  }
  if (next.path == dir_.path) return true;
  auto lock = std::make_unique<InstanceLock>();
  if (!lock->Acquire(next.path)) {
    report_(QString::fromStdString(lock->Message()));
    return false;
  }
  if (::chdir(next.path.c_str()) != 0) {
    report_(tr("Cannot use %1: %2").arg(QString::fromStdString(next.path), QString::fromLocal8Bit(std::strerror(errno))));
    return false;
  }
  switching_ = true;
  if (window_) window_->close();  // the close sequence: leave line, connection closed
  window_.reset();
  switching_ = false;
  lock_ = std::move(lock);  // the old directory's lock goes with the old lock object
  dir_ = next;
  openWindow();
  return true;
}

void ProfileSession::installStopSignals() {
  if (stop_signals_) return;
  stop_signals_ = new StopSignals(this);
  connect(stop_signals_, &StopSignals::stopRequested, this, &ProfileSession::stop);
}

void ProfileSession::stop() {
  CloseOpenDialogs();
  if (window_)
    window_->close();  // hidden in the notification area too: the close sequence runs
  else if (face_)
    face_->close();
  else
    emit finished();
}

}  // namespace tolvik::ui
