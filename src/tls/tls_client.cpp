#include "tls/tls_client.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/base64.h"
#include "tls/channel/cipher_suite_names.h"
#include "tls/channel/handshake_reader.h"
#include "tls/channel/sec_status.h"
#include "tls/channel/tls_errors.h"
#include "tls/channel/x500_name.h"

namespace corvane {

using tls::TlsError;
using tls::TlsErrorCode;
using tls::TlsErrorText;

namespace {

constexpr int kWouldBlock = 10035;
constexpr int kNotConnected = 10057;
// Plaintext encrypted per send call: a few records in one socket write.
constexpr size_t kSendBatch = 4 * 16384;

std::string Counted(const char* format, size_t n) {
  char buf[96];
  std::snprintf(buf, sizeof buf, format, static_cast<int>(n));
  return buf;
}

}  // namespace

TlsClient::TlsClient() { plainLines_.Create(LineBuffer::kDefaultCapacity); }

TlsClient::~TlsClient() = default;

// --- configuration -----------------------------------------------------------------

int TlsClient::HandleConfig(const ConfigItem& item, ByteBuffer& result) {
  if (item.Is("ParseSSLServerCert")) return ConfigBool(item, result, parseSSLServerCert_);
  if (item.Is("ALPNExtension")) return ConfigText(item, result, alpnExtension_);
  return TcpClient::HandleConfig(item, result);
}

int TlsClient::SetTlsEnabled(bool on) {
  tlsEnabled_ = on;
  return 0;
}

int TlsClient::SetSSLAcceptServerCertEncoded(std::string_view text) {
  acceptedCertificateDer_.clear();
  if (text.empty()) return 0;
  std::string_view body = text;
  if (size_t begin = body.find("-----BEGIN"); begin != std::string_view::npos) {
    size_t start = body.find('\n', begin);
    size_t end = body.find("-----END", begin);
    if (start == std::string_view::npos || end == std::string_view::npos || end < start) {
      return SetError(281, "The certificate could not be read.");
    }
    body = body.substr(start + 1, end - start - 1);
  }
  std::string der;
  if (!Base64Decode(body, der) || der.empty()) return SetError(281, "The certificate could not be read.");
  acceptedCertificateDer_ = std::move(der);
  return 0;
}

int TlsClient::SetMaxLineLength(int length) { return TcpClient::SetMaxLineLength(length); }

int TlsClient::GetMaxLineLength() const {
  return tlsOn_ ? plainLines_.Capacity() : TcpClient::GetMaxLineLength();
}

std::string TlsClient::ChannelBinding() const {
  return tlsOn_ ? tls::TlsServerEndPoint(channel_.PeerCertificate()) : std::string();
}

// --- connecting --------------------------------------------------------------------------

int TlsClient::AcquireCredentials() {
  const TlsSettings& s = Tls();
  tls::CredentialParams p;
  p.useDefaultCredentials = s.useDefaultCredentials;
  // A store or subject that did not load fails here rather than going on
  // without the certificate the caller asked for.
  if (!clientCertificate_ && clientCertSelection_.FailureCode() != 0) {
    return SetError(clientCertSelection_.FailureCode(), clientCertSelection_.FailureMessage());
  }
  p.clientCertificate = clientCertificate_ ? clientCertificate_ : clientCertSelection_.Held();
  p.enabledProtocols = s.sslEnabledProtocols;
  p.cipherStrength = s.sslCipherStrength;
  p.algorithmList = s.sslAlgorithmList;
  p.provider = s.sslProvider;
  uint32_t status = credentials_.Acquire(p, s.reuseSSLSession);
  if (status != tls::kSecEOk) {
    return SetError(TlsErrorCode(TlsError::AcquireCredentials), TlsErrorText(TlsError::AcquireCredentials, status));
  }
  return 0;
}

int TlsClient::Connect(bool on) {
  if (!on) {
    if (state_ == ChannelState::Established && tlsOn_) {
      if (!pending_.empty() && Linger()) {
        FlushPending();
        if (!pending_.empty()) {
          return SetError(TlsErrorCode(TlsError::LingerPending), TlsErrorText(TlsError::LingerPending));
        }
      }
      SendCloseNotify(true, false);
    } else if (state_ == ChannelState::Handshaking) {
      state_ = ChannelState::None;
      handshakeRunning_ = false;
      channel_.Reset();
      dropInput_ = true;
    }
    return TcpClient::Connect(false);
  }
  if (!tlsEnabled_) return TcpClient::Connect(true);
  ClearError();
  if (state_ != ChannelState::None) {
    return SetError(TlsErrorCode(TlsError::AlreadyConnected), TlsErrorText(TlsError::AlreadyConnected));
  }
  if (int rc = AcquireCredentials(); rc != 0) return rc;
  lastHandshakeError_ = 0xFFFFFFFF;
  channelFailure_ = 0;
  plainAfterTls_ = false;
  state_ = ChannelState::Handshaking;
  Status("Attempting to connect to server.");
  int rc = TcpClient::Connect(true);
  if (rc != 0) state_ = ChannelState::None;
  return rc;
}

bool TlsClient::IsConnectionReady() const {
  if (!TcpClient::IsConnectionReady()) return false;
  return !tlsEnabled_ || state_ == ChannelState::Established || plainAfterTls_;
}

bool TlsClient::ReadAllowed() const {
  // The handshake reads even while the layer above takes no data.
  return TcpClient::ReadAllowed() || (tlsOn_ && handshakeRunning_);
}

void TlsClient::OnConnectComplete(int code) {
  if (!tlsEnabled_) {
    TcpClient::OnConnectComplete(code);
    return;
  }
  OnConnectionStatus(code != 0 ? "Remote host connection failed." : "Remote host connection complete.", code);
  if (code != 0) {
    state_ = ChannelState::None;
    OnConnectionStatus("Connection to host failed.", code);
    ReportConnected(code);
    return;
  }
  Status("Socket connection established.");
  StartHandshake();
}

std::string TlsClient::HandshakeFailureText(uint32_t status) const {
  // The status alone does not tell a refused protocol version from a cipher
  // or certificate problem; the library's reason does.
  std::string text = TlsErrorText(TlsError::HandshakeStep, status);
  if (!channel_.LibraryReason().empty()) text += " (" + channel_.LibraryReason() + ")";
  return text;
}

void TlsClient::StartHandshake() {
  if (!credentials_.Current()) {
    // TLS was switched on while the TCP connection was already under way.
    if (int rc = AcquireCredentials(); rc != 0) {
      std::string text = LastErrorText().str();
      OnError(rc, text);
      FailConnection(rc);
      return;
    }
  }
  encryptOnSend_ = decryptOnReceive_ = true;
  ClearReceived();
  pending_.clear();
  overflow_.clear();
  // Line splitting applies to plaintext: the socket buffer turns raw and the
  // plaintext buffer takes its settings.
  if (!tlsOn_) {
    plainLines_.Create(Lines().Capacity());
    plainLines_.SetTerminator(Lines().Terminator());
    plainLines_.SetSplit(Lines().Split());
    Lines().SetTerminator("");
    Lines().SetSplit(false);
    tlsOn_ = true;
  }
  plainLines_.Reset();
  SetSocketRecording(false);
  dropInput_ = false;
  peerEndedTls_ = false;
  earlyLookDone_ = false;
  negotiatedAlpn_.clear();
  serverCertificate_ = {};

  Status("Starting secure channel handshake.");
  handshakeRunning_ = true;
  channel_.SetPauseOnCertificate(parseSSLServerCert_);
  token_.clear();
  uint32_t st = channel_.Start(credentials_.Current(), ServerName(), tls::AlpnWireList(alpnExtension_), token_);
  Status(tls::EnabledVersionsText(credentials_.Current()->EffectiveProtocols()));
  if (st != tls::kSecIContinueNeeded) {
    lastHandshakeError_ = st;
    handshakeRunning_ = false;
    channel_.Reset();
    std::string text = HandshakeFailureText(st);
    SetError(TlsErrorCode(TlsError::HandshakeStep), text);
    OnError(TlsErrorCode(TlsError::HandshakeStep), text);
    FailConnection(TlsErrorCode(TlsError::HandshakeStep));
    return;
  }
  if (!token_.empty()) {
    std::string suites;
    if (tls::ReadClientHelloSuites(token_, suites)) Status(suites);
    std::string hello = std::move(token_);
    SendCipher(hello.data(), hello.size());
    Status(Counted("Sending %d bytes of handshake data.", hello.size()));
  }
}

// --- receiving ------------------------------------------------------------------------------

void TlsClient::OnDataIn(const char* data, int length, bool isLine) {
  if (dropInput_) return;
  if (!decryptOnReceive_) {
    OnPlainDataIn(data, length, isLine);
    return;
  }
  if (handshakeRunning_) Status(Counted("Receiving %d bytes of handshake data.", static_cast<size_t>(length)));
  if (receivedAt_ > 0) {
    received_.erase(0, receivedAt_);
    receivedAt_ = 0;
  }
  received_.append(data, static_cast<size_t>(length));
  ProcessReceived();
}

void TlsClient::ProcessReceived() {
  if (processing_) return;
  processing_ = true;
  for (;;) {
    if (!decryptOnReceive_ || dropInput_ || Received().empty() || !SocketOpen()) break;
    bool again = handshakeRunning_ ? HandshakeStep() : DecryptStep();
    if (!again) break;
  }
  processing_ = false;
}

bool TlsClient::HandshakeStep() {
  size_t consumed = 0;
  token_.clear();
  std::string_view input = Received();
  uint32_t st = channel_.Step(input, consumed, token_);
  if (st == tls::kSecEIncompleteMessage) return false;
  if (tls::SecFailed(st)) {
    channel_.Reset();
    handshakeRunning_ = false;
    lastHandshakeError_ = st;
    std::string text = HandshakeFailureText(st);
    SetError(TlsErrorCode(TlsError::HandshakeStep), text);
    OnError(TlsErrorCode(TlsError::HandshakeStep), text);
    // A renegotiation happens on a channel the caller was told is up.
    if (state_ == ChannelState::Established) {
      FailEstablished(TlsErrorCode(TlsError::HandshakeStep));
    } else {
      FailConnection(TlsErrorCode(TlsError::HandshakeStep));
    }
    return false;
  }
  // Listeners run below and may close the connection; input points into
  // the receive buffer and is only used while the connection is alive.
  std::string out = std::move(token_);
  token_.clear();
  std::string certificateRecords;
  if (parseSSLServerCert_ && !earlyLookDone_) certificateRecords.assign(input.substr(0, consumed));
  if (tls::StartsWithServerHello(input)) {
    tls::ServerHelloInfo hello;
    if (tls::ReadServerHello(input, hello)) {
      if (!hello.alpn.empty()) negotiatedAlpn_ = hello.alpn;
      Status("Selected TLS Version: " + tls::TlsVersionName(hello.version));
      if (!Alive()) return false;
      Status("Selected Cipher Suite: " + tls::CipherSuiteText(hello.suite));
      if (!Alive()) return false;
    }
  }
  if (!out.empty()) {
    SendCipher(out.data(), out.size());
    Status(Counted("Sending %d handshake bytes.", out.size()));
    if (!Alive()) return false;
  }
  if (channel_.TakeClientCertificateRequest()) {
    Status("Client certificate requested from server.");
    if (!Alive()) return false;
  }
  if (parseSSLServerCert_ && !earlyLookDone_ && !EarlyCertificateLook(certificateRecords)) return false;
  Consume(consumed);
  if (st == tls::kSecEOk) {
    handshakeRunning_ = false;
    return FinishHandshake();
  }
  return consumed > 0 && !Received().empty();
}

// The certificate offered before the handshake ends: read from the plain
// handshake records (TLS 1.2), or as soon as the library has it (TLS 1.3
// sends it encrypted). False when the connection was failed.
bool TlsClient::EarlyCertificateLook(std::string_view input) {
  tls::CertificateReport report;
  if (tls::ParseCertificateFromHandshake(input, report) != 0) {
    X509* peer = channel_.CertificateArrived() ? channel_.PeerCertificate() : nullptr;
    if (peer == nullptr) return true;  // not here yet
    report.subject = tls::X500NameString(X509_get_subject_name(peer));
    report.issuer = tls::X500NameString(X509_get_issuer_name(peer));
    report.encoded = Base64Encode(tls::CertificateDer(peer), {.lineBreaks = true});
    report.status = "Parsed";
  }
  earlyLookDone_ = true;
  bool accepted = FireSSLServerAuthentication(report.encoded, report.subject, report.issuer, report.status, false);
  if (!Alive()) return false;
  if (accepted) return true;
  Status("Server certificate verification failed. Aborting connection...");
  SetError(TlsErrorCode(TlsError::CertificateRejected), TlsErrorText(TlsError::CertificateRejected));
  FailConnection(TlsErrorCode(TlsError::CertificateRejected));
  return false;
}

bool TlsClient::FinishHandshake() {
  if (negotiatedAlpn_.empty()) negotiatedAlpn_ = channel_.NegotiatedAlpn();
  if (state_ == ChannelState::Established) {
    // A renegotiation finished: the connection simply goes on.
    Status(channel_.NegotiatedParametersText());
    if (!Alive()) return false;
    OnPlainReady();
    return Alive() && !Received().empty();
  }
  bool accepted = DecideServerCertificate();
  if (!Alive()) return false;
  if (!accepted) {
    Status("Server certificate verification failed. Aborting connection...");
    SetError(TlsErrorCode(TlsError::CertificateRejected), TlsErrorText(TlsError::CertificateRejected));
    FailConnection(TlsErrorCode(TlsError::CertificateRejected));
    return false;
  }
  state_ = ChannelState::Established;
  Status(channel_.NegotiatedParametersText());
  if (!Alive()) return false;
  OnConnectionStatus("SSL handshake complete.", 0);
  if (!Alive()) return false;
  ReportConnected(0);
  if (!Alive()) return false;
  OnPlainReady();
  return Alive() && !Received().empty();
}

bool TlsClient::DecideServerCertificate() {
  X509* peer = channel_.PeerCertificate();
  if (peer == nullptr) {
    OnError(TlsErrorCode(TlsError::NoServerCertificate),
            TlsErrorText(TlsError::NoServerCertificate, tls::kSecECertUnknown));
    return false;
  }
  std::string der = tls::CertificateDer(peer);
  if (!acceptedCertificateDer_.empty() && der == acceptedCertificateDer_) {
    serverCertificate_ = {};
    serverCertificate_.subject = tls::X500NameString(X509_get_subject_name(peer));
    serverCertificate_.issuer = tls::X500NameString(X509_get_issuer_name(peer));
    serverCertificate_.encoded = tls::PemCertificate(der);
    return true;
  }
  const TlsSettings& s = Tls();
  uint32_t result = tls::ValidateServerCertificate(peer, channel_.PeerChain(), ServerName(), s.sslSecurityFlags,
                                                   s.sslIncludeCertChain, serverCertificate_);
  bool accept = result == 0;
  if (result == 274 || result == 275 || result == 285) {
    SetError(static_cast<int>(result), serverCertificate_.status);
  }
  if (!accept) {
    OnError(TlsErrorCode(TlsError::CertificateFault), TlsErrorText(TlsError::CertificateFault, result));
  }
  return FireSSLServerAuthentication(serverCertificate_.encoded, serverCertificate_.subject,
                                     serverCertificate_.issuer, serverCertificate_.status, accept);
}

bool TlsClient::DecryptStep() {
  size_t consumed = 0;
  token_.clear();
  plain_.clear();
  uint32_t st = channel_.Decrypt(Received(), consumed, plain_, token_);
  if (!token_.empty()) {
    std::string out = std::move(token_);
    SendCipher(out.data(), out.size());
  }
  switch (st) {
    case tls::kSecEOk:
      Consume(consumed);
      if (!plain_.empty()) {
        RecordTraffic(true, plain_.data(), static_cast<int>(plain_.size()));
        DeliverPlain(plain_.data(), plain_.size());
      }
      return consumed > 0 && Alive();
    case tls::kSecEIncompleteMessage:
      return false;
    case tls::kSecIContextExpired: {
      Consume(consumed);
      Status("Server signaled end of session.");
      peerEndedTls_ = true;
      SendCloseNotify(true, true);
      // What follows the close_notify is plain TCP again.
      std::string rest(Received());
      ClearReceived();
      if (!rest.empty()) Lines().Append(rest.data(), static_cast<int>(rest.size()));
      RepostRead();
      return false;
    }
    case tls::kSecIRenegotiate:
      if (Tls().sslEnableRenegotiation) {
        handshakeRunning_ = true;
        return true;
      }
      Status("Renegotiate is disabled. Send NO_RENEGOTIATION alert message.");
      token_.clear();
      channel_.RefuseRenegotiation(Received(), consumed, token_);
      if (!token_.empty()) {
        std::string out = std::move(token_);
        SendCipher(out.data(), out.size());
      }
      Consume(consumed);
      return consumed > 0;
    default: {
      std::string text = TlsErrorText(TlsError::Decrypt, st);
      SetError(TlsErrorCode(TlsError::Decrypt), text);
      OnError(TlsErrorCode(TlsError::Decrypt), text);
      FailEstablished(TlsErrorCode(TlsError::Decrypt));
      return false;
    }
  }
}

void TlsClient::DeliverPlain(const char* data, size_t length) {
  if (overflow_.empty()) {
    int room = 0;
    char* space = plainLines_.FreeSpace(room);
    if (space == nullptr) {
      OnError(TlsErrorCode(TlsError::PlainBufferMemory), TlsErrorText(TlsError::PlainBufferMemory));
      TcpClient::Connect(false);
      return;
    }
    size_t n = std::min(length, static_cast<size_t>(room));
    std::memcpy(space, data, n);
    plainLines_.Commit(static_cast<int>(n));
    data += n;
    length -= n;
  }
  if (length > 0) overflow_.append(data, length);
  DeliverBufferedPlain(false);
}

void TlsClient::DeliverBufferedPlain(bool withRest) {
  for (;;) {
    LineChunk chunk;
    while (TcpClient::ReadAllowed() && !InterruptFlag() && plainLines_.Next(chunk)) {
      NoteActivity();
      OnPlainDataIn(chunk.data, chunk.length, chunk.isLine);
      if (!tlsOn_) return;
    }
    if (!TcpClient::ReadAllowed() || InterruptFlag() || overflow_.empty()) break;
    int room = 0;
    char* space = plainLines_.FreeSpace(room);
    if (space == nullptr || room <= 0) break;
    size_t n = std::min(overflow_.size(), static_cast<size_t>(room));
    std::memcpy(space, overflow_.data(), n);
    plainLines_.Commit(static_cast<int>(n));
    overflow_.erase(0, n);
  }
  if (withRest && overflow_.empty()) {
    LineChunk chunk;
    if (plainLines_.TakeRest(chunk)) OnPlainDataIn(chunk.data, chunk.length, false);
  }
}

int TlsClient::DoRead(int mode) {
  if (tlsOn_ && state_ == ChannelState::Established) {
    DeliverBufferedPlain(mode == rmFinal);
    if (!Received().empty() && !handshakeRunning_) ProcessReceived();
    if (mode == rmBuffered) return 0;
  }
  return TcpClient::DoRead(mode);
}

// --- sending ----------------------------------------------------------------------------------

int TlsClient::SendCipher(const char* data, size_t length) {
  if (!pending_.empty()) {
    int rc = SendRaw(pending_.data(), static_cast<int>(pending_.size()));
    pending_.erase(0, static_cast<size_t>(LastSentCount()));
    if (rc != 0) {
      pending_.append(data, length);
      return rc;
    }
  }
  if (length == 0) return 0;
  int rc = SendRaw(data, static_cast<int>(length));
  if (rc == kWouldBlock) {
    size_t sent = static_cast<size_t>(LastSentCount());
    pending_.assign(data + sent, length - sent);
  }
  return rc;
}

int TlsClient::FlushPending() {
  if (pending_.empty()) return 0;
  int rc = SendRaw(pending_.data(), static_cast<int>(pending_.size()));
  pending_.erase(0, static_cast<size_t>(LastSentCount()));
  return rc;
}

int TlsClient::SendPlain(const char* data, int length, int& accepted) {
  if (tlsEnabled_ && state_ == ChannelState::Handshaking && !tlsOn_) {
    accepted = 0;
    return SetError(kNotConnected, "");  // TCP up, handshake not started yet
  }
  if (peerEndedTls_ && tlsEnabled_) {
    // The server ended TLS: what it sends is read as plain, but a request
    // meant for a TLS connection never goes out in the clear.
    accepted = 0;
    return SetError(kNotConnected, "");
  }
  if (!tlsOn_ || !encryptOnSend_) return TcpClient::SendPlain(data, length, accepted);
  accepted = 0;
  ClearError();
  if (length <= 0) return FlushPending();
  if (state_ != ChannelState::Established) return SetError(kNotConnected, "");
  if (handshakeRunning_) return SetError(kWouldBlock, "");
  if (int rc = FlushPending(); rc != 0) return rc;
  std::string records;
  size_t left = static_cast<size_t>(length);
  while (left > 0) {
    size_t chunk = std::min(left, kSendBatch);
    RecordTraffic(false, data, static_cast<int>(chunk));
    records.clear();
    uint32_t st = channel_.Encrypt(std::string_view(data, chunk), records);
    if (st != tls::kSecEOk) {
      return SetError(TlsErrorCode(TlsError::Encrypt), TlsErrorText(TlsError::Encrypt, st));
    }
    int rc = SendCipher(records.data(), records.size());
    accepted += static_cast<int>(chunk);
    data += chunk;
    left -= chunk;
    if (rc != 0) return rc;
  }
  return 0;
}

void TlsClient::OnReadyToSend() {
  if (!tlsOn_) {
    TcpClient::OnReadyToSend();
    return;
  }
  FlushPending();
  if (state_ != ChannelState::Established || !pending_.empty()) return;
  OnPlainReady();
}

// --- closing -------------------------------------------------------------------------------------

void TlsClient::SendCloseNotify(bool release, bool plainContinues) {
  if (channel_.HasContext() && encryptOnSend_) {
    token_.clear();
    channel_.Shutdown(token_);
    if (!token_.empty()) {
      // The socket's send starts a new operation and clears the last error;
      // a close after a failure must leave that failure readable, as a
      // plain TCP close does. Whether the alert got out is nobody's concern.
      std::string keptText = LastErrorText().str();
      int keptCode = LastErrorCode();
      std::string out = std::move(token_);
      SendCipher(out.data(), out.size());
      SetError(keptCode, keptText);
      SetLastErrorCode(keptCode);
    }
  }
  encryptOnSend_ = false;
  if (release) {
    plainAfterTls_ = plainContinues && SocketOpen();
    state_ = ChannelState::None;
    TlsOff(plainContinues);
  }
}

void TlsClient::EndTls() {
  if (!tlsOn_) return;
  if (GracefullyShutDownSSL()) {
    SendCloseNotify(false, true);
    return;
  }
  plainAfterTls_ = state_ == ChannelState::Established;
  state_ = ChannelState::None;
  TlsOff(true);
}

void TlsClient::TlsOff(bool plainContinues) {
  channel_.Reset();
  handshakeRunning_ = false;
  encryptOnSend_ = decryptOnReceive_ = false;
  // Ciphertext of a context that is gone must never reach the layer above.
  if (!plainContinues) dropInput_ = true;
  if (tlsOn_) {
    Lines().SetTerminator(plainLines_.Terminator());
    Lines().SetSplit(plainLines_.Split());
    tlsOn_ = false;
  }
  SetSocketRecording(true);
}

void TlsClient::FailConnection(int code) {
  // Closing before the handshake finished: the caller learns it through
  // Connected with the code. Bytes still arriving are not read any more.
  state_ = ChannelState::None;
  handshakeRunning_ = false;
  channel_.Reset();
  dropInput_ = true;
  ClearReceived();
  OnConnectionStatus("SSL handshake failed.", code);
  ReportConnected(code & 0xFFFF);
  TcpClient::Connect(false);
}

void TlsClient::FailEstablished(int code) {
  // The caller already had Connected(0): the close carries the code to
  // Disconnected instead, and the channel's bytes are not read any more.
  channelFailure_ = code;
  handshakeRunning_ = false;
  channel_.Reset();
  dropInput_ = true;
  ClearReceived();
  Disconnect(code);
}

void TlsClient::OnDisconnected(int code) {
  if (!tlsOn_) {
    TcpClient::OnDisconnected(code);
    return;
  }
  OnConnectionStatus("Remote host disconnected.", code);
  DeliverBufferedPlain(true);
  bool wasHandshaking = handshakeRunning_ && state_ == ChannelState::Handshaking;
  bool wasEstablished = state_ == ChannelState::Established;
  state_ = ChannelState::None;
  handshakeRunning_ = false;
  if (wasHandshaking) {
    std::string text = TlsErrorText(TlsError::DisconnectedInHandshake, lastHandshakeError_);
    SetError(TlsErrorCode(TlsError::DisconnectedInHandshake), text);
    OnError(TlsErrorCode(TlsError::DisconnectedInHandshake), text);
    OnConnectionStatus("SSL handshake failed.", static_cast<int>(lastHandshakeError_));
    ReportConnected(TlsErrorCode(TlsError::DisconnectedInHandshake));
  } else if (wasEstablished) {
    OnConnectionStatus("SSL connection terminated.", code);
    ReportDisconnected(code);
  }
  TlsOff(false);
}

void TlsClient::CloseSocket() {
  TcpClient::CloseSocket();
  if (tlsOn_ || channel_.HasContext()) TlsOff(false);
  dropInput_ = false;
  state_ = ChannelState::None;
  plainAfterTls_ = false;
  peerEndedTls_ = false;
  ClearReceived();
  pending_.clear();
  overflow_.clear();
  plainLines_.Reset();
}

// --- events --------------------------------------------------------------------------------------------

void TlsClient::FireSSLStatus(std::string_view message) {
  if (RESTEvents* sink = EventSink()) {
    std::string m(message);
    sink->SSLStatus(m);
  }
}

bool TlsClient::FireSSLServerAuthentication(const std::string& certEncoded, const std::string& subject,
                                            const std::string& issuer, const std::string& status,
                                            bool accept) {
  RESTEvents* sink = EventSink();
  if (sink == nullptr) return accept;
  std::string e = certEncoded, s = subject, i = issuer, st = status;
  bool a = accept;
  sink->SSLServerAuthentication(e, s, i, st, a);
  return a;
}

}  // namespace corvane
