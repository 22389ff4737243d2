#include "http/platform_hand_over.h"

#include <chrono>

namespace corvane::http {

void PlatformHandOver::Begin(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_ = std::move(wake);
  pending_ = nullptr;
  finished_ = false;
  result_ = 0;
  resultText_.clear();
  cancelled_.store(false, std::memory_order_release);
}

bool PlatformHandOver::Deliver(const PlatformEvent* events, size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (Cancelled()) return false;
  if (count == 0) return true;
  pending_ = events;
  pendingCount_ = count;
  lock.unlock();
  changed_.notify_all();
  if (wake_) wake_();
  lock.lock();
  // Not cut short by a cancel: the caller may still be reading the event.
  changed_.wait(lock, [this] { return pending_ == nullptr; });
  return !Cancelled();
}

void PlatformHandOver::Finish(int code, std::string text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
    result_ = code;
    resultText_ = std::move(text);
  }
  changed_.notify_all();
  if (wake_) wake_();
}

bool PlatformHandOver::Finished() {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

void PlatformHandOver::WaitForReport(int waitMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs),
                    [this] { return pending_ != nullptr || finished_; });
}

bool PlatformHandOver::HandlePending(const std::function<bool(const PlatformEvent&)>& apply) {
  const PlatformEvent* events = nullptr;
  size_t count = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    events = pending_;
    count = pendingCount_;
  }
  if (events == nullptr) return false;
  // apply runs without the lock: a listener inside it may interrupt.
  for (size_t i = 0; i < count && !Cancelled(); ++i) {
    if (!apply(events[i])) Cancel();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = nullptr;
  }
  changed_.notify_all();
  return true;
}

int PlatformHandOver::Result(std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text = resultText_;
  return result_;
}

}  // namespace corvane::http
