// The document's timers by deadline, driven by a clock of the test's own in a
// logged-in session: the 110 ms work runs only while it has some, at the same
// rate as a timer ticking without pause, and an idle bot sleeps until the
// minute's work.
#include <string>

#include "support/session_fixture.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using TimePoint = CHaldenDoc::TimePoint;

class TimerScheduleTest : public testing::SessionTest {
 protected:
  void SetUp() override {
    WriteBotIni("[AutoSend]\r\nJoinMsg=/time\r\n");
    Open();
    LogIn();
    ASSERT_TRUE(WaitSent("/time\n"));
    ASSERT_TRUE(Run([&] { return doc->Bot().Queue().QueuedCost() == 0 && doc->Bot().Queue().FloodScore() > 0; }));
    doc->StartTimers(start);
  }
  // Plays server lines and waits until the bot has handled them.
  void Play(const std::string& lines) {
    const std::string mark = "[sync " + std::to_string(++syncs_) + "]";
    gateway.send(lines + "1018 INFO \"" + mark + "\"\r\n");
    ASSERT_TRUE(WaitShown(mark));
  }

  const TimePoint start = TimePoint{} + 1000h;
  int syncs_ = 0;
};

TEST_F(TimerScheduleTest, FloodScoreDecaysOneAnIntervalThenTheBotSleepsUntilTheMinute) {
  OutgoingQueue& queue = doc->Bot().Queue();
  const int score = queue.FloodScore();
  ASSERT_TRUE(doc->FastTimerBusy());

  TimePoint now = start;
  TimePoint due = doc->NextTimerDue(now);
  EXPECT_EQ(due, start + CHaldenDoc::kFastInterval);
  // Not a moment early: one microsecond before the deadline nothing runs.
  EXPECT_FALSE(doc->RunDueTimers(due - 1us));
  EXPECT_EQ(queue.FloodScore(), score);

  int ticks = 0;
  while (due < start + CHaldenDoc::kMinuteInterval) {
    ASSERT_EQ(due, now + CHaldenDoc::kFastInterval) << "tick " << ticks;
    now = due;
    ASSERT_TRUE(doc->RunDueTimers(now));
    ++ticks;
    ASSERT_EQ(queue.FloodScore(), score - ticks);
    due = doc->NextTimerDue(now);
  }
  // One tick per point of score, and not one more: then only the minute is due.
  EXPECT_EQ(ticks, score);
  EXPECT_FALSE(doc->FastTimerBusy());
  EXPECT_EQ(due, start + CHaldenDoc::kMinuteInterval);
  const int idle_count = doc->AntiIdleCount();
  EXPECT_FALSE(doc->RunDueTimers(due));
  EXPECT_EQ(doc->AntiIdleCount(), idle_count + 1);
  EXPECT_EQ(doc->NextTimerDue(due), start + 2 * CHaldenDoc::kMinuteInterval);

  // A line queued while the timer sleeps starts it again, one interval on.
  const TimePoint later = start + 61s;
  queue.Say("hello there\n");
  ASSERT_TRUE(WaitSent("hello there\n"));
  EXPECT_EQ(doc->NextTimerDue(later), later + CHaldenDoc::kFastInterval);
}

TEST_F(TimerScheduleTest, RejoinCountdownTakesItsTicksOnTheDeadlines) {
  // Drain the join message's score first, so only the countdown keeps the timer going.
  TimePoint now = start;
  for (TimePoint due = doc->NextTimerDue(now); due < start + CHaldenDoc::kMinuteInterval;
       due = doc->NextTimerDue(now)) {
    now = due;
    doc->RunDueTimers(now);
  }
  ASSERT_FALSE(doc->FastTimerBusy());

  Play("1001 USER acct 0010 [CHAT]\r\n1001 USER opguy 0002 [STAR]\r\n1003 LEAVE opguy 0002\r\n");
  ASSERT_TRUE(doc->Bot().RejoinCounting());
  ASSERT_TRUE(doc->FastTimerBusy());
  const TimePoint counting = now;
  for (int i = 1; i <= 90; ++i) {
    const TimePoint due = doc->NextTimerDue(now);
    ASSERT_EQ(due, counting + i * CHaldenDoc::kFastInterval);
    now = due;
    ASSERT_TRUE(doc->RunDueTimers(now));
  }
  EXPECT_EQ(doc->Bot().RejoinTicks(), 90);
  EXPECT_EQ(Count("/rejoin\n"), 0);
  // The 91st tick rejoins.
  now = doc->NextTimerDue(now);
  EXPECT_EQ(now, counting + 91 * CHaldenDoc::kFastInterval);
  doc->RunDueTimers(now);
  EXPECT_FALSE(doc->Bot().RejoinCounting());
  ASSERT_TRUE(WaitSent("/rejoin\n"));
}

}  // namespace
}  // namespace tolvik
