#include "ui/qt_host.h"

#include <poll.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>

#include "storage/atomic_file.h"
#include "app/document.h"
#include "ui/wire_text.h"

namespace tolvik::ui {
namespace {

// True when a read on `fd` would not wait.
bool HasInput(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR));
}

}  // namespace

QtHost::QtHost(QObject* parent) : QObject(parent) {
  // One timer for both: it is set to the document's next deadline before the
  // event loop sleeps, so the 110 ms work wakes the program only while it has
  // something to do.
  timer_ = new QTimer(this);
  timer_->setSingleShot(true);
  timer_->setTimerType(Qt::PreciseTimer);  // never early: an early shot finds nothing due
  connect(timer_, &QTimer::timeout, this, [this] {
    if (!doc_) return;
    armed_.reset();
    if (doc_->RunDueTimers(std::chrono::steady_clock::now())) emit fastTick();
    rearm();
  });
}

QtHost::~QtHost() { closing_.store(true); }

void QtHost::attach(CHaldenDoc& doc) {
  doc_ = &doc;
  doc_->StartTimers(std::chrono::steady_clock::now());
  if (auto* dispatcher = QAbstractEventDispatcher::instance(thread()))
    about_to_block_ = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &QtHost::rearm);
  rearm();
}

void QtHost::detach() {
  closing_.store(true);
  disconnect(about_to_block_);
  timer_->stop();
  armed_.reset();
  SocketChanged(-1);
  doc_ = nullptr;
}

void QtHost::rearm() {
  if (!doc_) return;
  const auto now = std::chrono::steady_clock::now();
  const auto due = doc_->NextTimerDue(now);
  if (armed_ && *armed_ == due && timer_->isActive()) return;
  armed_ = due;
  // Rounded up: a timer cut down to whole milliseconds would fire early and
  // find nothing due.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
  timer_->start(static_cast<int>(std::max<long long>(0, wait)));
}

void QtHost::PostToMain(std::function<void()> fn) {
  bool wake;
  {
    std::lock_guard<std::mutex> lock(posted_mutex_);
    wake = posted_.empty();
    posted_.push_back(std::move(fn));
  }
  // A queued call runs in this object's (the main) thread; it is dropped
  // when the host is gone first.
  if (wake) QMetaObject::invokeMethod(this, &QtHost::runPosted, Qt::QueuedConnection);
}

void QtHost::runPosted() {
  std::vector<std::function<void()>> run;
  {
    std::lock_guard<std::mutex> lock(posted_mutex_);
    run.swap(posted_);
  }
  for (auto& fn : run) fn();
}

void QtHost::SocketChanged(int fd) {
  if (notifier_) {
    // This may run inside the notifier's own signal: delete it later.
    notifier_->setEnabled(false);
    notifier_->deleteLater();
    notifier_ = nullptr;
  }
  if (fd < 0 || !doc_) return;
  notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QtHost::onSocketActivated);
}

void QtHost::onSocketActivated() {
  // A closed peer reads as the end of the stream; the document tells the two apart.
  // The lines of one wake-up come in a burst: each file is read once for them.
  ReadOnceScope once;
  emit readsStarted();
  // What is already waiting is read in the same wake-up, up to kReadsPerWake
  // reads, so a burst reaches the window in a few large parts rather than
  // one per read; the event loop still turns between them.
  for (int i = 0; i < kReadsPerWake && doc_; ++i) {
    QSocketNotifier* current = notifier_;
    doc_->OnSocketEvent(SocketEvent::Readable);
    if (!current || notifier_ != current || !HasInput(static_cast<int>(current->socket()))) break;
  }
  emit readsFinished();
}

void QtHost::StatusChanged(int state, const std::string& text) { emit statusChanged(state, FromWire(text)); }

bool QtHost::AskForLoginValue(const std::string& key, std::string& value) {
  if (!login_value_prompt_ || !doc_ || !login_value_prompt_()) return false;
  const LoginSettings& login = doc_->Login();
  // Any other key names the secret (a password or an API key).
  value = key == "Login" ? login.login : key == "Server" ? login.server : login.password;
  return true;
}

void QtHost::OpenUserWhisperBar(const std::string& name) { emit userWhisperBarRequested(FromWire(name)); }

void QtHost::PageAlarm() {
  // Two groups of three beeps; the widgets' thread sounds each one.
  using namespace std::chrono_literals;
  PostToMain([this] { emit pageAlarmStarted(); });
  for (int group = 0; group < 2; ++group) {
    for (int i = 0; i < 3; ++i) {
      if (closing_.load()) return;
      PostToMain([] { QApplication::beep(); });
      std::this_thread::sleep_for(180ms);
    }
    std::this_thread::sleep_for(500ms);
  }
}

void QtHost::Beep() { QApplication::beep(); }

}  // namespace tolvik::ui
