#pragma once

#include <cstdint>

namespace corvane {

// Milliseconds of a monotonic clock. The engine reads time for deadlines,
// receive-time limits and the transfer-rate limit only through one, so a
// test can move time by hand instead of sleeping.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowMs() const noexcept = 0;
};

// CLOCK_MONOTONIC: what every component uses unless given another clock.
const Clock& SteadyClock() noexcept;

}  // namespace corvane
