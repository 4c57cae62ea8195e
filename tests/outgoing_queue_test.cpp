#include "net/outgoing_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "support/recording_connection.h"
#include "support/recording_display.h"
#include "support/scripted_gateway.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::RecordingConnection;
using testing::RecordingDisplay;
using testing::ScriptedGateway;

TEST(OutgoingQueueRules, LineCostGrowsEvery65Characters) {
  EXPECT_EQ(OutgoingQueue::LineCost(64), 20);  // 63 characters and LF
  EXPECT_EQ(OutgoingQueue::LineCost(65), 40);  // 64 characters and LF
  EXPECT_EQ(OutgoingQueue::LineCost(129), 40);
  EXPECT_EQ(OutgoingQueue::LineCost(130), 60);
}

TEST(OutgoingQueueRules, PauseFollowsTheFloodScore) {
  EXPECT_EQ(OutgoingQueue::ChoosePause(201, 0), 5000);
  EXPECT_EQ(OutgoingQueue::ChoosePause(200, 0), 4000);
  EXPECT_EQ(OutgoingQueue::ChoosePause(46, 0), 4000);
  EXPECT_EQ(OutgoingQueue::ChoosePause(45, 5000), 5000);  // 1..45 keeps the previous pause
  EXPECT_EQ(OutgoingQueue::ChoosePause(30, 0), 0);
  EXPECT_EQ(OutgoingQueue::ChoosePause(0, 5000), 0);
}

// A queue whose sender writes to a scripted gateway and whose pauses are
// recorded instead of slept; a pause can be held until the test lets it go.
class QueueTest : public ::testing::Test {
 protected:
  QueueTest() : queue(conn, &display) {
    queue.SetPause([this](int ms) {
      std::unique_lock<std::mutex> lock(mutex);
      pauses.push_back(ms);
      cv.notify_all();
      cv.wait(lock, [this] { return !hold_pauses; });
    });
    OutgoingQueue::Hooks hooks;
    hooks.notify_main = [this] {
      std::lock_guard<std::mutex> lock(mutex);
      ++sent_cycles;
      cv.notify_all();
    };
    queue.SetHooks(hooks);
  }
  // Waits until the sender has finished `n` cycles (line sent and accounted for).
  bool WaitForSent(int n) {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, 5s, [&] { return sent_cycles >= n; });
  }
  ~QueueTest() override {
    Release();
    queue.Stop();
  }
  void ConnectAndStart() {
    conn.SetLoginInfo("Bot", "pw", gateway.address().c_str(), 6112);
    ASSERT_EQ(conn.ConnectWithRetries(), kStateWaitingForLoginPrompt);
    ASSERT_TRUE(gateway.waitForClients(1));
    queue.Start();
  }
  bool WaitForPauses(size_t n) {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, 5s, [&] { return pauses.size() >= n; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex);
    hold_pauses = false;
    cv.notify_all();
  }

  ScriptedGateway gateway;
  RecordingConnection conn;
  RecordingDisplay display;
  OutgoingQueue queue;
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<int> pauses;
  bool hold_pauses = false;
  int sent_cycles = 0;
};

TEST_F(QueueTest, ThreeShortLinesGoAtOnceThenTheFourthWaits) {
  ConnectAndStart();
  for (int i = 1; i <= 4; ++i) queue.Say("line %d\n", i);
  ASSERT_TRUE(WaitForSent(4));
  ASSERT_TRUE(gateway.waitForReceived("line 4\n"));
  EXPECT_EQ(gateway.received(), "line 1\nline 2\nline 3\nline 4\n");
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(pauses, std::vector<int>{4000});
  EXPECT_EQ(queue.FloodScore(), 80);
  EXPECT_EQ(queue.QueuedCost(), 0);
}

TEST_F(QueueTest, HighScoreMeansFiveSecondsAndDecayReturnsToZero) {
  ConnectAndStart();
  std::string long_line(200, 'x');  // 201 stored characters cost 80
  for (int i = 0; i < 4; ++i) queue.Say("%s\n", long_line.c_str());
  ASSERT_TRUE(WaitForSent(4));
  {
    std::lock_guard<std::mutex> lock(mutex);
    // Scores before each line: 0, 80, 160, 240.
    EXPECT_EQ(pauses, (std::vector<int>{4000, 4000, 5000}));
  }
  for (int i = 0; i < 400; ++i) queue.DecayScore();
  EXPECT_EQ(queue.FloodScore(), 0);
}

TEST_F(QueueTest, PriorityLineOvertakesWaitingNormalLines) {
  hold_pauses = true;
  ConnectAndStart();
  for (int i = 1; i <= 10; ++i) queue.Say("normal %d\n", i);
  ASSERT_TRUE(WaitForPauses(1));  // three lines out, the sender now waits before the fourth
  queue.SayPriority("typed by operator\n");
  Release();
  ASSERT_TRUE(gateway.waitForReceived("normal 10\n"));
  auto lines = gateway.receivedLines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[2], "normal 3");
  EXPECT_EQ(lines[3], "typed by operator");
  EXPECT_EQ(lines[4], "normal 4");
}

TEST_F(QueueTest, SentLinesAreEchoedOnTheMainThreadButCommandsAreNot) {
  std::atomic<int> notified{0};
  int sent_hook = 0;
  OutgoingQueue::Hooks hooks;
  hooks.notify_main = [&] { ++notified; };
  hooks.line_sent = [&] { ++sent_hook; };
  queue.SetHooks(hooks);
  ConnectAndStart();
  queue.Say("hello all\n");
  queue.Say("/rejoin\n");
  queue.WhisperTo("Ann", "psst %s\n", "there");
  ASSERT_TRUE(gateway.waitForReceived("/msg Ann psst there\n"));
  EXPECT_EQ(gateway.received(), "hello all\n/rejoin\n/msg Ann psst there\n");
  while (notified < 3) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(display.texts().empty());  // nothing shown until the main thread delivers
  queue.DeliverSent();
  EXPECT_EQ(display.texts(), std::vector<std::string>{"<Bot> hello all"});
  EXPECT_EQ(sent_hook, 3);
}

TEST_F(QueueTest, WhisperToOwnNameIsShownNotSent) {
  conn.SetLoginInfo("Bot", "pw", "127.0.0.1", 6112);
  EXPECT_EQ(queue.WhisperTo("bOT", "Your level is %d\n", 5), 0);
  EXPECT_EQ(queue.Waiting(OutgoingQueue::kNormal), 0);
  EXPECT_EQ(display.texts(), std::vector<std::string>{"Your level is 5"});
}

TEST_F(QueueTest, TooShortLinesAreIgnoredAndCostIsCounted) {
  EXPECT_EQ(queue.Say("%s", ""), 1);
  EXPECT_EQ(queue.Say("\n"), 1);
  EXPECT_EQ(queue.SayPriority("x"), 1);
  EXPECT_EQ(queue.Waiting(OutgoingQueue::kNormal), 0);
  std::string s64(64, 'a');
  queue.Say("%s\n", s64.c_str());        // 65 stored: 40
  queue.SayPriority("%s\n", "short");     // 20
  EXPECT_EQ(queue.QueuedCost(), 60);
}

TEST_F(QueueTest, AFullRingDropsTheNewestLineAndSaysSoOnce) {
  // The sender is not started, so nothing drains.
  for (int i = 0; i < 49; ++i) EXPECT_EQ(queue.Say("line %d\n", i), 0);
  EXPECT_EQ(queue.Say("one too many\n"), 1);
  EXPECT_EQ(queue.Say("and another\n"), 1);
  EXPECT_EQ(queue.Waiting(OutgoingQueue::kNormal), 49);
  EXPECT_EQ(queue.PeekWaiting(OutgoingQueue::kNormal).back(), "line 48\n");
  auto shown = display.texts();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("queue full"), std::string::npos);

  // The waiting lines are intact and go out in order once the sender runs.
  ConnectAndStart();
  ASSERT_TRUE(gateway.waitForReceived("line 48\n", 10s));
  auto lines = gateway.receivedLines();
  ASSERT_EQ(lines.size(), 49u);
  EXPECT_EQ(lines.front(), "line 0");
  EXPECT_EQ(lines.back(), "line 48");
}

TEST_F(QueueTest, OverLongLinesStillEndInALineEnd) {
  std::string huge(400, 'h');
  queue.Say("%s\n", huge.c_str());
  queue.WhisperTo("Ann", "%s\n", huge.c_str());
  ConnectAndStart();
  ASSERT_TRUE(gateway.waitForReceived("/msg Ann "));
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (gateway.receivedLines().size() < 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(5ms);
  auto all = gateway.received();
  auto lines = gateway.receivedLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::string(254, 'h'));
  EXPECT_EQ(lines[1], "/msg Ann " + std::string(254 - 9, 'h'));
  EXPECT_EQ(all.back(), '\n');
}

TEST_F(QueueTest, SendNowBypassesTheQueueAndStopEndsTheSender) {
  hold_pauses = true;
  ConnectAndStart();
  for (int i = 1; i <= 5; ++i) queue.Say("queued %d\n", i);
  ASSERT_TRUE(WaitForPauses(1));
  queue.SendNow("%s\n", "Goodbye");
  ASSERT_TRUE(gateway.waitForReceived("Goodbye\n"));
  EXPECT_EQ(display.texts(), std::vector<std::string>{"<Bot> Goodbye"});
  EXPECT_EQ(gateway.received().find("queued 4"), std::string::npos);
  Release();
  queue.Stop();  // returns: the sender finishes its cycle and ends
  queue.Stop();
}

}  // namespace
}  // namespace tolvik
