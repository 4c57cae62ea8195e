#pragma once
// The connect path's waits as session tests use them: every one shortened,
// so nothing in a session test sleeps for long.
#include <chrono>

#include "app/document.h"

namespace tolvik::testing {

inline ReconnectTimings QuickReconnectTimings() {
  using namespace std::chrono_literals;
  ReconnectTimings timings;
  timings.reconnect_delay_ms = 200;
  timings.quick_pause_ms = 50;
  timings.backoff = {100ms, 400ms, 20};
  timings.per_address_timeout_ms = 500;
  return timings;
}

}  // namespace tolvik::testing
