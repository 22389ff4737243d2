#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/file_ops.h"

namespace corvane {

// One posted message: the window it is for, its number and two parameters
// (the layout of a window message, so socket notifications keep theirs).
struct WindowMessage {
  uint64_t window = 0;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

// What a hidden window hands its messages to.
class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  virtual intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

// A socket registered for readiness notifications (the WSAAsyncSelect
// registration). FD_CONNECT and FD_WRITE leave the mask once reported;
// FD_READ is reported once and then waits until a recv re-enables it, so a
// reader that does not read (AcceptData off) is never woken again for the
// same bytes.
struct SocketWatch {
  int fd = -1;
  uint64_t window = 0;
  uint32_t message = 0;
  uint32_t mask = 0;
  bool readArmed = true;
  // A connect that failed at once: reported as FD_CONNECT with this code on
  // the next pass, as if the failure had come later.
  int pendingConnectError = 0;
};

// Readiness of one watched socket turned into notifications, in the order the
// platform delivers them (FD_CONNECT, FD_WRITE, FD_READ). Shared by both
// engines so they produce the same sequence.
struct Notification {
  uint32_t event = 0;
  int error = 0;
};
short PollEventsFor(const SocketWatch& watch) noexcept;
// Fills out (room for 3) and updates the watch; returns the count.
int CollectNotifications(SocketWatch& watch, short revents, Notification* out) noexcept;

// The message queue of one thread: messages posted to the thread's hidden
// windows (from any thread) and the sockets the windows watch. Waiting sleeps
// in poll on the queue's eventfd and on those sockets.
class ThreadMessageQueue {
 public:
  ThreadMessageQueue();
  ~ThreadMessageQueue();
  ThreadMessageQueue(const ThreadMessageQueue&) = delete;
  ThreadMessageQueue& operator=(const ThreadMessageQueue&) = delete;

  // The queue of the calling thread, created at first use.
  static std::shared_ptr<ThreadMessageQueue> ForThisThread();

  // Any thread. Only a post from another thread writes the eventfd: the
  // owning thread looks at the queue before it sleeps. False when the
  // eventfd could not be written (never expected).
  bool Post(const WindowMessage& message);
  // Posts a quit message (window 0) carrying exitCode in wParam.
  void PostQuit(int exitCode);
  // Any thread: ends the owning thread's current or next sleep without
  // queuing anything (a cross-thread interrupt request wakes the wait this way).
  void Wake();
  bool OnOwnerThread() const noexcept { return std::this_thread::get_id() == owner_; }

  // Owning thread only from here on.
  // Takes the first message for window (0: for any window); false when none.
  bool Peek(uint64_t window, WindowMessage& out);
  bool HasMessages();
  bool HasMessagesFor(uint64_t window);
  // Drops queued messages with this number for window (stale notifications
  // of a closed socket must not reach the next one on the same descriptor).
  void RemoveMessages(uint64_t window, uint32_t message);
  // Sleeps up to waitMs (0: only looks) until a message is posted or a watched
  // socket becomes ready; readiness is posted as socket notifications.
  void Wait(int waitMs);
  // Hands the message to its window; 0 when the window is gone.
  intptr_t Dispatch(const WindowMessage& message);

  uint64_t RegisterWindow(MessageTarget* target);
  void UnregisterWindow(uint64_t window);
  bool WindowExists(uint64_t window) const;

  void AddWatch(SocketWatch* watch);
  void RemoveWatch(SocketWatch* watch);

  // For a wait that polls its own descriptors instead of calling Wait: the
  // descriptor Post and Wake make readable, and its reset. Draining is safe
  // because every waiter looks at the queue before it sleeps.
  int WakeFd() const noexcept { return wakeFd_.fd(); }
  void DrainWakeFd();

 private:
  FileHandle wakeFd_;
  const std::thread::id owner_;
  std::mutex mutex_;
  std::deque<WindowMessage> messages_;  // guarded by mutex_
  std::unordered_map<uint64_t, MessageTarget*> windows_;
  std::vector<SocketWatch*> watches_;
  uint64_t nextWindow_ = 1;
};

// The hidden window of one component: an id in its thread's queue that
// routes posted messages to the component.
class HiddenWindow {
 public:
  explicit HiddenWindow(MessageTarget* target);
  ~HiddenWindow();
  HiddenWindow(const HiddenWindow&) = delete;
  HiddenWindow& operator=(const HiddenWindow&) = delete;

  uint64_t id() const noexcept { return id_; }
  ThreadMessageQueue& queue() const noexcept { return *queue_; }
  // Any thread.
  bool Post(uint32_t message, uintptr_t wParam, intptr_t lParam) const;

 private:
  std::shared_ptr<ThreadMessageQueue> queue_;
  uint64_t id_ = 0;
};

}  // namespace corvane
