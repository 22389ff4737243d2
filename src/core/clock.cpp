#include "core/clock.h"

#include <ctime>

namespace corvane {

namespace {

class MonotonicClock final : public Clock {
 public:
  int64_t NowMs() const noexcept override {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }
};

}  // namespace

const Clock& SteadyClock() noexcept {
  static const MonotonicClock clock;
  return clock;
}

}  // namespace corvane
