// The page alarm under a flood of pages: one alarm rings at a time, pages
// while it rings start nothing, and the next page after it ends rings again.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "bot/bot_owner.h"
#include "bot/whisper_interpreter.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;

// An alarm that rings until the test lets it stop.
class HeldAlarmHost : public BotOwner {
 public:
  const Toggles& GetToggles() const override { return toggles_; }
  void SetState(int) override {}
  void OpenUserWhisperBar(const std::string&) override {}

  void PageAlarm() override {
    std::unique_lock lock(mutex_);
    ++started_;
    cv_.notify_all();
    cv_.wait(lock, [&] { return released_; });
    ++finished_;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    cv_.notify_all();
  }
  void Hold() {
    std::lock_guard lock(mutex_);
    released_ = false;
  }
  bool WaitStarted(int n) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, 5s, [&] { return started_ >= n; });
  }
  int Finished() {
    std::lock_guard lock(mutex_);
    return finished_;
  }
  int Started() {
    std::lock_guard lock(mutex_);
    return started_;
  }

 private:
  Toggles toggles_;
  std::mutex mutex_;
  std::condition_variable cv_;
  int started_ = 0;
  int finished_ = 0;
  bool released_ = false;
};

bool WaitQuiet(const PageAlarms& alarms) {
  for (int i = 0; i < 500 && alarms.Ringing(); ++i) std::this_thread::sleep_for(10ms);
  return !alarms.Ringing();
}

TEST(PageAlarms, PagesWhileRingingStartNoFurtherAlarm) {
  HeldAlarmHost host;
  PageAlarms alarms;
  EXPECT_TRUE(alarms.Start(host));
  ASSERT_TRUE(host.WaitStarted(1));
  for (int i = 0; i < 10000; ++i) EXPECT_FALSE(alarms.Start(host));
  EXPECT_TRUE(alarms.Ringing());
  EXPECT_EQ(alarms.Workers(), 1);
  EXPECT_EQ(host.Started(), 1);
  host.Release();
  ASSERT_TRUE(WaitQuiet(alarms));
  EXPECT_EQ(host.Started(), 1);
}

TEST(PageAlarms, APageAfterTheAlarmEndedRingsAgainOnTheSameSingleWorker) {
  HeldAlarmHost host;
  PageAlarms alarms;
  host.Release();
  EXPECT_TRUE(alarms.Start(host));
  ASSERT_TRUE(WaitQuiet(alarms));
  EXPECT_EQ(alarms.Workers(), 1);  // finished, joined by the next start

  host.Hold();
  EXPECT_TRUE(alarms.Start(host));
  ASSERT_TRUE(host.WaitStarted(2));
  EXPECT_FALSE(alarms.Start(host));
  EXPECT_EQ(alarms.Workers(), 1);
  host.Release();
}

TEST(PageAlarms, DestructionWaitsForTheRingingAlarm) {
  HeldAlarmHost host;
  std::thread releaser;
  {
    PageAlarms alarms;
    alarms.Start(host);
    ASSERT_TRUE(host.WaitStarted(1));
    releaser = std::thread([&] {
      std::this_thread::sleep_for(20ms);
      host.Release();
    });
  }  // waits for the worker; a detached alarm would outlive `host`
  EXPECT_EQ(host.Finished(), 1);
  releaser.join();
}

}  // namespace
}  // namespace tolvik
