#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/component_core.h"
#include "core/file_ops.h"
#include "net/message_queue.h"
#include "net/socket_notify.h"

namespace corvane {

// TLS settings kept at the socket level so they survive switching TLS on and
// off; the TLS layer reads them when it acquires its credentials.
struct TlsSettings {
  std::string sslProvider = "Microsoft Unified Security Protocol Provider";
  int sslCipherStrength = 40;
  std::string sslAlgorithmList;
  bool useDefaultCredentials = false;
  bool reuseSSLSession = false;
  bool extendedProtection = true;
  uint32_t sslSecurityFlags = 0;
  bool sslIncludeCertChain = false;
  uint32_t sslEnabledProtocols = 0x0FC0;
  bool sslEnableRenegotiation = true;
  // A renegotiation that brings another server certificate has it decided
  // like the first one (StrictMode) instead of going on unchecked.
  bool recheckCertificateOnRenegotiation = false;
  std::string kerberosSPN;
  bool useSystemSSPI = true;
};

// The socket, the hidden window, the event loop and the timeouts shared by
// every connection-oriented class.
//
// Engines: with UseWindowsMessages true (default) socket readiness becomes
// messages in the thread's queue and WaitStep pumps that queue (other
// components' messages on the same thread are dispatched too); with false,
// WaitStep runs its own poll pass over this object's socket and dispatches
// the notifications directly. Both hand the same notifications, in the same
// order, to HandleWindowMessage.
//
// An object belongs to the thread that created it (its hidden window lives in
// that thread's queue): call it, and wait in it, on that thread only. Other
// threads may only post to its window (PostToWindow) and RequestInterrupt.
class SocketBase : public ComponentCore, private MessageTarget {
 public:
  SocketBase();
  ~SocketBase() override;

  int HandleConfig(const ConfigItem& item, ByteBuffer& result) override;

  // --- event loop ---------------------------------------------------------
  // One pass: pump one message (or one poll pass), then check Interrupt and
  // the deadline. False ends the wait; the reason ("Interrupted." or
  // "Timeout.") is left as the last error text. Waits at most waitMs.
  virtual bool WaitStep(int waitMs);
  // One WaitStep(SelectWaitMillis); always succeeds.
  void DoEvents();
  // Sets InterruptFlag when an operation runs (see BeginOperation) and lets
  // the derived class close its connection; otherwise does nothing.
  virtual void Interrupt();
  // Any thread: asks for Interrupt on the owning thread and wakes its wait;
  // the wait loop carries it out at its next pass. Ignored when no
  // operation runs.
  void RequestInterrupt();
  bool OnOwningThread() const noexcept { return window_.queue().OnOwnerThread(); }
  // Runs WaitStep(SelectWaitMillis) until done() is true (0) or the wait
  // ends (301 with "Timeout." or "Interrupted.").
  template <typename Done>
  int WaitUntil(Done done) {
    while (!done()) {
      if (!WaitStep(selectWaitMillis_)) return kErrInterrupted;
    }
    return 0;
  }

  // True when a pass would have something to do right now: a message is
  // queued for this object (or a read re-posted), or its socket is ready.
  // Costs one poll with zero timeout; lets a "drain what is pending" loop
  // stop at once instead of running idle passes.
  bool EventsPending();

  // Marks an operation as running (Interrupt acts only then). Nested use is
  // counted.
  void BeginOperation() noexcept;
  void EndOperation() noexcept;
  bool OperationRunning() const noexcept { return operationDepth_ > 0; }
  bool InterruptFlag() const noexcept { return interruptFlag_; }
  void ClearInterruptFlag() noexcept { interruptFlag_ = false; }
  bool WasInterrupted() const noexcept { return interruptedResult_; }

  // --- timeouts -----------------------------------------------------------
  // Timeout in seconds (milliseconds with TimeoutInMilliseconds); 0 = no
  // limit; negative values skip the optional waits. Cancels a running deadline.
  void SetTimeout(int timeout) noexcept;
  int Timeout() const noexcept { return timeoutValue_; }
  int64_t TimeoutMillis() const noexcept { return timeoutMs_; }
  // Deadline = now + timeout (none when the timeout is 0).
  void StartDeadline() noexcept;
  // Restarts the deadline on activity unless AbsoluteTimeout is on.
  void NoteActivity() noexcept {
    if (!absoluteTimeout_) StartDeadline();
  }
  void CancelDeadline() noexcept { deadline_ = 0; }
  int64_t Deadline() const noexcept { return deadline_; }
  bool AbsoluteTimeout() const noexcept { return absoluteTimeout_; }
  bool TimeoutInMilliseconds() const noexcept { return timeoutInMilliseconds_; }
  int SelectWaitMillis() const noexcept { return selectWaitMillis_; }
  // The clock of deadlines, receive-time limits and the rate limit; the
  // steady clock unless a test gives its own (which must outlive this).
  void SetClock(const Clock& clock) noexcept { clock_ = &clock; }
  int64_t Now() const noexcept { return clock_->NowMs(); }

  // --- settings -----------------------------------------------------------
  bool UseWindowsMessages() const noexcept { return useWindowsMessages_; }
  // 287 while a socket exists.
  int SetUseWindowsMessages(bool on);
  int UseIPv6() const noexcept { return useIPv6_; }
  bool IPv6InUse() const noexcept { return ipv6InUse_; }
  bool UseGetAddrInfo() const noexcept { return useGetAddrInfo_; }
  const TlsSettings& Tls() const noexcept { return tls_; }
  TlsSettings& Tls() noexcept { return tls_; }

  // The local address to bind; empty resets it. Not refused while connected.
  virtual int SetLocalHost(std::string_view host);
  // The bound address once connected, else the configured one or the
  // machine's name.
  virtual std::string GetLocalHost();

  // --- socket and notifications -------------------------------------------
  int SocketHandle() const noexcept { return socket_.fd(); }
  bool SocketOpen() const noexcept { return static_cast<bool>(socket_); }

  // Registers the socket for the notifications in mask (0 stops them).
  virtual int AsyncSelect(int fd, uint32_t mask);
  // Socket notifications (kSocketNotifyMessage) and any other message posted
  // to the hidden window. Returns the message result.
  virtual intptr_t HandleWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam);
  // Posts a message to the hidden window (any thread).
  bool PostToWindow(uint32_t message, uintptr_t wParam, intptr_t lParam) const {
    return window_.Post(message, wParam, lParam);
  }
  // The next zero-wait pass looks at the sockets instead of reusing the last
  // idle look.
  void ForgetIdleLook() noexcept { idleLooks_ = 0; }
  // Asks for another FD_READ pass (re-scan buffered bytes, resume reading).
  void RepostRead();
  // Watch for writability again after a send that could not take everything.
  void WatchWrite() noexcept;
  // A recv was made: FD_READ may be reported again.
  void ArmRead() noexcept { watch_.readArmed = true; }
  int LastReceiveError() const noexcept { return lastReceiveError_; }

  // --- traffic recording and trace ----------------------------------------
  // Passes a block to the debug trace and, when recording, to the record
  // file or string. 0, or 7 when the record file could not be written.
  int RecordTraffic(bool received, const char* data, int length);
  // Creates the record file named by RecordToFile (replacing one). 0 or 4.
  int OpenRecordFile();
  void CloseRecordFile() noexcept { recordFile_.Reset(); }
  const std::string& RecordedText() const noexcept { return recordedText_; }

 protected:
  // Socket error from errno with its message stored: "[code] text".
  int SetSocketError(int code);

  // Dispatches a notification as the engines do; FD_READ is followed by
  // FD_CLOSE when the read left a hard receive error.
  void DispatchNotification(uint32_t event, int error);

  FileHandle socket_;
  bool externalSocket_ = false;
  SocketWatch watch_;
  int lastReceiveError_ = 0;

  // Local address to bind.
  uint32_t localAddress4_ = 0;  // network byte order, 0 = any
  sockaddr_in6 localAddress6_{};
  std::string localHostText_;
  std::string localAddressText_;

  int inBufferSize_ = 0;
  int outBufferSize_ = 0;
  int useIPv6_ = 0;
  bool ipv6InUse_ = false;
  bool useGetAddrInfo_ = true;

  bool interruptFlag_ = false;
  bool interruptedResult_ = false;

 private:
  intptr_t WindowProc(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  // One pass of each engine: kPassStop ends the wait, kPassIdle means a
  // zero-wait pass answered from the last idle look (nothing done, no clock
  // read), kPassDone a pass that looked or waited.
  enum PassResult { kPassStop, kPassIdle, kPassDone };
  PassResult PumpOneMessage(int waitMs);
  PassResult SelectPass(int waitMs);
  // Runs a pending RequestInterrupt on this (the owning) thread.
  void TakeInterruptRequest();
  bool ReuseIdleLook(int waitMs) noexcept;
  void NoteLook(int waitMs, bool foundNothing) noexcept;

  HiddenWindow window_;
  int timeoutValue_ = 0;
  int64_t timeoutMs_ = 0;
  int64_t deadline_ = 0;
  const Clock* clock_ = &SteadyClock();
  bool timeoutInMilliseconds_ = false;
  bool absoluteTimeout_ = false;
  int selectWaitMillis_ = 20;
  bool useWindowsMessages_ = true;
  bool ignoreExternalEvents_ = false;
  bool ignoreOtherWindowEvents_ = false;
  bool ownDispatch_ = false;
  int operationDepth_ = 0;
  // The only state other threads touch: whether an operation runs, and a
  // pending interrupt request.
  std::atomic<bool> operationActive_{false};
  std::atomic<bool> interruptRequest_{false};
  bool repostRead_ = false;
  // Zero-wait passes that may still be answered from the last idle look.
  int idleLooks_ = 0;

  int qosTrafficType_ = 0;
  int qosDSCPValue_ = 0;
  TlsSettings tls_;

  std::string recordFileName_;
  FileHandle recordFile_;
  bool recordToString_ = false;
  std::string recordedText_;
};

}  // namespace corvane
