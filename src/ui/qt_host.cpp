#include "ui/qt_host.h"

#include <QApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <thread>

#include "app/document.h"
#include "ui/wire_text.h"

namespace tolvik::ui {

QtHost::QtHost(QObject* parent) : QObject(parent) {
  minute_timer_ = new QTimer(this);
  minute_timer_->setInterval(kMinuteTimerMs);
  fast_timer_ = new QTimer(this);
  fast_timer_->setInterval(kFastTimerMs);
  // The per-minute work: anti-idle line, idle marks, the ring of recent leavers.
  connect(minute_timer_, &QTimer::timeout, this, [this] {
    if (doc_) doc_->OnMinuteTick();
  });
  // Flood-score decay and the rejoin countdown.
  connect(fast_timer_, &QTimer::timeout, this, [this] {
    if (doc_) doc_->OnFastTick();
    emit fastTick();
  });
}

QtHost::~QtHost() { closing_.store(true); }

void QtHost::attach(CHaldenDoc& doc) {
  doc_ = &doc;
  minute_timer_->start();
  fast_timer_->start();
}

void QtHost::detach() {
  closing_.store(true);
  minute_timer_->stop();
  fast_timer_->stop();
  SocketChanged(-1);
  doc_ = nullptr;
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
  if (doc_) doc_->OnSocketEvent(SocketEvent::Readable);
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
