#include "net/retry_schedule.h"

#include <algorithm>

namespace tolvik {

RetrySchedule::RetrySchedule(Timings timings, uint64_t seed) : timings_(timings), random_(seed) {}

RetrySchedule::Duration RetrySchedule::Nominal(int step, const Timings& timings) {
  Duration wait = timings.first;
  for (int i = 0; i < step && wait < timings.most; ++i) wait *= 2;
  return std::min(wait, timings.most);
}

RetrySchedule::Duration RetrySchedule::next() {
  const Duration nominal = Nominal(step_, timings_);
  if (step_ < 64) ++step_;
  const auto spread = nominal.count() * timings_.jitter_percent / 100;
  if (spread <= 0) return nominal;
  std::uniform_int_distribution<Duration::rep> jitter(-spread, spread);
  const Duration wait{nominal.count() + jitter(random_)};
  return std::clamp(wait, Duration{0}, timings_.most);
}

}  // namespace tolvik
