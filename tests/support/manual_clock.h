#pragma once

#include <atomic>
#include <cstdint>

#include "core/clock.h"

namespace corvane::testing {

// A clock that moves only when told: by Advance, and by step on every
// reading when a loop under test must see time pass on its own.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(int64_t step = 0) : step_(step) {}
  int64_t NowMs() const noexcept override { return now_.fetch_add(step_) + step_; }
  void Advance(int64_t ms) noexcept { now_ += ms; }
  int64_t Elapsed() const noexcept { return now_.load() - kStart; }

 private:
  // Far from zero: a zero deadline means "none".
  static constexpr int64_t kStart = 1000000;
  mutable std::atomic<int64_t> now_{kStart};
  int64_t step_;
};

}  // namespace corvane::testing
