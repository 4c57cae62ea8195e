#pragma once
// The desktop program's side of the document: posted closures as queued
// calls, a socket notifier per connection, the two timers, beeps and the
// page alarm, and the prompt for a missing login value.
#include <QObject>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/host.h"

class QSocketNotifier;
class QTimer;

namespace tolvik {
class CHaldenDoc;
}

namespace tolvik::ui {

class QtHost : public QObject, public Host {
  Q_OBJECT

 public:
  explicit QtHost(QObject* parent = nullptr);
  ~QtHost() override;

  // Starts the timers and hands socket events to `doc` from now on.
  void attach(CHaldenDoc& doc);
  // Stops the timers and the socket notifier (the document is closing);
  // a page alarm still sounding ends early.
  void detach();
  // What a missing login value opens: true once the user confirmed (the
  // value is then the document's), false when cancelled.
  void setLoginValuePrompt(std::function<bool()> prompt) { login_value_prompt_ = std::move(prompt); }

  void PostToMain(std::function<void()> fn) override;
  void SocketChanged(int fd) override;
  void StatusChanged(int state, const std::string& text) override;
  void StatusRefreshed(int state, const std::string& text) override { StatusChanged(state, text); }
  bool AskForLoginValue(const std::string& key, std::string& value) override;
  void OpenUserWhisperBar(const std::string& name) override;
  void PageAlarm() override;
  void Beep() override;

 signals:
  void statusChanged(int state, const QString& text);
  // After the document's 110 ms work (which runs only while it has work, such
  // as lines waiting to be sent): what else must be kept current rides on this
  // tick instead of waking the program with timers of its own.
  void fastTick();
  void userWhisperBarRequested(const QString& name);
  // The page alarm started (emitted on the main thread).
  void pageAlarmStarted();
  // Around the reads of one socket wake-up: the lines in between arrived
  // together (the chat pane takes them in as one batch).
  void readsStarted();
  void readsFinished();

 private:
  // Reads of one socket wake-up at most (the text protocol reads 4 KiB at a time).
  static constexpr int kReadsPerWake = 16;

  void onSocketActivated();
  // Runs the closures posted so far (main thread).
  void runPosted();
  // Sets the timer to the document's next deadline (before the loop sleeps).
  void rearm();

  CHaldenDoc* doc_ = nullptr;
  QSocketNotifier* notifier_ = nullptr;
  QTimer* timer_ = nullptr;
  std::optional<std::chrono::steady_clock::time_point> armed_;
  QMetaObject::Connection about_to_block_;
  std::function<bool()> login_value_prompt_;
  std::atomic<bool> closing_{false};
  // Closures from other threads wait here; one queued call runs them all.
  std::mutex posted_mutex_;
  std::vector<std::function<void()>> posted_;
};

}  // namespace tolvik::ui
