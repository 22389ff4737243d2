#include "net/socket_base.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "core/clock.h"
#include "core/debug_trace.h"
#include "core/error_text.h"
#include "net/name_resolver.h"
#include "net/net_errors.h"
#include "net/socket_errors.h"

namespace corvane {

namespace {

// Traffic-control classes by name (QOSTrafficType).
constexpr std::string_view kQosTrafficTypes[] = {"BestEffort", "Background", "ExcellentEffort",
                                                 "AudioVideo", "Voice",      "Control"};

}  // namespace

SocketBase::SocketBase() : window_(this) {
  localAddress6_.sin6_family = AF_INET6;
}

SocketBase::~SocketBase() {
  window_.queue().RemoveWatch(&watch_);
  if (externalSocket_) socket_.Release();
}

// --- configuration ---------------------------------------------------------

int SocketBase::HandleConfig(const ConfigItem& item, ByteBuffer& result) {
  if (item.Is("SelectWaitMillis")) {
    int rc = ConfigInt(item, result, selectWaitMillis_);
    if (selectWaitMillis_ < 0) selectWaitMillis_ = 0;
    return rc;
  }
  if (item.Is("AbsoluteTimeout")) return ConfigBool(item, result, absoluteTimeout_);
  if (item.Is("TimeoutInMilliseconds")) {
    if (item.isQuery) return AnswerBool(result, timeoutInMilliseconds_);
    timeoutInMilliseconds_ = item.Bool();
    SetTimeout(timeoutValue_);  // the same number, read in the new unit
    return 0;
  }
  if (item.Is("WinsockStatus")) {
    if (item.isQuery) return AnswerInt(result, 0);
    return 0;
  }
  if (item.Is("IgnoreExternalEvents")) return ConfigBool(item, result, ignoreExternalEvents_);
  if (item.Is("IgnoreOtherWindowEvents")) return ConfigBool(item, result, ignoreOtherWindowEvents_);
  if (item.Is("WinsockVersion")) {
    if (item.isQuery) return AnswerText(result, "2.2");
    return 0;
  }
  if (item.Is("QOSTrafficType")) {
    if (item.isQuery) return AnswerInt(result, qosTrafficType_);
    for (size_t i = 0; i < std::size(kQosTrafficTypes); ++i) {
      if (EqualsNoCase(item.Text(), kQosTrafficTypes[i])) {
        qosTrafficType_ = static_cast<int>(i);
        return 0;
      }
    }
    qosTrafficType_ = static_cast<int>(item.Int());
    return 0;
  }
  if (item.Is("QOSDSCPValue")) return ConfigInt(item, result, qosDSCPValue_);
  if (item.Is("UseWindowsMessages")) {
    if (item.isQuery) return AnswerBool(result, useWindowsMessages_);
    return SetUseWindowsMessages(item.Bool());
  }
  if (item.Is("SSLProvider")) return ConfigText(item, result, tls_.sslProvider);
  if (item.Is("SSLCipherStrength")) return ConfigInt(item, result, tls_.sslCipherStrength);
  if (item.Is("SSLAlgorithmList")) return ConfigText(item, result, tls_.sslAlgorithmList);
  if (item.Is("UseDefaultCredentials")) return ConfigBool(item, result, tls_.useDefaultCredentials);
  if (item.Is("ReuseSSLSession")) return ConfigBool(item, result, tls_.reuseSSLSession);
  if (item.Is("ExtendedProtection")) return ConfigBool(item, result, tls_.extendedProtection);
  if (item.Is("SSLSecurityFlags")) return ConfigInt(item, result, tls_.sslSecurityFlags);
  if (item.Is("SSLIncludeCertChain")) return ConfigBool(item, result, tls_.sslIncludeCertChain);
  if (item.Is("SSLEnabledProtocols")) return ConfigInt(item, result, tls_.sslEnabledProtocols);
  if (item.Is("SSLEnableRenegotiation")) return ConfigBool(item, result, tls_.sslEnableRenegotiation);
  if (item.Is("UseIPv6")) {
    if (item.isQuery) return AnswerBool(result, ipv6InUse_);
    int mode = static_cast<int>(item.Int());
    if (mode < 0 || mode > 2) mode = 0;
    useIPv6_ = mode;
    ipv6InUse_ = mode == 1;
    return 0;
  }
  if (item.Is("UseGetAddrInfo")) return ConfigBool(item, result, useGetAddrInfo_);
  if (item.Is("KerberosSPN")) return ConfigText(item, result, tls_.kerberosSPN);
  if (item.Is("UseSystemSSPI")) return ConfigBool(item, result, tls_.useSystemSSPI);
  if (item.Is("RecordToFile")) {
    if (item.isQuery) return AnswerText(result, recordFileName_);
    recordFileName_.assign(item.Text());
    if (recordFileName_.empty()) recordFile_.Reset();
    return 0;
  }
  if (item.Is("RecordToString")) {
    if (item.isQuery) return AnswerText(result, recordedText_);
    bool on = EqualsNoCase(item.Text(), "on");
    if (on && !recordToString_) recordedText_.clear();
    recordToString_ = on;
    return 0;
  }
  return ComponentCore::HandleConfig(item, result);
}

int SocketBase::SetUseWindowsMessages(bool on) {
  if (SocketOpen()) return SetNetError(*this, NetError::UseWindowsMessagesBusy);
  useWindowsMessages_ = on;
  return 0;
}

// --- timeouts ----------------------------------------------------------------

void SocketBase::SetTimeout(int timeout) noexcept {
  timeoutValue_ = timeout;
  timeoutMs_ = timeoutInMilliseconds_ ? timeout : static_cast<int64_t>(timeout) * 1000;
  deadline_ = 0;
}

void SocketBase::StartDeadline() noexcept {
  deadline_ = timeoutMs_ > 0 ? Now() + timeoutMs_ : 0;
}

void SocketBase::BeginOperation() noexcept {
  idleLooks_ = 0;  // a new operation looks afresh (a keep-alive peer may have closed)
  if (operationDepth_++ == 0) {
    interruptFlag_ = false;
    interruptedResult_ = false;
    interruptRequest_.store(false);
    operationActive_.store(true);
  }
}

void SocketBase::EndOperation() noexcept {
  idleLooks_ = 0;
  if (operationDepth_ > 0 && --operationDepth_ == 0) {
    operationActive_.store(false);
    interruptRequest_.store(false);
  }
}

void SocketBase::Interrupt() {
  if (!OperationRunning()) return;
  interruptFlag_ = true;
  interruptedResult_ = false;
}

void SocketBase::RequestInterrupt() {
  if (!operationActive_.load()) return;
  interruptRequest_.store(true);
  window_.queue().Wake();
}

void SocketBase::TakeInterruptRequest() {
  if (interruptRequest_.exchange(false)) Interrupt();
}

// --- event loop --------------------------------------------------------------

bool SocketBase::WaitStep(int waitMs) {
  auto consumeInterrupt = [this] {
    interruptFlag_ = false;
    interruptedResult_ = true;
    SetNetError(*this, NetError::Interrupted);
    return false;
  };
  TakeInterruptRequest();
  if (interruptFlag_) return consumeInterrupt();
  PassResult pass = useWindowsMessages_ ? PumpOneMessage(waitMs) : SelectPass(waitMs);
  if (pass == kPassStop) return false;
  TakeInterruptRequest();
  if (interruptFlag_) return consumeInterrupt();
  // An idle pass answered from the last look did nothing and took no time;
  // the deadline is checked by the passes that look.
  if (pass == kPassDone && deadline_ != 0 && Now() > deadline_) {
    SetNetError(*this, NetError::Timeout);
    return false;
  }
  return true;
}

void SocketBase::DoEvents() { WaitStep(selectWaitMillis_); }

bool SocketBase::EventsPending() {
  if (repostRead_) return true;
  if (useWindowsMessages_) {
    ThreadMessageQueue& queue = window_.queue();
    if (ignoreOtherWindowEvents_ ? queue.HasMessagesFor(window_.id()) : queue.HasMessages()) return true;
  }
  if (!SocketOpen() || watch_.mask == 0) return false;
  if (watch_.pendingConnectError != 0) return true;
  short events = PollEventsFor(watch_);
  if (events == 0) return false;
  pollfd pfd{watch_.fd, events, 0};
  if (::poll(&pfd, 1, 0) <= 0) return false;
  idleLooks_ = 0;  // the next pass must look again
  return true;
}

// Loops that drain pending work run many zero-wait passes in a row (the
// request driver makes 100 after each request). After a zero-wait look that
// found nothing, the next kIdleLookReuse zero-wait passes are answered from
// it, so such a loop costs a few polls instead of a hundred. Anything posted
// to the queue is still seen at once; socket readiness a few passes later.
namespace {
constexpr int kIdleLookReuse = 63;
}  // namespace

bool SocketBase::ReuseIdleLook(int waitMs) noexcept {
  if (waitMs > 0 || idleLooks_ <= 0) return false;
  --idleLooks_;
  return true;
}

void SocketBase::NoteLook(int waitMs, bool foundNothing) noexcept {
  idleLooks_ = (waitMs <= 0 && foundNothing) ? kIdleLookReuse : 0;
}

SocketBase::PassResult SocketBase::PumpOneMessage(int waitMs) {
  ThreadMessageQueue& queue = window_.queue();
  uint64_t filter = ignoreOtherWindowEvents_ ? window_.id() : 0;
  WindowMessage message;
  if (!queue.Peek(filter, message)) {
    if (ReuseIdleLook(waitMs)) return kPassIdle;
    // Sleeps in poll until a message is posted or a watched socket is ready;
    // readiness arrives as queued notifications.
    queue.Wait(waitMs);
    if (!queue.Peek(filter, message)) {
      NoteLook(waitMs, true);
      return kPassDone;
    }
  }
  NoteLook(waitMs, false);
  if (message.message == kQuitMessage && message.window == 0) {
    queue.PostQuit(static_cast<int>(message.wParam));  // the host's loop must see it too
    return kPassStop;
  }
  bool own = message.window == window_.id();
  bool saved = ownDispatch_;
  if (own) ownDispatch_ = true;
  queue.Dispatch(message);
  if (own) ownDispatch_ = saved;
  return (own && message.message == kCloseMessage) ? kPassStop : kPassDone;
}

SocketBase::PassResult SocketBase::SelectPass(int waitMs) {
  ThreadMessageQueue& queue = window_.queue();
  if (!SocketOpen() || watch_.mask == 0) {
    // Nothing to watch: still sleep, so a wait without a socket is not a
    // spin, but wake for an interrupt request.
    if (waitMs > 0) {
      pollfd wake{queue.WakeFd(), POLLIN, 0};
      if (::poll(&wake, 1, waitMs) > 0) queue.DrainWakeFd();
    }
    return kPassDone;
  }
  if (!repostRead_ && watch_.pendingConnectError == 0 && ReuseIdleLook(waitMs)) return kPassIdle;
  int fd = watch_.fd;
  if (repostRead_) {
    repostRead_ = false;
    NoteLook(waitMs, false);
    DispatchNotification(kFdRead, 0);
    if (!SocketOpen() || watch_.fd != fd) return kPassDone;
  }
  short events = PollEventsFor(watch_);
  // The queue's wake descriptor rides along so a request from another
  // thread ends the sleep.
  pollfd fds[2] = {{events != 0 ? fd : -1, events, 0}, {queue.WakeFd(), POLLIN, 0}};
  pollfd& pfd = fds[0];
  int timeout = watch_.pendingConnectError != 0 ? 0 : waitMs;
  int rc = -1;
  for (int attempt = 0; attempt < 3; ++attempt) {
    rc = ::poll(fds, 2, timeout);
    if (rc >= 0 || errno != EINTR) break;
  }
  if (rc > 0 && (fds[1].revents & POLLIN)) {
    queue.DrainWakeFd();
    if (pfd.revents == 0) --rc;
  }
  if (rc < 0) {
    NoteLook(waitMs, false);
    if (watch_.mask & kFdClose) DispatchNotification(kFdClose, SocketErrorFromErrno(errno));
    return kPassDone;
  }
  if (rc == 0 && watch_.pendingConnectError == 0) {
    NoteLook(waitMs, true);
    return kPassDone;
  }
  NoteLook(waitMs, false);
  Notification notes[3];
  int count = CollectNotifications(watch_, pfd.revents, notes);
  for (int i = 0; i < count; ++i) {
    if (!SocketOpen() || watch_.fd != fd) break;
    DispatchNotification(notes[i].event, notes[i].error);
  }
  return kPassDone;
}

void SocketBase::DispatchNotification(uint32_t event, int error) {
  uintptr_t fd = static_cast<uintptr_t>(watch_.fd);
  if (event != kFdRead) {
    HandleWindowMessage(kSocketNotifyMessage, fd, MakeNotifyParam(event, error));
    return;
  }
  lastReceiveError_ = 0;
  HandleWindowMessage(kSocketNotifyMessage, fd, MakeNotifyParam(kFdRead, 0));
  int e = lastReceiveError_;
  // A hard receive error (reset, abort) closes the connection with its code.
  if (e != 0 && e != 10035 && e != 10004 && (watch_.mask & kFdClose) && SocketOpen() &&
      static_cast<uintptr_t>(watch_.fd) == fd) {
    HandleWindowMessage(kSocketNotifyMessage, fd, MakeNotifyParam(kFdClose, e));
  }
}

intptr_t SocketBase::WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message == kSocketNotifyMessage && SocketOpen() &&
      wParam == static_cast<uintptr_t>(watch_.fd) && watch_.mask != 0) {
    DispatchNotification(NotifyEvent(lParam), NotifyError(lParam));
    return 0;
  }
  if (ignoreExternalEvents_ && !ownDispatch_) return 0;
  return HandleWindowMessage(message, wParam, lParam);
}

intptr_t SocketBase::HandleWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return 0;
}

int SocketBase::AsyncSelect(int fd, uint32_t mask) {
  ThreadMessageQueue& queue = window_.queue();
  if (mask == 0) {
    queue.RemoveWatch(&watch_);
    queue.RemoveMessages(window_.id(), kSocketNotifyMessage);
    watch_.mask = 0;
    watch_.pendingConnectError = 0;
    repostRead_ = false;
    return 0;
  }
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    return SetSocketError(SocketErrorFromErrno(errno));
  }
  watch_.fd = fd;
  watch_.window = window_.id();
  watch_.message = kSocketNotifyMessage;
  watch_.mask = mask;
  watch_.readArmed = true;
  watch_.pendingConnectError = 0;
  repostRead_ = false;
  idleLooks_ = 0;
  if (useWindowsMessages_) queue.AddWatch(&watch_);
  else queue.RemoveWatch(&watch_);
  return 0;
}

void SocketBase::RepostRead() {
  if (!SocketOpen() || watch_.mask == 0) return;
  if (useWindowsMessages_) {
    window_.Post(kSocketNotifyMessage, static_cast<uintptr_t>(watch_.fd), MakeNotifyParam(kFdRead, 0));
  } else {
    repostRead_ = true;
  }
}

void SocketBase::WatchWrite() noexcept {
  if (watch_.mask != 0) watch_.mask |= kFdWrite;
  idleLooks_ = 0;
}

// --- local address -------------------------------------------------------------

int SocketBase::SetLocalHost(std::string_view host) {
  ClearError();
  localHostText_.assign(host);
  localAddress4_ = 0;
  localAddress6_ = sockaddr_in6{};
  localAddress6_.sin6_family = AF_INET6;
  localAddressText_.clear();
  if (host.empty()) return 0;
  if (useIPv6_ == 2) {
    sockaddr_in6 probe{};
    if (ResolveIPv6(host, probe) == 0) ipv6InUse_ = true;
  }
  if (ipv6InUse_) {
    int rc = ResolveIPv6(host, localAddress6_);
    if (rc != 0) return SetSocketError(rc);
    localAddressText_ = FormatIPv6(localAddress6_);
    return 0;
  }
  int rc = ResolveIPv4(host, false, localAddress4_);
  if (rc != 0) return SetSocketError(rc);
  localAddressText_ = FormatIPv4(localAddress4_);
  return 0;
}

std::string SocketBase::GetLocalHost() {
  if (!localAddressText_.empty()) return localAddressText_;
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

// --- recording -----------------------------------------------------------------

int SocketBase::RecordTraffic(bool received, const char* data, int length) {
  if (length <= 0) return 0;
  if ((LogDebugOption() & 2u) == 0) {
    WriteTrace(received ? "RECEIVE" : "SEND", data, static_cast<size_t>(length));
  }
  if (recordToString_) AppendRecordCommand(recordedText_, received, data, static_cast<size_t>(length));
  if (recordFile_) {
    std::string command;
    AppendRecordCommand(command, received, data, static_cast<size_t>(length));
    if (!recordFile_.WriteAll(command.data(), command.size())) {
      recordFile_.Reset();
      return SetNetError(*this, NetError::RecordFileWrite);
    }
  }
  return 0;
}

int SocketBase::OpenRecordFile() {
  recordFile_.Reset();
  if (recordFileName_.empty()) return 0;
  if (CreateForWrite(recordFileName_, recordFile_) != 0) {
    return SetNetError(*this, NetError::RecordFileCreate);
  }
  return 0;
}

int SocketBase::SetSocketError(int code) { return SetError(code, DescribeError(code)); }

}  // namespace corvane
