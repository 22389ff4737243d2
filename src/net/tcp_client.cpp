#include "net/tcp_client.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "core/error_text.h"
#include "net/name_resolver.h"
#include "net/net_errors.h"
#include "net/socket_errors.h"
#include "net/system_proxy.h"

namespace corvane {

namespace {

// Connect failures that concern the peer rather than our arguments. On
// loopback the kernel may report them from connect() itself; they are handed
// over as a failed FD_CONNECT so the caller always learns the outcome the
// same way, through the Connected event.
bool IsPeerConnectFailure(int err) noexcept {
  switch (err) {
    case ECONNREFUSED: case ETIMEDOUT: case ENETUNREACH: case EHOSTUNREACH:
    case ECONNRESET: case ECONNABORTED:
      return true;
    default:
      return false;
  }
}

constexpr int kFirewallError = 118;

}  // namespace

TcpClient::TcpClient() : firewall_(this) {
  remoteAddress6_.sin6_family = AF_INET6;
  lines_.Create(LineBuffer::kDefaultCapacity);
}

TcpClient::~TcpClient() {
  if (SocketOpen()) {
    AsyncSelect(socket_.fd(), 0);
    if (externalSocket_) socket_.Release();
    else socket_.Reset();
  }
}

// --- configuration -------------------------------------------------------------

int TcpClient::HandleConfig(const ConfigItem& item, ByteBuffer& result) {
  if (item.Is("MaxTransferRate")) return ConfigInt(item, result, maxTransferRate_);
  if (item.Is("SplitCRLF")) {
    if (item.isQuery) return AnswerBool(result, lines_.Split());
    SetSplitCRLF(item.Bool());
    return 0;
  }
  if (item.Is("MaxLineLength")) {
    if (item.isQuery) return AnswerInt(result, GetMaxLineLength());
    return SetMaxLineLength(static_cast<int>(item.Int()));
  }
  if (item.Is("SocketHandle")) {
    if (item.isQuery) return AnswerInt(result, SocketHandle());
    return 0;
  }
  if (item.Is("LocalHost")) {
    if (item.isQuery) return AnswerText(result, GetLocalHost());
    return SetLocalHost(item.Text());
  }
  if (item.Is("LocalPort")) {
    if (item.isQuery) return AnswerInt(result, GetLocalPort());
    return SetLocalPort(static_cast<int>(item.Int()));
  }
  if (item.Is("FirewallAutoDetect")) {
    if (item.isQuery) return AnswerBool(result, firewall_.AutoDetect());
    return firewall_.SetAutoDetect(item.Bool());
  }
  if (item.Is("FirewallHost")) {
    if (item.isQuery) return AnswerText(result, firewall_.AddressText());
    int rc = firewall_.SetHost(item.Text());
    return rc != 0 ? SetSocketError(rc) : 0;
  }
  if (item.Is("FirewallPort")) {
    if (item.isQuery) return AnswerInt(result, firewall_.Port());
    firewall_.SetPort(static_cast<int>(item.Int()));
    return 0;
  }
  if (item.Is("FirewallType")) {
    if (item.isQuery) return AnswerInt(result, firewall_.Type());
    firewall_.SetType(static_cast<int>(item.Int()));
    return 0;
  }
  if (item.Is("FirewallUser")) {
    if (item.isQuery) return AnswerText(result, firewall_.User());
    firewall_.SetUser(item.Text());
    return 0;
  }
  if (item.Is("FirewallPassword")) {
    if (item.isQuery) return AnswerText(result, firewall_.Password());
    firewall_.SetPassword(item.Text());
    return 0;
  }
  if (item.Is("FirewallData")) {
    if (item.isQuery) result.Clear();
    return 0;
  }
  if (item.Is("InBufferSize") || item.Is("OutBufferSize")) {
    const bool in = item.Is("InBufferSize");
    int& field = in ? inBufferSize_ : outBufferSize_;
    if (item.isQuery) return AnswerInt(result, field);
    field = static_cast<int>(item.Int());
    (in ? inBufferSizeSet_ : outBufferSizeSet_) = true;
    return ApplyBufferSizes();
  }
  if (item.Is("TcpNoDelay")) {
    if (item.isQuery) return AnswerBool(result, tcpNoDelay_);
    return ApplyNoDelay(item.Bool());
  }
  if (item.Is("TCPKeepAlive")) {
    if (item.isQuery) return AnswerBool(result, keepAlive_);
    keepAlive_ = item.Bool();
    return ApplyKeepAlive();
  }
  if (item.Is("KeepAliveTime") || item.Is("KeepAliveInterval")) {
    bool isTime = item.Is("KeepAliveTime");
    int& field = isTime ? keepAliveTime_ : keepAliveInterval_;
    if (item.isQuery) return AnswerInt(result, field);
    field = static_cast<int>(item.Int());
    int other = isTime ? keepAliveInterval_ : keepAliveTime_;
    keepAlive_ = field > 0 || other > 0 || keepAlive_;
    return ApplyKeepAlive();
  }
  if (item.Is("MaxReceiveDataTime")) return ConfigInt(item, result, maxReceiveDataTime_);
  if (item.Is("LingerTime")) {
    if (item.isQuery) return AnswerInt(result, lingerTime_);
    lingerTime_ = static_cast<int>(item.Int());
    return ApplyLinger();
  }
  if (item.Is("Linger")) {
    if (item.isQuery) return AnswerBool(result, linger_);
    linger_ = item.Bool();
    return ApplyLinger();
  }
  if (item.Is("GracefullyShutDownSSL")) return ConfigBool(item, result, gracefullyShutDownSSL_);
  if (item.Is("BindIPv6Address")) return ConfigBool(item, result, bindIPv6Address_);
  return SocketBase::HandleConfig(item, result);
}

// --- endpoints ---------------------------------------------------------------------

int TcpClient::SetRemoteHost(std::string_view host) {
  ClearError();
  remoteHost_.assign(host);
  // Through a firewall the name is resolved later, by the firewall path.
  if (firewall_.ActiveType() != fwNone) return 0;
  if (SocketOpen()) return SetNetError(*this, NetError::RemoteHostBusy);
  remoteAddress4_ = 0;
  remoteAddress6_ = sockaddr_in6{};
  remoteAddress6_.sin6_family = AF_INET6;
  if (host.empty()) return 0;
  return ResolveRemote();
}

int TcpClient::ResolveRemote() {
  if (useIPv6_ == 2) ipv6InUse_ = ResolveIPv6(remoteHost_, remoteAddress6_) == 0;
  if (ipv6InUse_) {
    if (useIPv6_ == 2) return 0;  // the probe above was the lookup
    int rc = ResolveIPv6(remoteHost_, remoteAddress6_);
    return rc != 0 ? SetSocketError(rc) : 0;
  }
  int rc = ResolveIPv4(remoteHost_, useGetAddrInfo_, remoteAddress4_);
  return rc != 0 ? SetSocketError(rc) : 0;
}

int TcpClient::SetRemotePort(int port) {
  ClearError();
  if (SocketOpen()) return SetNetError(*this, NetError::RemotePortBusy);
  remotePort_ = port;
  return 0;
}

int TcpClient::SetLocalPort(int port) {
  ClearError();
  if (SocketOpen()) return SetNetError(*this, NetError::LocalPortBusy);
  localPort_ = port;
  return 0;
}

int TcpClient::GetLocalPort() const {
  if (!SocketOpen()) return localPort_;
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(socket_.fd(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return localPort_;
  if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
}

std::string TcpClient::GetLocalHost() {
  if (SocketOpen()) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(socket_.fd(), reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
      if (addr.ss_family == AF_INET6) return FormatIPv6(*reinterpret_cast<sockaddr_in6*>(&addr));
      return FormatIPv4(reinterpret_cast<sockaddr_in*>(&addr)->sin_addr.s_addr);
    }
  }
  return SocketBase::GetLocalHost();
}

int TcpClient::SetMaxLineLength(int length) {
  ClearError();
  if (SocketOpen()) return SetNetError(*this, NetError::MaxLineLengthBusy);
  if (length > LineBuffer::kMaxPlainCapacity) length = LineBuffer::kMaxPlainCapacity;
  if (lines_.Create(length) != 0) return SetNetError(*this, NetError::OutOfMemory);
  return 0;
}

// --- connecting ----------------------------------------------------------------------

int TcpClient::Connect(bool on) {
  if (!on) {
    firewall_.OnLocalClose();
    return Disconnect(0);
  }
  ClearError();
  closeCode_ = 0;
  if (SocketOpen()) return SetNetError(*this, NetError::AlreadyConnected);
  closePending_ = false;
  lines_.Reset();

  if (!firewall_.ProxyTunnelOn() && firewall_.Type() != fwNone && firewall_.AutoDetect() &&
      IsProxyBypassed(ReadSystemProxySettings().bypass, remoteHost_, remotePort_, {})) {
    // The system's exception list sends this host past the detected firewall.
    firewall_.SetType(fwNone);
    firewall_.ClearHost();
    if (remoteAddress4_ == 0 && !remoteHost_.empty()) {
      if (int rc = ResolveRemote(); rc != 0) return rc;
    }
  }
  bool viaFirewall = firewall_.ActiveType() != fwNone;
  bool v6 = ipv6InUse_ && !viaFirewall;
  uint32_t address = viaFirewall ? firewall_.ActiveAddress() : remoteAddress4_;
  int port = viaFirewall ? firewall_.ActivePort() : remotePort_;
  if (!v6 && address == 0) {
    return SetNetError(*this, viaFirewall ? NetError::FirewallHostInvalid : NetError::RemoteHostInvalid);
  }
  if (port == 0) {
    return SetNetError(*this, viaFirewall ? NetError::FirewallPortZero : NetError::RemotePortZero);
  }

  connected_ = false;
  int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return SetSocketError(SocketErrorFromErrno(errno));
  socket_.Reset(fd);
  externalSocket_ = false;

  int bindRc = 0;
  if (v6) {
    if (bindIPv6Address_) {
      sockaddr_in6 local = localAddress6_;
      local.sin6_family = AF_INET6;
      local.sin6_port = htons(static_cast<uint16_t>(localPort_));
      bindRc = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
  } else if (localAddress4_ != 0 || localPort_ != 0) {
    // Binding to any address and port 0 changes nothing but would reserve an
    // ephemeral port outright instead of per destination, so it is skipped.
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = localAddress4_;
    local.sin_port = htons(static_cast<uint16_t>(localPort_));
    bindRc = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
  }
  if (bindRc != 0) {
    int code = SocketErrorFromErrno(errno);
    socket_.Reset();
    return SetSocketError(code);
  }

  ApplyKeepAlive();
  ApplyLinger();
  ApplyBufferSizes();
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &one, sizeof one);
  if (tcpNoDelay_) ApplyNoDelay(true);
  ClearError();

  if (int rc = AsyncSelect(fd, kFdAllClient); rc != 0) {
    socket_.Reset();
    return rc;
  }

  connecting_ = true;
  int rc;
  if (v6) {
    sockaddr_in6 target = remoteAddress6_;
    target.sin6_family = AF_INET6;
    target.sin6_port = htons(static_cast<uint16_t>(port));
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target);
  } else {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(static_cast<uint16_t>(port));
    target.sin_addr.s_addr = address;
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target);
  }
  if (rc == 0 || errno == EINPROGRESS || errno == EAGAIN) return 0;
  int err = errno;
  if (IsPeerConnectFailure(err)) {
    watch_.pendingConnectError = SocketErrorFromErrno(err);
    return 0;
  }
  connecting_ = false;
  CloseSocket();
  return SetSocketError(SocketErrorFromErrno(err));
}

int TcpClient::AttachSocket(int fd) {
  ClearError();
  if (SocketOpen()) return SetNetError(*this, NetError::AlreadyConnected);
  socket_.Reset(fd);
  externalSocket_ = true;
  lines_.Reset();
  if (int rc = AsyncSelect(fd, kFdRead | kFdWrite | kFdClose); rc != 0) {
    socket_.Release();
    externalSocket_ = false;
    return rc;
  }
  connected_ = true;
  connecting_ = false;
  return 0;
}

int TcpClient::ConnectAndWait(int connectionTimeout) {
  ClearInterruptFlag();
  if (IsConnectionReady()) return 0;
  connectStatusSet_ = false;
  SetAcceptData(false);
  if (int rc = Connect(true); rc != 0) {
    acceptData_ = true;
    return rc;
  }
  int savedTimeout = Timeout();
  bool overridden = connectionTimeout >= 1;
  if (overridden) SetTimeout(connectionTimeout);
  StartDeadline();
  int result = 0;
  for (;;) {
    if (!WaitStep(SelectWaitMillis())) {
      std::string text = LastErrorText().str();
      Connect(false);
      result = SetError(kErrInterrupted, text);
      break;
    }
    if (IsConnectionReady() || connectStatusSet_) {
      SetAcceptData(true);
      if (connectStatusSet_ && connectStatusCode_ != 0) {
        result = SetError(connectStatusCode_, connectStatusText_);
      }
      break;
    }
  }
  acceptData_ = true;
  if (overridden) {
    SetTimeout(savedTimeout);
    if (result == 0) StartDeadline();
  }
  return result;
}

void TcpClient::CloseSocket() {
  if (SocketOpen()) {
    AsyncSelect(socket_.fd(), 0);
    if (externalSocket_) socket_.Release();
    else socket_.Reset();
  }
  externalSocket_ = false;
  connected_ = false;
  connecting_ = false;
  acceptData_ = true;
  readRunning_ = false;
}

int TcpClient::Disconnect(int code) {
  if (!SocketOpen()) {
    CloseSocket();
    return 0;
  }
  if (closing_) return 0;
  AsyncSelect(socket_.fd(), 0);
  if (readRunning_) {
    // Carried out when the running read unwinds (ReadNotification).
    closePending_ = true;
    closeCode_ = code;
    return 0;
  }
  closing_ = true;
  if (acceptData_) {
    readRunning_ = true;
    DoRead(rmFinal);
    readRunning_ = false;
  }
  if (connected_) {
    connected_ = false;
    firewall_.OnSocketDisconnected(code);
    CloseRecordFile();
  }
  CloseSocket();
  closePending_ = false;
  closing_ = false;
  return 0;
}

void TcpClient::Interrupt() {
  SocketBase::Interrupt();
  if (InterruptFlag()) Connect(false);
}

bool TcpClient::WaitStep(int waitMs) { return SocketBase::WaitStep(waitMs); }

// --- notifications -----------------------------------------------------------------

intptr_t TcpClient::HandleWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  if (message != kSocketNotifyMessage || !SocketOpen() ||
      wParam != static_cast<uintptr_t>(socket_.fd())) {
    return SocketBase::HandleWindowMessage(message, wParam, lParam);
  }
  int error = NotifyError(lParam);
  switch (NotifyEvent(lParam)) {
    case kFdRead:
      if (ReadAllowed() && !readRunning_) ReadNotification();
      break;
    case kFdWrite:
      OnReadyToSend();
      break;
    case kFdConnect: {
      connecting_ = false;
      int one = 1;
      ::setsockopt(socket_.fd(), SOL_SOCKET, SO_OOBINLINE, &one, sizeof one);
      ClearError();
      if (error != 0) {
        // Closed first so that a handler of the failure may connect again.
        connected_ = false;
        CloseSocket();
        firewall_.OnSocketConnected(error);
      } else {
        connected_ = true;
        if (int rc = OpenRecordFile(); rc != 0) {
          std::string text = LastErrorText().str();
          OnError(rc, text);
          ClearError();
        }
        firewall_.OnSocketConnected(0);
      }
      break;
    }
    case kFdClose:
      if (connecting_) {
        ReadNotification();
      } else {
        Disconnect(error);
      }
      break;
    default:
      break;
  }
  return 0;
}

// --- reading ---------------------------------------------------------------------------

void TcpClient::ReadNotification() {
  readRunning_ = true;
  DoRead(rmNotify);
  readRunning_ = false;
  if (closePending_ && SocketOpen()) {
    closePending_ = false;
    Disconnect(closeCode_);
  }
}

bool TcpClient::ReadMustStop(int mode) const {
  if (!SocketOpen() && mode != rmBuffered) return true;
  return !ReadAllowed() || interruptFlag_;
}

void TcpClient::Deliver(const LineChunk& chunk) {
  firewall_.OnSocketData(chunk.data, chunk.length, chunk.isLine);
}

void TcpClient::DeliverAll(bool withRest) {
  LineChunk chunk;
  while (lines_.Next(chunk)) {
    NoteActivity();
    Deliver(chunk);
    if (!ReadAllowed() || interruptFlag_) return;
  }
  if (withRest && lines_.TakeRest(chunk)) {
    NoteActivity();
    Deliver(chunk);
  }
}

int TcpClient::DoRead(int mode) {
  int64_t start = (maxReceiveDataTime_ > 0 && mode == rmNotify) ? Now() : 0;
  bool drained = false;
  for (;;) {
    if (ReadMustStop(mode)) return 0;
    bool raw = firewall_.NegotiationRunning();
    LineChunk chunk;
    if (!raw) {
      while (lines_.Next(chunk)) {
        NoteActivity();
        Deliver(chunk);
        if (ReadMustStop(mode)) return 0;
      }
    }
    if (mode == rmBuffered || drained) return 0;
    // A close that came in while delivering is carried out by the caller.
    if (closePending_ && mode == rmNotify) return 0;
    if (start != 0 && Now() - start > maxReceiveDataTime_) {
      // Give other events their turn; the socket is read again afterwards.
      RepostRead();
      return 0;
    }
    int room = 0;
    char* space = lines_.FreeSpace(room);
    if (space == nullptr) {
      OnError(kErrOutOfMemory, "Out of memory.");
      return kErrOutOfMemory;
    }
    if (room == 0) {
      // Cannot happen while lines are delivered as they complete; never let
      // a zero-length recv pass for an orderly close.
      if (lines_.TakeRest(chunk)) Deliver(chunk);
      continue;
    }
    ssize_t n = ::recv(socket_.fd(), space, static_cast<size_t>(room), 0);
    ArmRead();
    if (n > 0) {
      lines_.Commit(static_cast<int>(n));
      if (recordAtSocket_ || raw) RecordTraffic(true, space, static_cast<int>(n));
      if (raw) {
        // The negotiation reads raw replies, without line splitting.
        if (lines_.TakeRest(chunk)) {
          NoteActivity();
          Deliver(chunk);
        }
        // Data that came behind the firewall's reply goes up at once.
        if (firewall_.NegotiationRunning() || lines_.Unread() == 0) return 0;
        continue;
      }
      if (mode != rmNotify) {
        DeliverAll(true);
        continue;
      }
      // A short read drained the socket for now: the lines are delivered at
      // the top of the loop and the read ends there, instead of paying for a
      // recv that would only say "would block". The recv re-enabled FD_READ,
      // so later bytes (or the peer's close) bring the next notification.
      drained = n < room;
      continue;
    }
    if (n < 0) {
      int err = errno;
      if (err == EINTR) continue;
      int code = SocketErrorFromErrno(err);
      lastReceiveError_ = code;
      if (code == 10035 || code == 10038 || code == 10053 || code == 10054) return code;
      OnError(code, RecvFailedText(code));
      return code;
    }
    // Orderly close by the peer: what is left goes up first.
    DeliverAll(true);
    if (mode == rmFinal) return 0;
    if (mode == rmNotify) {
      readRunning_ = false;
      Disconnect(closeCode_);
    }
    return 0;
  }
}

int TcpClient::ReceiveRaw(char* buffer, int room, int& received) {
  received = 0;
  for (;;) {
    ssize_t n = ::recv(socket_.fd(), buffer, static_cast<size_t>(room), 0);
    ArmRead();
    if (n > 0) {
      received = static_cast<int>(n);
      NoteActivity();
      return 0;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 10035;
    if (n < 0) {
      // Only this recv sees the error; the next one reads as an orderly close.
      lastReceiveError_ = SocketErrorFromErrno(errno);
      return lastReceiveError_;
    }
    return kReadElsewhere;
  }
}

int TcpClient::ReadInto(char* buffer, int room, int& received) {
  received = 0;
  if (lines_.Unread() > 0 || firewall_.NegotiationRunning() || !SocketOpen() || room <= 0) return kReadElsewhere;
  int rc = ReceiveRaw(buffer, room, received);
  if (rc == 0 && recordAtSocket_) RecordTraffic(true, buffer, received);
  return rc;
}

void TcpClient::SetAcceptData(bool on) {
  acceptData_ = on;
  if (!on || readRunning_) return;  // a running read picks the change up itself
  if (connected_) RepostRead();
}

int TcpClient::SetTerminator(std::string_view terminator) {
  if (lines_.SetTerminator(terminator) != 0) return SetNetError(*this, NetError::OutOfMemory);
  if (connected_ && !readRunning_ && lines_.Unread() > 0) RepostRead();
  return 0;
}

void TcpClient::SetSplitCRLF(bool on) {
  lines_.SetSplit(on);
  SetTerminator(on ? "\r\n" : "");
}

// --- sending -----------------------------------------------------------------------------

int TcpClient::Send(const char* data, int length, int flags, bool throughFilter) {
  ClearError();
  lastSent_ = 0;
  if ((throughFilter && firewall_.NegotiationRunning()) || !connected_ || !SocketOpen()) {
    return NetErrorCode(NetError::SocketNotConnected);
  }
  if (length <= 0) return 0;
  ssize_t n;
  do {
    n = ::send(socket_.fd(), data, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) {
    NoteActivity();
    ForgetIdleLook();  // an answer may follow at once
    lastSent_ = static_cast<int>(n);
    if (recordAtSocket_ || firewall_.NegotiationRunning()) RecordTraffic(false, data, lastSent_);
    if (n < length) {
      WatchWrite();
      return NetErrorCode(NetError::WouldBlock);
    }
    return 0;
  }
  int code = SocketErrorFromErrno(errno);
  WatchWrite();
  return code;
}

int TcpClient::SendRaw(const char* data, int length) { return Send(data, length, 0, false); }

int TcpClient::SendPlain(const char* data, int length, int& accepted) {
  int rc = Send(data, length, 0, true);
  accepted = lastSent_;
  return rc;
}

int TcpClient::Throttle() {
  if (maxTransferRate_ <= 0) return 0;
  int64_t now = Now();
  if (rateLastSend_ == 0 || now - rateLastSend_ > 60000) {
    rateWindowStart_ = now;
    rateBytes_ = 0;
  }
  for (;;) {
    int64_t elapsed = Now() - rateWindowStart_;
    if (rateBytes_ * 1000 <= maxTransferRate_ * elapsed) return 0;
    if (!WaitStep(SelectWaitMillis())) return kErrInterrupted;
  }
}

int TcpClient::SendBlocking(const char* data, int64_t length, bool progress, bool notify) {
  ClearInterruptFlag();
  if (length <= 0) return 0;
  if (notify) {
    if (int rc = OnBeforeSend(); rc != 0) return rc;
  }
  int64_t sent = 0;
  for (;;) {
    if (int rc = Throttle(); rc != 0) return rc;
    int64_t piece = std::min<int64_t>(length - sent, INT_MAX / 2);
    // Under a rate limit, small pieces keep the rate even.
    if (maxTransferRate_ > 0) {
      piece = std::min<int64_t>(piece, std::clamp<int64_t>(maxTransferRate_ / 4, 1, 65536));
    }
    int accepted = 0;
    int rc = SendPlain(data + sent, static_cast<int>(piece), accepted);
    rateBytes_ += accepted;
    rateLastSend_ = Now();
    if (rc == 0) {
      sent += piece;
      if (sent < length) continue;
      return notify ? OnAfterSend() : 0;
    }
    if (rc != NetErrorCode(NetError::WouldBlock)) return rc;
    sent += accepted;
    if (!WaitStep(SelectWaitMillis())) return kErrInterrupted;
    if (progress) {
      if (int prc = OnSendProgress(sent); prc != 0) return prc;
    }
  }
}

// --- socket options -------------------------------------------------------------------------

int TcpClient::ApplyKeepAlive() {
  if (!SocketOpen()) return 0;
  int fd = socket_.fd();
  int on = keepAlive_ ? 1 : 0;
  if (::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
    int code = SocketErrorFromErrno(errno);
    int real = 0;
    socklen_t len = sizeof real;
    if (::getsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &real, &len) == 0) keepAlive_ = real != 0;
    return SetSocketError(code);
  }
  if (keepAlive_ && (keepAliveTime_ > 0 || keepAliveInterval_ > 0)) {
    int idle = std::max(1, (keepAliveTime_ > 0 ? keepAliveTime_ : 7200000) / 1000);
    int interval = std::max(1, (keepAliveInterval_ > 0 ? keepAliveInterval_ : 1000) / 1000);
    if (::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) != 0 ||
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) != 0) {
      return SetSocketError(SocketErrorFromErrno(errno));
    }
  }
  return 0;
}

int TcpClient::ApplyLinger() {
  if (!SocketOpen()) return 0;
  linger value{};
  if (!linger_) {
    value = {1, 0};  // hard close
  } else if (lingerTime_ > 0) {
    value = {1, lingerTime_};
  }
  if (::setsockopt(socket_.fd(), SOL_SOCKET, SO_LINGER, &value, sizeof value) != 0) {
    return SetSocketError(SocketErrorFromErrno(errno));
  }
  return 0;
}

int TcpClient::SetBufferSizes(int in, int out) {
  inBufferSize_ = in;
  outBufferSize_ = out;
  inBufferSizeSet_ = outBufferSizeSet_ = true;
  return ApplyBufferSizes();
}

void TcpClient::SetDefaultBufferSizes(int in, int out) noexcept {
  inBufferSize_ = in;
  outBufferSize_ = out;
  inBufferSizeSet_ = outBufferSizeSet_ = false;
}

int TcpClient::ApplyBufferSizes() {
  if (!SocketOpen()) return 0;
  int fd = socket_.fd();
  int result = 0;
  auto apply = [&](int option, int& field, bool set) {
    if (!set || field <= 0) return;
    if (::setsockopt(fd, SOL_SOCKET, option, &field, sizeof field) != 0) {
      int code = SocketErrorFromErrno(errno);
      int real = 0;
      socklen_t len = sizeof real;
      if (::getsockopt(fd, SOL_SOCKET, option, &real, &len) == 0) field = real;
      result = SetSocketError(code);
    }
  };
  apply(SO_RCVBUF, inBufferSize_, inBufferSizeSet_);
  apply(SO_SNDBUF, outBufferSize_, outBufferSizeSet_);
  return result;
}

int TcpClient::ApplyNoDelay(bool on) {
  if (!SocketOpen()) {
    tcpNoDelay_ = on;
    return 0;
  }
  int value = on ? 1 : 0;
  if (::setsockopt(socket_.fd(), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0) {
    return SetSocketError(SocketErrorFromErrno(errno));
  }
  tcpNoDelay_ = on;
  return 0;
}

// --- events -------------------------------------------------------------------------------

std::string TcpClient::StatusDescription(int code) {
  if (code == 0) return "OK";
  if (LastErrorText().empty() && code != kFirewallError) SetError(code, DescribeError(code));
  return LastErrorText().str();
}

void TcpClient::OnConnectComplete(int code) {
  OnConnectionStatus(code != 0 ? "Remote host connection failed." : "Remote host connection complete.",
                     code);
  ReportConnected(code);
}

void TcpClient::OnDisconnected(int code) {
  OnConnectionStatus("Remote host disconnected.", code);
  ReportDisconnected(code);
}

void TcpClient::OnDataIn(const char* data, int length, bool isLine) {}

void TcpClient::OnError(int code, std::string_view text) { FireError(code, text); }

void TcpClient::OnReadyToSend() {}

void TcpClient::OnConnectionStatus(std::string_view connectionEvent, int code) {
  FireConnectionStatus(connectionEvent, code, StatusDescription(code));
}

void TcpClient::ReportConnected(int code) {
  std::string description = StatusDescription(code);
  connectStatusSet_ = true;
  connectStatusCode_ = code;
  connectStatusText_ = description;
  FireConnected(code, description);
}

void TcpClient::ReportDisconnected(int code) { FireDisconnected(code, StatusDescription(code)); }

void TcpClient::FireConnected(int code, const std::string& description) {
  if (EventSink() == nullptr) return;
  int c = code;
  std::string d = description;
  EventSink()->Connected(c, d);
}

void TcpClient::FireDisconnected(int code, const std::string& description) {
  if (EventSink() == nullptr) return;
  int c = code;
  std::string d = description;
  EventSink()->Disconnected(c, d);
}

void TcpClient::FireConnectionStatus(std::string_view connectionEvent, int code,
                                     const std::string& description) {
  if (EventSink() == nullptr) return;
  std::string e(connectionEvent);
  int c = code;
  std::string d = description;
  EventSink()->ConnectionStatus(e, c, d);
}

}  // namespace corvane
