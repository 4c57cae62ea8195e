#pragma once
// The desktop program's run in one working directory at a time: the
// directory's lock, the window on it, the switch to another profile, and the
// stop signals. Only one program may run in a directory; a second one is
// turned away with a message naming the directory and the other program,
// or, when that program is a bot that faces may attach to, offered to
// attach to it instead.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "storage/profile_dir.h"

namespace tolvik {
class InstanceLock;
}

namespace tolvik::ui {

class FaceWindow;
class MainWindow;
struct FaceTarget;
class StopSignals;

class ProfileSession : public QObject {
  Q_OBJECT

 public:
  // Shows why a directory cannot be opened (a message box unless replaced).
  using Report = std::function<void(const QString& message)>;

  explicit ProfileSession(QObject* parent = nullptr);
  ~ProfileSession() override;

  void setReport(Report report) { report_ = std::move(report); }
  // Asks whether to attach to the bot that holds a directory (a question box
  // unless replaced); true attaches.
  using OfferAttach = std::function<bool(const QString& message)>;
  void setOfferAttach(OfferAttach offer) { offer_attach_ = std::move(offer); }

  // Takes the directory's lock, makes it the current directory and opens the
  // window on it; the bot starts once the event loop runs. False (reported)
  // when another program holds the directory: then no file is touched.
  bool open(const WorkingDirectory& dir);

  // Opens a window attached to the bot running in `dir`; it tries until a
  // bot listens there. No lock is taken: the bot holds it.
  void attach(const WorkingDirectory& dir);
  // Opens a window attached to the bot `target` reaches (over the network).
  void attach(FaceTarget target);

  // File > Open Profile...: takes the other profile's lock, runs the close
  // sequence here, then opens the window there. False (reported) when the
  // profile cannot be opened; the bot then goes on where it is.
  bool switchToProfile(const std::string& profile);

  // SIGINT, SIGTERM and SIGHUP stop the program through stop().
  void installStopSignals();
  // Cancels any open dialog and closes the window with its close sequence.
  void stop();

  MainWindow* window() const { return window_.get(); }
  FaceWindow* faceWindow() const { return face_.get(); }
  const WorkingDirectory& directory() const { return dir_; }

 signals:
  // The window has closed for good: the program may end.
  void finished();

 private:
  void openWindow();

  Report report_;
  OfferAttach offer_attach_;
  WorkingDirectory dir_;
  std::unique_ptr<InstanceLock> lock_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<FaceWindow> face_;
  StopSignals* stop_signals_ = nullptr;
  bool switching_ = false;
};

// The title's name for a directory: its profile, or its path.
QString ShownName(const WorkingDirectory& dir);

}  // namespace tolvik::ui
