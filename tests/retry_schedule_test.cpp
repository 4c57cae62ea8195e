#include "net/retry_schedule.h"

#include <gtest/gtest.h>

#include <set>

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

TEST(RetrySchedule, NominalWaitsDoubleUpToTheCap) {
  RetrySchedule::Timings t;  // the program's: 10 s doubling to 5 min
  const Ms expected[] = {10s, 20s, 40s, 80s, 160s, 300s, 300s};
  for (int step = 0; step < 7; ++step) EXPECT_EQ(RetrySchedule::Nominal(step, t), expected[step]) << step;
  EXPECT_EQ(RetrySchedule::Nominal(1000, t), 300s);  // no overflow however long it fails
}

// Each wait lies within 20% of its nominal length and never above the cap;
// the jitter is really there (the waits of many bots differ).
TEST(RetrySchedule, JitterStaysWithinItsShareAndUnderTheCap) {
  std::set<Ms::rep> first_waits;
  for (uint64_t seed = 0; seed < 200; ++seed) {
    RetrySchedule s({}, seed);
    for (int step = 0; step < 9; ++step) {
      const Ms nominal = RetrySchedule::Nominal(step, s.timings());
      const Ms wait = s.next();
      EXPECT_GE(wait, nominal * 8 / 10) << "step " << step;
      EXPECT_LE(wait, nominal * 12 / 10) << "step " << step;
      EXPECT_LE(wait, 300s);
      if (step == 0) first_waits.insert(wait.count());
    }
  }
  EXPECT_GT(first_waits.size(), 100u);
}

TEST(RetrySchedule, ResetStartsOverAndZeroJitterIsExact) {
  RetrySchedule s({100ms, 350ms, 0}, 1);
  EXPECT_EQ(s.next(), 100ms);
  EXPECT_EQ(s.next(), 200ms);
  EXPECT_EQ(s.next(), 350ms);
  EXPECT_EQ(s.next(), 350ms);
  EXPECT_EQ(s.failures(), 4);
  s.reset();
  EXPECT_EQ(s.failures(), 0);
  EXPECT_EQ(s.next(), 100ms);
}

}  // namespace
}  // namespace tolvik
