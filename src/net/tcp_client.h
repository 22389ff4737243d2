#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "net/firewall_filter.h"
#include "net/line_buffer.h"
#include "net/socket_base.h"

namespace corvane {

// DoRead modes.
enum ReadMode : int {
  rmNotify = 0,    // a read notification: drain the socket
  rmFinal = 1,     // final drain before close: deliver everything, rest included
  rmResume = 3,    // AcceptData turned on again
  rmBuffered = 4,  // only deliver what is already buffered
};

// One TCP connection: name resolution, non-blocking connect, reading into
// lines or chunks, sending, socket options, and the connection events.
//
// Override points for the layers above (TlsClient, ...). Received data,
// connection progress and errors travel upward through these virtuals; the
// defaults here make a plain connection complete on its own (they fire the
// Connected / ConnectionStatus / Disconnected / Error events to the sink):
//   OnConnectComplete(code)   TCP (and any tunnel) up, or failed with code
//   OnDisconnected(code)      the connection closed (code 0 = orderly)
//   OnDataIn(data, n, isLine) a received line (terminator stripped) or chunk
//   OnError(code, text)       a non-fatal report (fires Error)
//   OnReadyToSend()           the socket takes data again after a 10035
//   OnConnectionStatus(text, code)  a ConnectionStatus step
// The report/fire pairs let a layer change where events go:
//   ReportConnected(code) records the status for ConnectAndWait and calls
//   FireConnected(code, description) (default: the sink's Connected event).
// Sending: Send (one send), SendPlain (the channel's send: TLS overrides it to
// encrypt), SendBlocking (the whole buffer, waiting in the loop), with the
// hooks OnBeforeSend / OnSendProgress / OnAfterSend.
class TcpClient : public SocketBase {
 public:
  TcpClient();
  ~TcpClient() override;

  int HandleConfig(const ConfigItem& item, ByteBuffer& result) override;
  intptr_t HandleWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
  std::string GetLocalHost() override;
  bool WaitStep(int waitMs) override;
  void Interrupt() override;

  // --- connection ---------------------------------------------------------
  // true: start a non-blocking connect (completion arrives as
  // OnConnectComplete); false: close. 0, 102, 104, 116 or a socket error.
  virtual int Connect(bool on);
  // Starts the connection and waits for it under ConnectionTimeout
  // (connectionTimeout < 1: the general Timeout). Returns 0, the
  // connection's status code (with its description as the last error) or 301.
  int ConnectAndWait(int connectionTimeout = 0);
  // True when the connection is ready for the layer above (TLS: handshake done).
  virtual bool IsConnectionReady() const { return connected_ && !firewall_.NegotiationRunning(); }
  bool IsConnected() const noexcept { return connected_; }
  bool IsConnecting() const noexcept { return connecting_; }
  // Closes with code reported to OnDisconnected (deferred while a read runs).
  int Disconnect(int code);
  // Resets the TCP flags and closes the socket (unless supplied from outside).
  virtual void CloseSocket();

  // 101 while a socket exists (without a firewall). 0 or a resolution error.
  int SetRemoteHost(std::string_view host);
  const std::string& RemoteHost() const noexcept { return remoteHost_; }
  uint32_t RemoteAddress() const noexcept { return remoteAddress4_; }  // network order
  int SetRemotePort(int port);  // 100 while a socket exists
  int RemotePort() const noexcept { return remotePort_; }
  int SetLocalPort(int port);  // 106 while a socket exists
  // InBufferSize and OutBufferSize (SO_RCVBUF, SO_SNDBUF), applied at once
  // to an open socket. 0 or a socket error.
  int SetBufferSizes(int in, int out);
  // Sizes that queries report while the caller has set none. They are not
  // applied: a fixed SO_RCVBUF/SO_SNDBUF turns Linux's buffer autotuning off.
  void SetDefaultBufferSizes(int in, int out) noexcept;
  // Linger: close gracefully (with LingerTime) rather than with a reset.
  bool Linger() const noexcept { return linger_; }
  int GetLocalPort() const;

  // --- reading ------------------------------------------------------------
  virtual int DoRead(int mode);
  // ReadInto's answer when the ordinary read (DoRead) must handle what comes
  // next: bytes already buffered, a close, an error, the end of TLS.
  static constexpr int kReadElsewhere = -1;
  // Reads what the connection has straight into buffer, the reader's own
  // (TLS decrypts into it). received: bytes placed. 0 (received > 0), 10035
  // when nothing is there now (the next notification brings more), a socket
  // error, or kReadElsewhere.
  virtual int ReadInto(char* buffer, int room, int& received);
  // Received bytes are waiting in this layer (or a layer above the socket)
  // for the ordinary delivery.
  virtual bool InputBuffered() const { return lines_.Unread() > 0; }
  void SetAcceptData(bool on);
  bool AcceptData() const noexcept { return acceptData_; }
  // Reading is allowed (AcceptData, or a firewall negotiation runs). TLS may
  // widen it for its handshake.
  virtual bool ReadAllowed() const { return acceptData_ || firewall_.NegotiationRunning(); }
  int SetTerminator(std::string_view terminator);
  void SetSplitCRLF(bool on);
  bool SplitCRLF() const noexcept { return lines_.Split(); }
  virtual int SetMaxLineLength(int length);  // 112 while a socket exists
  virtual int GetMaxLineLength() const { return lines_.Capacity(); }
  LineBuffer& Lines() noexcept { return lines_; }

  // --- sending ------------------------------------------------------------
  // One send. throughFilter: on behalf of the layers above (10057 while a
  // firewall negotiation runs). 0, 10035 (not all taken; wait for
  // OnReadyToSend), 10057 or a socket error. LastSentCount() tells how much
  // was taken.
  int Send(const char* data, int length, int flags = 0, bool throughFilter = true);
  int LastSentCount() const noexcept { return lastSent_; }
  // Bytes straight to the socket (the firewall filter's negotiation).
  virtual int SendRaw(const char* data, int length);
  // The channel's send; accepted = bytes of data taken. TLS overrides it.
  virtual int SendPlain(const char* data, int length, int& accepted);
  // Sends everything, waiting in the loop while the socket is full; applies
  // MaxTransferRate. progress: OnSendProgress after each wait; notify:
  // OnBeforeSend / OnAfterSend. 0, a socket error, a hook's error or 301.
  int SendBlocking(const char* data, int64_t length, bool progress, bool notify);

  // --- events toward the layer above (override points) --------------------
  virtual void OnConnectComplete(int code);
  virtual void OnDisconnected(int code);
  virtual void OnDataIn(const char* data, int length, bool isLine);
  virtual void OnError(int code, std::string_view text);
  virtual void OnReadyToSend();
  virtual void OnConnectionStatus(std::string_view connectionEvent, int code);
  virtual int OnBeforeSend() { return 0; }
  virtual int OnAfterSend() { return 0; }
  virtual int OnSendProgress(int64_t bytesSent) { return 0; }

  // "OK" for 0; else the last error text, filled first from the socket error
  // table when empty (except for 118).
  std::string StatusDescription(int code);
  // Records code for ConnectAndWait and fires Connected.
  virtual void ReportConnected(int code);
  virtual void ReportDisconnected(int code);
  virtual void FireConnected(int code, const std::string& description);
  virtual void FireDisconnected(int code, const std::string& description);
  virtual void FireConnectionStatus(std::string_view connectionEvent, int code,
                                    const std::string& description);

  // --- settings -----------------------------------------------------------
  FirewallFilter& Firewall() noexcept { return firewall_; }
  int64_t MaxTransferRate() const noexcept { return maxTransferRate_; }
  int MaxReceiveDataTime() const noexcept { return maxReceiveDataTime_; }
  bool GracefullyShutDownSSL() const noexcept { return gracefullyShutDownSSL_; }
  // Adopts a connected socket supplied from outside (never closed here).
  int AttachSocket(int fd);

 protected:
  // One recv into buffer, re-arming the read notification: 0 with received
  // > 0, 10035, a socket error (kept as the last receive error), or
  // kReadElsewhere for a close (DoRead reports it).
  int ReceiveRaw(char* buffer, int room, int& received);
  // Delivery of one received piece through the firewall stage.
  void Deliver(const LineChunk& chunk);
  // Whether the socket layer records and traces the bytes (TLS records the
  // plaintext instead and turns this off while TLS is on).
  void SetSocketRecording(bool on) noexcept { recordAtSocket_ = on; }

  int ApplyKeepAlive();
  int ApplyLinger();
  int ApplyBufferSizes();
  int ApplyNoDelay(bool on);

  bool connected_ = false;
  bool connecting_ = false;
  bool acceptData_ = true;
  bool readRunning_ = false;
  bool closePending_ = false;
  int closeCode_ = 0;
  bool closing_ = false;

 private:
  int ResolveRemote();
  int Throttle();
  void ReadNotification();
  bool ReadMustStop(int mode) const;
  void DeliverAll(bool withRest);

  std::string remoteHost_;
  uint32_t remoteAddress4_ = 0;
  sockaddr_in6 remoteAddress6_{};
  int remotePort_ = 0;
  int localPort_ = 0;

  bool linger_ = true;
  int lingerTime_ = 0;
  bool keepAlive_ = false;
  int keepAliveTime_ = 0;
  int keepAliveInterval_ = 0;
  bool tcpNoDelay_ = false;
  bool bindIPv6Address_ = true;
  bool gracefullyShutDownSSL_ = false;
  bool recordAtSocket_ = true;
  bool inBufferSizeSet_ = false;  // by the caller: only then is the socket option applied
  bool outBufferSizeSet_ = false;

  int64_t maxTransferRate_ = 0;
  int64_t rateWindowStart_ = 0;
  int64_t rateLastSend_ = 0;
  int64_t rateBytes_ = 0;
  int maxReceiveDataTime_ = 0;
  int lastSent_ = 0;

  bool connectStatusSet_ = false;
  int connectStatusCode_ = 0;
  std::string connectStatusText_;

  LineBuffer lines_;
  FirewallFilter firewall_;
};

}  // namespace corvane
