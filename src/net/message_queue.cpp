#include "net/message_queue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "net/socket_errors.h"
#include "net/socket_notify.h"

namespace corvane {

short PollEventsFor(const SocketWatch& watch) noexcept {
  short events = 0;
  if (watch.mask & (kFdConnect | kFdWrite)) events |= POLLOUT;
  if ((watch.mask & kFdRead) && watch.readArmed && !(watch.mask & kFdConnect)) events |= POLLIN;
  return events;
}

int CollectNotifications(SocketWatch& watch, short revents, Notification* out) noexcept {
  int count = 0;
  if (watch.mask & kFdConnect) {
    int error = watch.pendingConnectError;
    watch.pendingConnectError = 0;
    if (error == 0) {
      if (!(revents & (POLLOUT | POLLERR | POLLHUP))) return 0;
      int soError = 0;
      socklen_t len = sizeof soError;
      if (::getsockopt(watch.fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
      if (soError != 0) {
        error = SocketErrorFromErrno(soError);
      } else {
        sockaddr_storage peer{};
        socklen_t peerLen = sizeof peer;
        if (::getpeername(watch.fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0) error = 10057;
      }
    }
    watch.mask &= ~kFdConnect;
    out[count++] = {kFdConnect, error};
    // A failed connect ends here: the socket is closed by the handler.
    if (error != 0) return count;
  }
  if ((watch.mask & kFdWrite) && (revents & (POLLOUT | POLLERR))) {
    watch.mask &= ~kFdWrite;
    out[count++] = {kFdWrite, 0};
  }
  if ((watch.mask & kFdRead) && watch.readArmed && (revents & (POLLIN | POLLHUP | POLLERR))) {
    watch.readArmed = false;
    out[count++] = {kFdRead, 0};
  }
  return count;
}

ThreadMessageQueue::ThreadMessageQueue()
    : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), owner_(std::this_thread::get_id()) {}

ThreadMessageQueue::~ThreadMessageQueue() = default;

std::shared_ptr<ThreadMessageQueue> ThreadMessageQueue::ForThisThread() {
  thread_local std::shared_ptr<ThreadMessageQueue> queue = std::make_shared<ThreadMessageQueue>();
  return queue;
}

bool ThreadMessageQueue::Post(const WindowMessage& message) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message);
  }
  if (std::this_thread::get_id() == owner_) return true;
  uint64_t one = 1;
  return ::write(wakeFd_.fd(), &one, sizeof one) == static_cast<ssize_t>(sizeof one);
}

void ThreadMessageQueue::Wake() {
  if (std::this_thread::get_id() == owner_) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeFd_.fd(), &one, sizeof one);
}

void ThreadMessageQueue::PostQuit(int exitCode) {
  Post(WindowMessage{0, kQuitMessage, static_cast<uintptr_t>(exitCode), 0});
}

bool ThreadMessageQueue::Peek(uint64_t window, WindowMessage& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = messages_.begin(); it != messages_.end(); ++it) {
    // A quit message is for the thread: every filter sees it.
    if (window == 0 || it->window == window || it->message == kQuitMessage) {
      out = *it;
      messages_.erase(it);
      return true;
    }
  }
  return false;
}

bool ThreadMessageQueue::HasMessages() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !messages_.empty();
}

bool ThreadMessageQueue::HasMessagesFor(uint64_t window) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const WindowMessage& m : messages_) {
    if (m.window == window || m.message == kQuitMessage) return true;
  }
  return false;
}

void ThreadMessageQueue::RemoveMessages(uint64_t window, uint32_t message) {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.erase(std::remove_if(messages_.begin(), messages_.end(),
                                 [&](const WindowMessage& m) {
                                   return m.window == window && m.message == message;
                                 }),
                  messages_.end());
}

void ThreadMessageQueue::DrainWakeFd() {
  // One read takes the whole eventfd counter.
  uint64_t value = 0;
  [[maybe_unused]] ssize_t n = ::read(wakeFd_.fd(), &value, sizeof value);
}

void ThreadMessageQueue::Wait(int waitMs) {
  // Small fixed array for the common case of a few sockets per thread.
  constexpr size_t kInline = 16;
  pollfd inlineFds[kInline];
  std::vector<pollfd> heapFds;
  size_t count = 1 + watches_.size();
  pollfd* fds = inlineFds;
  if (count > kInline) {
    heapFds.resize(count);
    fds = heapFds.data();
  }
  fds[0] = {wakeFd_.fd(), POLLIN, 0};
  size_t n = 1;
  for (SocketWatch* w : watches_) {
    short events = PollEventsFor(*w);
    if (w->pendingConnectError != 0) waitMs = 0;
    // A socket with nothing to report is left out (a negative fd is
    // skipped), so a reset on an unread socket cannot spin the loop.
    fds[n++] = {events != 0 ? w->fd : -1, events, 0};
  }
  int rc;
  do {
    rc = ::poll(fds, n, waitMs < 0 ? 0 : waitMs);
  } while (rc < 0 && errno == EINTR);
  if (fds[0].revents & POLLIN) DrainWakeFd();
  // Nothing is dispatched here, so the watch list cannot change meanwhile.
  for (size_t i = 0; i < watches_.size(); ++i) {
    SocketWatch* w = watches_[i];
    if (fds[i + 1].revents == 0 && w->pendingConnectError == 0) continue;
    Notification notes[3];
    int k = CollectNotifications(*w, fds[i + 1].revents, notes);
    // Queued without waking: this thread is the one that will look.
    std::lock_guard<std::mutex> lock(mutex_);
    for (int j = 0; j < k; ++j) {
      messages_.push_back(WindowMessage{w->window, w->message, static_cast<uintptr_t>(w->fd),
                                        MakeNotifyParam(notes[j].event, notes[j].error)});
    }
  }
}

intptr_t ThreadMessageQueue::Dispatch(const WindowMessage& message) {
  auto it = windows_.find(message.window);
  if (it == windows_.end()) return 0;
  return it->second->WindowProc(message.message, message.wParam, message.lParam);
}

uint64_t ThreadMessageQueue::RegisterWindow(MessageTarget* target) {
  uint64_t id = nextWindow_++;
  windows_[id] = target;
  return id;
}

void ThreadMessageQueue::UnregisterWindow(uint64_t window) {
  windows_.erase(window);
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.erase(std::remove_if(messages_.begin(), messages_.end(),
                                 [window](const WindowMessage& m) { return m.window == window; }),
                  messages_.end());
}

bool ThreadMessageQueue::WindowExists(uint64_t window) const { return windows_.count(window) != 0; }

void ThreadMessageQueue::AddWatch(SocketWatch* watch) {
  if (std::find(watches_.begin(), watches_.end(), watch) == watches_.end()) watches_.push_back(watch);
}

void ThreadMessageQueue::RemoveWatch(SocketWatch* watch) {
  watches_.erase(std::remove(watches_.begin(), watches_.end(), watch), watches_.end());
}

HiddenWindow::HiddenWindow(MessageTarget* target) : queue_(ThreadMessageQueue::ForThisThread()) {
  id_ = queue_->RegisterWindow(target);
}

HiddenWindow::~HiddenWindow() { queue_->UnregisterWindow(id_); }

bool HiddenWindow::Post(uint32_t message, uintptr_t wParam, intptr_t lParam) const {
  return queue_->Post(WindowMessage{id_, message, wParam, lParam});
}

}  // namespace corvane
