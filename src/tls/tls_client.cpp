#include "tls/tls_client.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/base64.h"
#include "tls/channel/cert_validation.h"
#include "tls/channel/cipher_suite_names.h"
#include "tls/channel/handshake_reader.h"
#include "tls/channel/sec_status.h"
#include "tls/channel/tls_channel.h"
#include "tls/channel/tls_credentials.h"
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

struct TlsClient::Library {
  tls::CredentialCache credentials;
  tls::TlsChannel channel;
};

TlsClient::TlsClient() : lib_(std::make_unique<Library>()) { plainLines_.Create(LineBuffer::kDefaultCapacity); }

TlsClient::~TlsClient() = default;

// --- configuration -----------------------------------------------------------------

int TlsClient::HandleConfig(const ConfigItem& item, ByteBuffer& result) {
  if (item.Is("ParseSSLServerCert")) return ConfigBool(item, result, parseSSLServerCert_);
  if (item.Is("ALPNExtension")) return ConfigText(item, result, alpnExtension_);
  if (item.Is("SSLTrustedCAFile") || item.Is("SSLTrustedCADir")) {
    bool isFile = item.Is("SSLTrustedCAFile");
    std::string& field = isFile ? trustedCAFile_ : trustedCADir_;
    if (item.isQuery) return AnswerText(result, field);
    std::string path(item.Text());
    // Read now, so a wrong path fails here and not in every handshake.
    if (!path.empty() && !tls::LoadTrustStore(isFile ? path : "", isFile ? "" : path)) {
      return SetError(TlsErrorCode(TlsError::TrustedCALoad), TlsErrorText(TlsError::TrustedCALoad, path));
    }
    field = std::move(path);
    return 0;
  }
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
  return tlsOn_ ? tls::TlsServerEndPoint(lib_->channel.PeerCertificate()) : std::string();
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
  uint32_t status = lib_->credentials.Acquire(p, s.reuseSSLSession);
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
      lib_->channel.Reset();
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
  if (!lib_->channel.LibraryReason().empty()) text += " (" + lib_->channel.LibraryReason() + ")";
  return text;
}

void TlsClient::StartHandshake() {
  if (!lib_->credentials.Current()) {
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
  lib_->channel.SetPauseOnCertificate(parseSSLServerCert_);
  token_.clear();
  uint32_t st = lib_->channel.Start(lib_->credentials.Current(), ServerName(), tls::AlpnWireList(alpnExtension_), token_);
  Status(tls::EnabledVersionsText(lib_->credentials.Current()->EffectiveProtocols()));
  if (st != tls::kSecIContinueNeeded) {
    lastHandshakeError_ = st;
    handshakeRunning_ = false;
    lib_->channel.Reset();
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
    if (!decryptOnReceive_ || dropInput_ || !SocketOpen()) break;
    // Plaintext the library holds of a record read in part counts as input.
    if (Received().empty() && (handshakeRunning_ || !lib_->channel.PlainPending())) break;
    bool again = handshakeRunning_ ? HandshakeStep() : DecryptStep();
    if (!again) break;
  }
  processing_ = false;
}

bool TlsClient::HandshakeStep() {
  size_t consumed = 0;
  token_.clear();
  std::string_view input = Received();
  uint32_t st = lib_->channel.Step(input, consumed, token_);
  if (st == tls::kSecEIncompleteMessage) return false;
  if (tls::SecFailed(st)) {
    lib_->channel.Reset();
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
  if (lib_->channel.TakeClientCertificateRequest()) {
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
    X509* peer = lib_->channel.CertificateArrived() ? lib_->channel.PeerCertificate() : nullptr;
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
  return RejectCertificate(false);
}

bool TlsClient::RejectCertificate(bool established) {
  Status("Server certificate verification failed. Aborting connection...");
  const int code = TlsErrorCode(TlsError::CertificateRejected);
  SetError(code, TlsErrorText(TlsError::CertificateRejected));
  // After Connected(0) the close carries the code instead.
  if (established) {
    FailEstablished(code);
  } else {
    FailConnection(code);
  }
  return false;
}

bool TlsClient::RenegotiatedCertificateAccepted() {
  X509* peer = lib_->channel.PeerCertificate();
  if (peer != nullptr && tls::CertificateDer(peer) == handshakeCertificateDer_) return true;
  bool accepted = DecideServerCertificate();
  if (!Alive()) return false;
  if (!accepted) return RejectCertificate(true);
  if (peer != nullptr) handshakeCertificateDer_ = tls::CertificateDer(peer);
  return true;
}

bool TlsClient::FinishHandshake() {
  if (negotiatedAlpn_.empty()) negotiatedAlpn_ = lib_->channel.NegotiatedAlpn();
  if (state_ == ChannelState::Established) {
    // A renegotiation finished: the connection goes on, unless it brought a
    // certificate that would not have been accepted in the first place.
    if (Tls().recheckCertificateOnRenegotiation && !RenegotiatedCertificateAccepted()) return false;
    Status(lib_->channel.NegotiatedParametersText());
    if (!Alive()) return false;
    OnPlainReady();
    return Alive() && !Received().empty();
  }
  bool accepted = DecideServerCertificate();
  if (!Alive()) return false;
  if (!accepted) return RejectCertificate(false);
  state_ = ChannelState::Established;
  if (X509* peer = lib_->channel.PeerCertificate()) handshakeCertificateDer_ = tls::CertificateDer(peer);
  Status(lib_->channel.NegotiatedParametersText());
  if (!Alive()) return false;
  OnConnectionStatus("SSL handshake complete.", 0);
  if (!Alive()) return false;
  ReportConnected(0);
  if (!Alive()) return false;
  OnPlainReady();
  return Alive() && !Received().empty();
}

bool TlsClient::DecideServerCertificate() {
  X509* peer = lib_->channel.PeerCertificate();
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
  tls::X509StorePtr ownTrust;
  if (!trustedCAFile_.empty() || !trustedCADir_.empty()) {
    // Loaded per check: a CA file replaced on disk takes effect at once.
    ownTrust = tls::LoadTrustStore(trustedCAFile_, trustedCADir_);
    if (!ownTrust) {
      serverCertificate_ = {};
      serverCertificate_.status = TlsErrorText(TlsError::TrustedCALoad, trustedCAFile_ + trustedCADir_);
    }
  }
  uint32_t result = 274;
  if (ownTrust || (trustedCAFile_.empty() && trustedCADir_.empty())) {
    result = tls::ValidateServerCertificate(peer, lib_->channel.PeerChain(), ServerName(), s.sslSecurityFlags,
                                            s.sslIncludeCertChain, serverCertificate_, ownTrust.get());
  }
  bool accept = result == 0;
  if (result == 274 || result == 275 || result == 285) {
    SetError(static_cast<int>(result), serverCertificate_.status);
  }
  if (!accept) {
    // The error alone does not say what was wrong with the certificate.
    Log(1, "Server certificate not trusted: " + serverCertificate_.status + " Subject: " +
               serverCertificate_.subject);
    OnError(TlsErrorCode(TlsError::CertificateFault), TlsErrorText(TlsError::CertificateFault, result));
  }
  return FireSSLServerAuthentication(serverCertificate_.encoded, serverCertificate_.subject,
                                     serverCertificate_.issuer, serverCertificate_.status, accept);
}

bool TlsClient::DecryptStep() {
  size_t consumed = 0, produced = 0;
  token_.clear();
  plain_.clear();
  // Records are decrypted straight into the free end of the plaintext
  // buffer, several at a time, and go up as one piece; only when it is full
  // (the layer above takes nothing now) does plaintext collect in a string.
  int room = 0;
  char* space = overflow_.empty() ? plainLines_.FreeSpace(room) : nullptr;
  const bool inPlace = space != nullptr && room > 0;
  uint32_t st = inPlace ? lib_->channel.DecryptInto(Received(), consumed, space, static_cast<size_t>(room),
                                                    produced, token_)
                        : lib_->channel.Decrypt(Received(), consumed, plain_, token_);
  if (!token_.empty()) {
    std::string out = std::move(token_);
    SendCipher(out.data(), out.size());
  }
  if (st == tls::kSecEOk || st == tls::kSecIContextExpired) Consume(consumed);
  if (inPlace && produced > 0) {
    // Records before a close_notify or a bad record still go up.
    RecordTraffic(true, space, static_cast<int>(produced));
    plainLines_.Commit(static_cast<int>(produced));
    DeliverBufferedPlain(false);
    if (!Alive()) return false;
  }
  switch (st) {
    case tls::kSecEOk:
      if (!plain_.empty()) {
        RecordTraffic(true, plain_.data(), static_cast<int>(plain_.size()));
        DeliverPlain(plain_.data(), plain_.size());
      }
      return (consumed > 0 || produced > 0) && Alive();
    case tls::kSecEIncompleteMessage:
      return false;
    case tls::kSecIContextExpired: {
      // Plaintext the layer above has not taken yet goes up first: none is
      // taken while a connect waits, and the server's last records may come
      // in the same read as the end of the handshake. What follows the
      // close_notify is plain TCP again.
      std::string rest(plainLines_.Peek());
      rest += overflow_;
      rest += Received();
      plainLines_.Reset();
      overflow_.clear();
      PeerEndsTls();
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
      lib_->channel.RefuseRenegotiation(Received(), consumed, token_);
      if (!token_.empty()) {
        std::string out = std::move(token_);
        SendCipher(out.data(), out.size());
      }
      Consume(consumed);
      return consumed > 0;
    default:
      DecryptFailed(st);
      return false;
  }
}

void TlsClient::PeerEndsTls() {
  Status("Server signaled end of session.");
  peerEndedTls_ = true;
  SendCloseNotify(true, true);
}

void TlsClient::DecryptFailed(uint32_t status) {
  std::string text = TlsErrorText(TlsError::Decrypt, status);
  SetError(TlsErrorCode(TlsError::Decrypt), text);
  OnError(TlsErrorCode(TlsError::Decrypt), text);
  FailEstablished(TlsErrorCode(TlsError::Decrypt));
}

bool TlsClient::InputBuffered() const {
  if (!tlsOn_) return TcpClient::InputBuffered();
  // Plaintext the library still holds is read by ReadInto as well.
  return plainLines_.Unread() > 0 || !overflow_.empty();
}

int TlsClient::ReadInto(char* buffer, int room, int& received) {
  received = 0;
  if (!tlsOn_) return TcpClient::ReadInto(buffer, room, received);
  if (state_ != ChannelState::Established || handshakeRunning_ || dropInput_ || !decryptOnReceive_ ||
      processing_ || plainLines_.Unread() > 0 || !overflow_.empty() || Firewall().NegotiationRunning() ||
      !SocketOpen() || room <= 0) {
    return kReadElsewhere;
  }
  LineBuffer& cipher = Lines();
  if (!Received().empty()) {
    // The part of a record the ordinary read left behind goes back in front.
    if (cipher.Unread() > 0 || cipher.Append(Received().data(), static_cast<int>(Received().size())) != 0) {
      return kReadElsewhere;
    }
    ClearReceived();
  }
  for (;;) {
    size_t consumed = 0, produced = 0;
    token_.clear();
    uint32_t st = lib_->channel.DecryptInto(cipher.Peek(), consumed, buffer + received,
                                            static_cast<size_t>(room - received), produced, token_);
    cipher.Consume(static_cast<int>(consumed));
    if (!token_.empty()) {
      std::string out = std::move(token_);
      SendCipher(out.data(), out.size());
    }
    // Records before a close_notify or a bad record still count.
    if (produced > 0) RecordTraffic(true, buffer + received, static_cast<int>(produced));
    received += static_cast<int>(produced);
    switch (st) {
      case tls::kSecEOk:
        if (received == room || !SocketOpen()) return 0;
        continue;
      case tls::kSecEIncompleteMessage: {
        if (received > 0) return 0;
        int space = 0;
        char* free = cipher.FreeSpace(space);
        if (free == nullptr || space <= 0) return kReadElsewhere;
        int got = 0;
        if (int rc = ReceiveRaw(free, space, got); rc != 0) return rc;
        cipher.Commit(got);
        continue;
      }
      case tls::kSecIRenegotiate:
        return received > 0 ? 0 : kReadElsewhere;
      case tls::kSecIContextExpired:
        // What follows the close_notify in the socket's buffer is plain TCP.
        PeerEndsTls();
        RepostRead();
        return received > 0 ? 0 : kReadElsewhere;
      default:
        DecryptFailed(st);
        return received > 0 ? 0 : kReadElsewhere;
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
    if ((!Received().empty() || lib_->channel.PlainPending()) && !handshakeRunning_) ProcessReceived();
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
    uint32_t st = lib_->channel.Encrypt(std::string_view(data, chunk), records);
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
  if (lib_->channel.HasContext() && encryptOnSend_) {
    token_.clear();
    lib_->channel.Shutdown(token_);
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
  lib_->channel.Reset();
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
  lib_->channel.Reset();
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
  lib_->channel.Reset();
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
  if (tlsOn_ || lib_->channel.HasContext()) TlsOff(false);
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
