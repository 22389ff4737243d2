#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "http/platform_transport.h"

namespace corvane::http {

// The private message that tells the caller's thread a platform report is
// waiting (the user message base plus 123).
inline constexpr uint32_t kPlatformEventMessage = 0x0400 + 123;

// Carries the platform worker's reports to the caller's thread one at a time,
// synchronously: Deliver blocks the worker until the caller's thread has
// handled the report, so the report may point into the worker's buffers and
// listeners run while the worker waits, never on the worker itself.
class PlatformHandOver final : public PlatformEventSink {
 public:
  // Caller's thread, before the worker starts. wake is called on the worker
  // after each report and at the end (it posts kPlatformEventMessage); it may
  // be empty when the caller waits in WaitForReport instead.
  void Begin(std::function<void()> wake);

  // Worker thread.
  using PlatformEventSink::Deliver;
  bool Deliver(const PlatformEvent* events, size_t count) override;
  bool Cancelled() const override { return cancelled_.load(std::memory_order_acquire); }
  // The worker's last act: its result. Wakes the caller.
  void Finish(int code, std::string text);

  // Caller's thread. After Cancel no report reaches apply any more; those
  // already on their way are acknowledged unseen.
  void Cancel() { cancelled_.store(true, std::memory_order_release); }
  bool Finished();
  // Sleeps up to waitMs until a report is waiting or the worker finished.
  void WaitForReport(int waitMs);
  // Hands the waiting reports (if any) to apply one by one and releases the
  // worker; an apply that answers false, or a cancel inside apply, leaves the
  // rest unapplied. True when there was a report.
  bool HandlePending(const std::function<bool(const PlatformEvent&)>& apply);
  int Result(std::string& text);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> wake_;
  const PlatformEvent* pending_ = nullptr;  // guarded by mutex_
  size_t pendingCount_ = 0;
  bool finished_ = false;                   // guarded by mutex_
  int result_ = 0;
  std::string resultText_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace corvane::http
