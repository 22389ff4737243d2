#include "tls/channel/tls_channel.h"

#include <arpa/inet.h>
#include <openssl/err.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tls/channel/algorithm_ids.h"
#include "tls/channel/handshake_reader.h"
#include "tls/channel/sec_status.h"

namespace corvane::tls {

namespace {

constexpr uint8_t kRecordHandshake = 22;
constexpr int kReadBlock = 16384;

int ChannelIndex() {
  static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

TlsChannel* ChannelOf(SSL* ssl) {
  return ssl != nullptr ? static_cast<TlsChannel*>(SSL_get_ex_data(ssl, ChannelIndex())) : nullptr;
}

// The library would judge the chain here; the component judges it after
// the handshake, so this only notes that the certificate is in.
int CertificateArrivedCallback(X509_STORE_CTX* store, void*) {
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  if (TlsChannel* channel = ChannelOf(ssl)) channel->NoteCertificate();
  return 1;
}

// Called only when the server asks for a certificate and none is configured.
int ClientCertificateCallback(SSL* ssl, X509**, EVP_PKEY**) {
  if (TlsChannel* channel = ChannelOf(ssl)) channel->NoteClientCertificateRequest();
  return 0;  // continue without one
}

bool IsIpLiteral(const std::string& host) {
  unsigned char buf[16];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

// Library reasons translated into the provider statuses callers know.
uint32_t StatusForReason(int reason, uint32_t fallback) {
  switch (reason) {
    case SSL_R_UNSUPPORTED_PROTOCOL:
    case SSL_R_NO_PROTOCOLS_AVAILABLE:
    case SSL_R_WRONG_SSL_VERSION:
    case SSL_R_WRONG_VERSION_NUMBER:
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
    case SSL_R_NO_SHARED_CIPHER:
    case SSL_R_NO_CIPHERS_AVAILABLE:
    case SSL_R_WRONG_CIPHER_RETURNED:
    case SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE:
    case SSL_R_TLSV1_ALERT_INSUFFICIENT_SECURITY:
    case SSL_R_VERSION_TOO_LOW:
    case SSL_R_VERSION_TOO_HIGH:
      return kSecEAlgorithmMismatch;
    case SSL_R_DECRYPTION_FAILED_OR_BAD_RECORD_MAC:
    case SSL_R_SSLV3_ALERT_BAD_RECORD_MAC:
    case SSL_R_TLSV1_ALERT_DECRYPT_ERROR:
      return kSecEDecryptFailure;
    case SSL_R_TLSV1_ALERT_NO_APPLICATION_PROTOCOL:
    case SSL_R_NO_APPLICATION_PROTOCOL:
      return kSecEApplicationProtocolMismatch;
    case SSL_R_SSLV3_ALERT_BAD_CERTIFICATE:
    case SSL_R_SSLV3_ALERT_CERTIFICATE_UNKNOWN:
    case SSL_R_TLSV1_ALERT_UNKNOWN_CA:
    case SSL_R_SSLV3_ALERT_UNSUPPORTED_CERTIFICATE:
      return kSecECertUnknown;
    case SSL_R_UNEXPECTED_MESSAGE:
    case SSL_R_UNEXPECTED_RECORD:
    case SSL_R_LENGTH_MISMATCH:
    case SSL_R_BAD_PACKET_LENGTH:
    case SSL_R_PACKET_LENGTH_TOO_LONG:
    case SSL_R_RECORD_LENGTH_MISMATCH:
    case SSL_R_SSLV3_ALERT_UNEXPECTED_MESSAGE:
    case SSL_R_TLSV1_ALERT_DECODE_ERROR:
    case SSL_R_SSLV3_ALERT_ILLEGAL_PARAMETER:
      return kSecEIllegalMessage;
    default:
      return fallback;
  }
}

// Every call that feeds records ends with nothing of the caller's buffer
// referenced by the library.
class UnreadGuard {
 public:
  explicit UnreadGuard(TlsChannel& channel) : channel_(channel) {}
  ~UnreadGuard() { channel_.KeepUnreadInput(); }
  UnreadGuard(const UnreadGuard&) = delete;
  UnreadGuard& operator=(const UnreadGuard&) = delete;

 private:
  TlsChannel& channel_;
};

}  // namespace

void TlsChannel::Reset() noexcept {
  ssl_.reset();
  in_ = out_ = nullptr;
  credentials_.reset();
  certificateArrived_ = certificateNew_ = clientCertificateRequested_ = false;
  heldPlain_.clear();
}

uint32_t TlsChannel::Start(std::shared_ptr<TlsCredentials> credentials, std::string_view target,
                           std::string_view alpnWire, std::string& token) {
  Reset();
  token.clear();
  libraryError_.clear();
  libraryReason_.clear();
  if (!credentials) return kSecEInvalidHandle;
  SSL_CTX* ctx = credentials->Context();
  SSL_CTX_set_cert_verify_callback(ctx, CertificateArrivedCallback, nullptr);
  SSL_CTX_set_client_cert_cb(ctx, ClientCertificateCallback);
  ssl_.reset(SSL_new(ctx));
  if (!ssl_) return Failure(kSecEInsufficientMemory);
  credentials_ = std::move(credentials);
  in_ = BIO_new(BIO_s_mem());
  out_ = BIO_new(BIO_s_mem());
  if (in_ == nullptr || out_ == nullptr) {
    BIO_free(in_);
    BIO_free(out_);
    in_ = out_ = nullptr;
    ssl_.reset();
    return Failure(kSecEInsufficientMemory);
  }
  // An empty input BIO means "wait for more", never end of stream.
  BIO_set_mem_eof_return(in_, -1);
  BIO_set_mem_eof_return(out_, -1);
  SSL_set_bio(ssl_.get(), in_, out_);
  SSL_set_connect_state(ssl_.get());
  SSL_set_ex_data(ssl_.get(), ChannelIndex(), this);
  target_.assign(target);
  SSL_set_ex_data(ssl_.get(), SessionTargetIndex(), &target_);
  // RFC 6066 3: no IP literals in server_name.
  if (!target_.empty() && !IsIpLiteral(target_)) SSL_set_tlsext_host_name(ssl_.get(), target_.c_str());
  if (SSL_SESSION* session = credentials_->SessionFor(target_)) SSL_set_session(ssl_.get(), session);
  if (!alpnWire.empty() &&
      SSL_set_alpn_protos(ssl_.get(), reinterpret_cast<const unsigned char*>(alpnWire.data()),
                          static_cast<unsigned>(alpnWire.size())) != 0) {
    return Failure(kSecEInsufficientMemory);
  }
  int r = SSL_do_handshake(ssl_.get());
  Drain(token);
  if (r <= 0 && SSL_get_error(ssl_.get(), r) != SSL_ERROR_WANT_READ) return Failure(kSecEInternalError);
  return kSecIContinueNeeded;
}

bool TlsChannel::Feed(std::string_view record) {
  // A read-only memory BIO over the caller's bytes: the library copies the
  // record once, into its own record buffer, instead of once more into a
  // BIO of ours first.
  // Bytes the library left unread (already copied into a BIO of our own)
  // come first.
  if (BIO_ctrl_pending(in_) > 0) {
    return BIO_write(in_, record.data(), static_cast<int>(record.size())) == static_cast<int>(record.size());
  }
  BIO* view = BIO_new_mem_buf(record.data(), static_cast<int>(record.size()));
  if (view == nullptr) return false;
  BIO_set_mem_eof_return(view, -1);
  SSL_set0_rbio(ssl_.get(), view);  // frees the previous one
  in_ = view;
  return true;
}

bool TlsChannel::KeepUnreadInput() {
  if (!ssl_ || in_ == nullptr) return true;
  size_t left = BIO_ctrl_pending(in_);
  if (left == 0) return true;
  std::string rest(left, '\0');
  if (BIO_read(in_, rest.data(), static_cast<int>(left)) != static_cast<int>(left)) return false;
  BIO* owned = BIO_new(BIO_s_mem());
  if (owned == nullptr) return false;
  BIO_set_mem_eof_return(owned, -1);
  if (BIO_write(owned, rest.data(), static_cast<int>(left)) != static_cast<int>(left)) {
    BIO_free(owned);
    return false;
  }
  SSL_set0_rbio(ssl_.get(), owned);
  in_ = owned;
  return true;
}

bool TlsChannel::PlainPending() const noexcept { return ssl_ && SSL_pending(ssl_.get()) > 0; }

void TlsChannel::Drain(std::string& token) {
  char* data = nullptr;
  long n = BIO_get_mem_data(out_, &data);
  if (n > 0) {
    token.append(data, static_cast<size_t>(n));
    (void)BIO_reset(out_);
  }
}

std::string TlsChannel::SecurityLevelNote(int reason) const {
  // Below TLS 1.2 the handshake is signed with SHA-1 (and MD5), which every
  // security level above 0 refuses; the library's own words for that do not
  // mention the level, so the note does.
  if (!ssl_) return {};
  int level = SSL_get_security_level(ssl_.get());
  int version = SSL_version(ssl_.get());
  bool refused = reason == SSL_R_LEGACY_SIGALG_DISALLOWED_OR_UNSUPPORTED ||
                 reason == SSL_R_NO_SUITABLE_SIGNATURE_ALGORITHM || reason == SSL_R_NO_PROTOCOLS_AVAILABLE ||
                 reason == SSL_R_NO_CIPHERS_AVAILABLE;
  if (level <= 0 || !refused || version >= TLS1_2_VERSION) return {};
  const char* name = version == TLS1_1_VERSION ? "TLS1.1" : version == TLS1_VERSION ? "TLS1.0" : "SSL3.0";
  return "; " + std::string(name) + " is refused at the system's OpenSSL security level " +
         std::to_string(level);
}

uint32_t TlsChannel::Failure(uint32_t fallback) {
  unsigned long e = ERR_peek_last_error();
  uint32_t status = fallback;
  if (e != 0) {
    char text[256];
    ERR_error_string_n(e, text, sizeof text);
    libraryError_ = text;
    const char* reason = ERR_reason_error_string(e);
    libraryReason_ = reason != nullptr ? reason : "";
    if (ERR_GET_LIB(e) == ERR_LIB_SSL) {
      status = StatusForReason(ERR_GET_REASON(e), fallback);
      libraryReason_ += SecurityLevelNote(ERR_GET_REASON(e));
    }
  }
  ERR_clear_error();
  return status;
}

uint32_t TlsChannel::NotTls(std::string_view input) {
  // The first bytes, printable ones as they are, tell a reader of the log
  // what answered instead (often an HTTP error page on a plain port).
  std::string shown;
  for (char c : input.substr(0, 16)) shown.push_back(c >= 0x20 && c < 0x7F ? c : '.');
  libraryReason_ = "the server's answer is not TLS (\"" + shown + "\")";
  ERR_clear_error();
  return kSecEIllegalMessage;
}

uint32_t TlsChannel::Step(std::string_view input, size_t& consumed, std::string& token) {
  UnreadGuard guard(*this);
  consumed = 0;
  token.clear();
  if (!ssl_) return kSecEInvalidHandle;
  certificateNew_ = false;
  for (;;) {
    if (!PlausibleRecordStart(input.substr(consumed))) return NotTls(input.substr(consumed));
    size_t n = CompleteRecords(input.substr(consumed), 1);
    if (n == 0) break;
    if (!Feed(input.substr(consumed, n))) return Failure(kSecEInsufficientMemory);
    consumed += n;
    int r;
    if (SSL_in_init(ssl_.get())) {
      r = SSL_do_handshake(ssl_.get());
    } else {
      // Established: a record here is the server's renegotiation request;
      // reading it makes the library answer with a new client hello.
      r = SSL_read(ssl_.get(), scratch_, kReadBlock);
      if (r > 0) {
        heldPlain_.append(scratch_, static_cast<size_t>(r));
        continue;
      }
    }
    Drain(token);
    if (r == 1 && !SSL_in_init(ssl_.get())) return kSecEOk;
    int err = SSL_get_error(ssl_.get(), r);
    if (err != SSL_ERROR_WANT_READ) return Failure(kSecEIllegalMessage);
    if (pauseOnCertificate_ && certificateNew_) return kSecIContinueNeeded;
  }
  if (consumed == 0) return kSecEIncompleteMessage;
  return kSecIContinueNeeded;
}

uint32_t TlsChannel::Decrypt(std::string_view input, size_t& consumed, std::string& plain,
                             std::string& token) {
  UnreadGuard guard(*this);
  consumed = 0;
  if (!ssl_) return kSecEInvalidHandle;
  if (!heldPlain_.empty()) {
    plain += heldPlain_;
    heldPlain_.clear();
    return kSecEOk;
  }
  // A record DecryptInto read only in part is finished first.
  const bool pending = PlainPending();
  if (!pending && !PlausibleRecordStart(input)) return NotTls(input);
  size_t n = CompleteRecords(input, 1);
  if (n == 0 && !pending) return kSecEIncompleteMessage;
  // Before TLS 1.3 a handshake record after the handshake is a
  // renegotiation request (RFC 5246 7.4.1.1); the caller decides.
  if (!pending && static_cast<uint8_t>(input[0]) == kRecordHandshake && SSL_version(ssl_.get()) < TLS1_3_VERSION) {
    return kSecIRenegotiate;
  }
  if (!pending) {
    if (!Feed(input.substr(0, n))) return Failure(kSecEInsufficientMemory);
    consumed = n;
  }
  for (;;) {
    int r = SSL_read(ssl_.get(), scratch_, kReadBlock);
    if (r > 0) {
      plain.append(scratch_, static_cast<size_t>(r));
      continue;
    }
    int err = SSL_get_error(ssl_.get(), r);
    Drain(token);
    if (err == SSL_ERROR_WANT_READ) return kSecEOk;
    if (err == SSL_ERROR_ZERO_RETURN) {
      ERR_clear_error();
      return kSecIContextExpired;
    }
    return Failure(kSecEDecryptFailure);
  }
}

uint32_t TlsChannel::DecryptInto(std::string_view input, size_t& consumed, char* out, size_t room,
                                 size_t& produced, std::string& token) {
  UnreadGuard guard(*this);
  consumed = produced = 0;
  if (!ssl_) return kSecEInvalidHandle;
  if (!heldPlain_.empty()) {
    produced = std::min(room, heldPlain_.size());
    std::memcpy(out, heldPlain_.data(), produced);
    heldPlain_.erase(0, produced);
    return kSecEOk;
  }
  bool fed = PlainPending();
  for (;;) {
    while (fed && produced < room) {
      size_t want = std::min<size_t>(room - produced, 1 << 30);
      int r = SSL_read(ssl_.get(), out + produced, static_cast<int>(want));
      if (r > 0) {
        produced += static_cast<size_t>(r);
        continue;
      }
      int err = SSL_get_error(ssl_.get(), r);
      Drain(token);
      if (err == SSL_ERROR_WANT_READ) break;
      if (err == SSL_ERROR_ZERO_RETURN) {
        // Records fed after the close_notify were never read: they are the
        // caller's again (plain TCP follows the end of the session).
        consumed -= std::min(consumed, BIO_ctrl_pending(in_));
        ERR_clear_error();
        return kSecIContextExpired;
      }
      return Failure(kSecEDecryptFailure);
    }
    if (produced == room) return kSecEOk;  // the rest of the record waits in the library
    std::string_view rest = input.substr(consumed);
    const bool done = produced > 0 || consumed > 0;
    if (!PlausibleRecordStart(rest)) return done ? kSecEOk : NotTls(rest);
    // A run of data records goes to the library at once: one input view and
    // one wait for more per run instead of per record.
    size_t n = DataRecordRun(rest, room - produced);
    if (n == 0) return done ? kSecEOk : kSecEIncompleteMessage;
    if (static_cast<uint8_t>(rest[0]) == kRecordHandshake && SSL_version(ssl_.get()) < TLS1_3_VERSION) {
      return done ? kSecEOk : kSecIRenegotiate;
    }
    if (!Feed(rest.substr(0, n))) return Failure(kSecEInsufficientMemory);
    consumed += n;
    fed = true;
  }
}

uint32_t TlsChannel::Encrypt(std::string_view plain, std::string& records) {
  if (!ssl_) return kSecEInvalidHandle;
  while (!plain.empty()) {
    int chunk = plain.size() > static_cast<size_t>(kReadBlock) ? kReadBlock : static_cast<int>(plain.size());
    int r = SSL_write(ssl_.get(), plain.data(), chunk);
    if (r <= 0) {
      Drain(records);
      if (SSL_get_shutdown(ssl_.get()) & SSL_SENT_SHUTDOWN) return Failure(kSecEContextExpired);
      return Failure(kSecEInternalError);
    }
    plain.remove_prefix(static_cast<size_t>(r));
  }
  Drain(records);
  return kSecEOk;
}

uint32_t TlsChannel::RefuseRenegotiation(std::string_view input, size_t& consumed, std::string& token) {
  UnreadGuard guard(*this);
  consumed = 0;
  if (!ssl_) return kSecEInvalidHandle;
  size_t n = CompleteRecords(input, 1);
  if (n == 0) return kSecEIncompleteMessage;
  // With renegotiation switched off the library reads the hello request and
  // answers it with the warning alert itself.
  SSL_set_options(ssl_.get(), SSL_OP_NO_RENEGOTIATION);
  if (!Feed(input.substr(0, n))) return Failure(kSecEInsufficientMemory);
  consumed = n;
  int r = SSL_read(ssl_.get(), scratch_, kReadBlock);
  if (r > 0) heldPlain_.append(scratch_, static_cast<size_t>(r));
  Drain(token);
  if (r <= 0 && SSL_get_error(ssl_.get(), r) != SSL_ERROR_WANT_READ) return Failure(kSecEIllegalMessage);
  return kSecEOk;
}

uint32_t TlsChannel::Shutdown(std::string& token) {
  if (!ssl_) return kSecEInvalidHandle;
  if (!(SSL_get_shutdown(ssl_.get()) & SSL_SENT_SHUTDOWN)) {
    SSL_shutdown(ssl_.get());
    ERR_clear_error();
  }
  Drain(token);
  return kSecEOk;
}

bool TlsChannel::Established() const noexcept {
  return ssl_ && SSL_is_init_finished(ssl_.get());
}

bool TlsChannel::Resumed() const noexcept { return ssl_ && SSL_session_reused(ssl_.get()); }

X509* TlsChannel::PeerCertificate() const noexcept {
  return ssl_ ? SSL_get0_peer_certificate(ssl_.get()) : nullptr;
}

STACK_OF(X509)* TlsChannel::PeerChain() const noexcept {
  return ssl_ ? SSL_get_peer_cert_chain(ssl_.get()) : nullptr;
}

bool TlsChannel::TakeClientCertificateRequest() noexcept {
  bool requested = clientCertificateRequested_;
  clientCertificateRequested_ = false;
  return requested;
}

std::string TlsChannel::NegotiatedAlpn() const {
  if (!ssl_) return {};
  const unsigned char* data = nullptr;
  unsigned length = 0;
  SSL_get0_alpn_selected(ssl_.get(), &data, &length);
  return data != nullptr ? std::string(reinterpret_cast<const char*>(data), length) : std::string();
}

bool TlsChannel::QueryConnectionInfo(ConnectionInfo& info) const {
  info = {};
  const SSL_CIPHER* c = ssl_ ? SSL_get_current_cipher(ssl_.get()) : nullptr;
  if (c == nullptr) return false;
  switch (SSL_version(ssl_.get())) {
    case TLS1_VERSION: info.protocol = kProtTls10Client; break;
    case TLS1_1_VERSION: info.protocol = kProtTls11Client; break;
    case TLS1_2_VERSION: info.protocol = kProtTls12Client; break;
    case TLS1_3_VERSION: info.protocol = kProtTls13Client; break;
    default: info.protocol = static_cast<uint32_t>(SSL_version(ssl_.get())); break;
  }
  info.cipherStrength = SSL_CIPHER_get_bits(c, nullptr);
  switch (SSL_CIPHER_get_cipher_nid(c)) {
    case NID_aes_128_gcm: case NID_aes_128_cbc: case NID_aes_128_ccm: info.cipher = alg::kAes128; break;
    case NID_aes_256_gcm: case NID_aes_256_cbc: case NID_aes_256_ccm: info.cipher = alg::kAes256; break;
    case NID_des_ede3_cbc: info.cipher = alg::k3Des; break;
    case NID_des_cbc: info.cipher = alg::kDes; break;
    case NID_rc4: info.cipher = alg::kRc4; break;
    case NID_rc2_cbc: info.cipher = alg::kRc2; break;
    default: info.cipher = 0; break;
  }
  // The MAC's hash, or for AEAD suites the handshake hash.
  int hashNid = SSL_CIPHER_get_digest_nid(c);
  if (hashNid == NID_undef) {
    const EVP_MD* md = SSL_CIPHER_get_handshake_digest(c);
    hashNid = md != nullptr ? EVP_MD_get_type(md) : NID_undef;
  }
  switch (hashNid) {
    case NID_md5: info.hash = alg::kMd5; break;
    case NID_sha1: info.hash = alg::kSha1; break;
    case NID_sha256: info.hash = alg::kSha256; break;
    case NID_sha384: info.hash = alg::kSha384; break;
    case NID_sha512: info.hash = alg::kSha512; break;
    default: info.hash = 0; break;
  }
  if (const EVP_MD* md = EVP_get_digestbynid(hashNid)) info.hashStrength = EVP_MD_get_size(md) * 8;
  EVP_PKEY* temp = nullptr;
  SSL_get_peer_tmp_key(ssl_.get(), &temp);
  EvpPkeyPtr tempKey(temp);
  switch (SSL_CIPHER_get_kx_nid(c)) {
    case NID_kx_rsa: {
      info.exchange = alg::kRsaKeyx;
      if (X509* peer = PeerCertificate()) info.exchangeStrength = EVP_PKEY_get_bits(X509_get0_pubkey(peer));
      break;
    }
    case NID_kx_dhe: info.exchange = alg::kDhEphem; break;
    case NID_kx_ecdhe: info.exchange = alg::kEcdhEphem; break;
    case NID_kx_any:
      info.exchange = tempKey && EVP_PKEY_get_base_id(tempKey.get()) == EVP_PKEY_DH ? alg::kDhEphem
                                                                                  : alg::kEcdhEphem;
      break;
    default: info.exchange = 0; break;
  }
  if (tempKey) info.exchangeStrength = EVP_PKEY_get_bits(tempKey.get());
  return true;
}

std::string TlsChannel::NegotiatedParametersText() const {
  ConnectionInfo info;
  return tls::NegotiatedParametersText(QueryConnectionInfo(info) ? &info : nullptr);
}

std::string NegotiatedParametersText(const ConnectionInfo* info) {
  std::string text = "Negotiated SSL parameters: ";
  if (info == nullptr) return text + "Connection info not available.";
  char buf[64];
  auto hex = [&](const char* label, uint32_t v) {
    std::snprintf(buf, sizeof buf, "%s0x%x ", label, v);
    text += buf;
  };
  auto num = [&](const char* label, int v) {
    std::snprintf(buf, sizeof buf, "%s%d ", label, v);
    text += buf;
  };
  uint32_t p = info->protocol;
  if (p == 0x40 || p == 0x80) text += "Protocol: TLS1 ";
  else if (p == 0x100 || p == 0x200) text += "Protocol: TLS1.1 ";
  else if (p == 0x400 || p == 0x800) text += "Protocol: TLS1.2 ";
  else if (p == 1 || p == 2) text += "Protocol: PCT1 ";
  else if (p == 4 || p == 8) text += "Protocol: SSL2 ";
  else if (p == 0x10 || p == 0x20) text += "Protocol: SSL3 ";
  else hex("Protocol: ", p);

  switch (info->cipher) {
    case alg::kDes: case alg::kCylinkMek: text += "Cipher: DES "; break;
    case alg::kRc2: text += "Cipher: RC2 "; break;
    case alg::k3Des: text += "Cipher: Triple DES "; break;
    case alg::kSkipjack: text += "Cipher: Skipjack "; break;
    case alg::kAes128: case alg::kAes192: case alg::kAes256: case alg::kAes: text += "Cipher: AES "; break;
    case alg::kRc4: text += "Cipher: RC4 "; break;
    default: hex("Cipher: ", info->cipher); break;
  }
  num("Cipher strength: ", info->cipherStrength);

  switch (info->hash) {
    case alg::kMd5: text += "Hash: MD5 "; break;
    case alg::kSha1: text += "Hash: SHA "; break;
    case alg::kSha256: text += "Hash: SHA256 "; break;
    case alg::kSha384: text += "Hash: SHA384 "; break;
    case alg::kSha512: text += "Hash: SHA512 "; break;
    default: hex("Hash: ", info->hash); break;
  }
  num("Hash strength: ", info->hashStrength);

  switch (info->exchange) {
    case alg::kRsaSign: case alg::kRsaKeyx: text += "Key exchange: RSA "; break;
    case alg::kDhEphem: text += "Key exchange: DH Ephemeral "; break;
    case alg::kKeaKeyx: text += "Key exchange: KEA "; break;
    case alg::kEcdhEphem: text += "Key exchange: ECDH Ephemeral RSA "; break;
    default: hex("Key exchange: ", info->exchange); break;
  }
  num("Key exchange strength: ", info->exchangeStrength);
  return text;
}

}  // namespace corvane::tls
