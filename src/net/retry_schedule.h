#pragma once
// When to try a connection again after failures: capped exponential backoff
// with jitter, so many bots that lost the same server do not all come back in
// the same second, and a server that stays away is asked rarely.
#include <chrono>
#include <cstdint>
#include <random>

namespace tolvik {

struct RetryTimings {
  std::chrono::milliseconds first{10000};  // the wait after the first failure
  std::chrono::milliseconds most{300000};  // no wait is ever longer
  int jitter_percent = 20;                 // each wait lies within this share of its nominal length
};

class RetrySchedule {
 public:
  using Duration = std::chrono::milliseconds;
  using Timings = RetryTimings;

  explicit RetrySchedule(Timings timings = {}, uint64_t seed = std::random_device{}());

  // The wait before the next try; each call doubles the nominal wait up to the cap.
  Duration next();
  // A try succeeded: the next failure starts from the first wait again.
  void reset() { step_ = 0; }
  int failures() const { return step_; }
  const Timings& timings() const { return timings_; }
  void setTimings(Timings timings) { timings_ = timings; }

  // The wait after `step` earlier failures before jitter is applied.
  static Duration Nominal(int step, const Timings& timings);

 private:
  Timings timings_;
  int step_ = 0;
  std::mt19937_64 random_;
};

}  // namespace tolvik
