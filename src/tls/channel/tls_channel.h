#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tls/channel/ossl_handles.h"
#include "tls/channel/tls_credentials.h"

namespace corvane::tls {

// Sizes of the record framing, for the send buffer.
struct StreamSizes {
  int header = 5;
  int maximumMessage = 16384;
  int trailer = 256;
};

// What the handshake settled on, in the identifiers the connection-info
// report uses (protocol bits, algorithm ids, strengths in bits).
struct ConnectionInfo {
  uint32_t protocol = 0;
  uint32_t cipher = 0;
  int cipherStrength = 0;
  uint32_t hash = 0;
  int hashStrength = 0;
  uint32_t exchange = 0;
  int exchangeStrength = 0;
};

// One TLS client context driven through memory BIOs: ciphertext goes in as
// tokens, handshake bytes and records come out as tokens. The socket is never
// seen here. Every call returns a status of sec_status.h.
//
// Input is taken in whole records only, so an incomplete record stays with
// the caller (kSecEIncompleteMessage) and what follows the record that ended
// a phase (the handshake, a close_notify) is left unconsumed as "extra".
class TlsChannel {
 public:
  TlsChannel() = default;
  ~TlsChannel() = default;
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  // Creates the context and produces the client hello in token:
  // kSecIContinueNeeded, or a failure. target: the server name (sent as SNI
  // unless it is an IP literal; also the session-resumption key);
  // alpnWire: the ALPN list in wire form (empty: no ALPN).
  uint32_t Start(std::shared_ptr<TlsCredentials> credentials, std::string_view target,
                 std::string_view alpnWire, std::string& token);

  // One handshake step over received ciphertext. consumed: bytes used (the
  // rest is extra). token: bytes to send (may be empty). kSecEOk when the
  // handshake finished, kSecIContinueNeeded, kSecEIncompleteMessage, or a
  // failure. With PauseOnCertificate, the step also returns after the record
  // that brought the server certificate (CertificateArrived()).
  uint32_t Step(std::string_view input, size_t& consumed, std::string& token);

  // Decrypts the records at the start of input into plain (appended).
  // kSecEOk, kSecEIncompleteMessage, kSecIContextExpired (close_notify: what
  // follows it is not consumed), kSecIRenegotiate (a handshake record; not
  // consumed), or a failure. token: bytes the library must send back (a key
  // update, an alert).
  uint32_t Decrypt(std::string_view input, size_t& consumed, std::string& plain, std::string& token);

  // Decrypts straight into the caller's buffer (room bytes): first what the
  // library still holds of the last record, then the records at the start of
  // input, until out is full. kSecEOk (produced may be 0: a record without
  // data, such as a session ticket), kSecEIncompleteMessage (nothing
  // produced or consumed: more input is needed), kSecIRenegotiate (a
  // handshake record is next, not consumed), or what Decrypt returns.
  uint32_t DecryptInto(std::string_view input, size_t& consumed, char* out, size_t room, size_t& produced,
                       std::string& token);
  // Plaintext of the last record the library has not handed out yet.
  bool PlainPending() const noexcept;

  // Plaintext in, records out (appended to records). kSecEOk or a failure.
  uint32_t Encrypt(std::string_view plain, std::string& records);

  // Refuses the server's renegotiation request at the start of input with a
  // no_renegotiation warning alert (RFC 5246 7.2.2), left in token.
  uint32_t RefuseRenegotiation(std::string_view input, size_t& consumed, std::string& token);

  // Our close_notify, in token.
  uint32_t Shutdown(std::string& token);

  void Reset() noexcept;
  bool HasContext() const noexcept { return static_cast<bool>(ssl_); }
  bool Established() const noexcept;

  // The server certificate and the chain it sent (leaf first); null before.
  X509* PeerCertificate() const noexcept;
  STACK_OF(X509)* PeerChain() const noexcept;
  void SetPauseOnCertificate(bool on) noexcept { pauseOnCertificate_ = on; }
  bool CertificateArrived() const noexcept { return certificateArrived_; }
  // True once after the server asked for a certificate we do not have.
  bool TakeClientCertificateRequest() noexcept;

  std::string NegotiatedAlpn() const;
  StreamSizes Sizes() const noexcept { return {}; }
  bool QueryConnectionInfo(ConnectionInfo& info) const;
  // "Negotiated SSL parameters: Protocol: TLS1.2 Cipher: AES ..." (each item
  // with a trailing blank).
  std::string NegotiatedParametersText() const;
  // The library's reason for the last failure, for diagnostics.
  const std::string& LibraryError() const noexcept { return libraryError_; }
  // Its short form ("unsupported protocol", "tlsv1 alert protocol version"),
  // or empty when the library gave none.
  const std::string& LibraryReason() const noexcept { return libraryReason_; }
  bool Resumed() const noexcept;

  // Called by the library when the server certificate arrives.
  void NoteCertificate() noexcept { certificateArrived_ = true; certificateNew_ = true; }
  void NoteClientCertificateRequest() noexcept { clientCertificateRequested_ = true; }
  // Bytes of a fed record the library has not read yet are copied into a
  // buffer of its own, so the caller's buffer may change after the call.
  bool KeepUnreadInput();

 private:
  void Drain(std::string& token);
  uint32_t Failure(uint32_t fallback);
  // Bytes where a record must start that are no TLS record: 0x80090326
  // with LibraryReason naming what arrived.
  uint32_t NotTls(std::string_view input);
  // The library reads the record in place from the caller's buffer.
  bool Feed(std::string_view record);

  std::shared_ptr<TlsCredentials> credentials_;
  SslPtr ssl_;
  BIO* in_ = nullptr;   // owned by ssl_
  BIO* out_ = nullptr;  // owned by ssl_
  std::string target_;
  bool pauseOnCertificate_ = false;
  bool certificateArrived_ = false;
  bool certificateNew_ = false;
  bool clientCertificateRequested_ = false;
  // Why the system's security level, rather than the peer, ended a
  // handshake below TLS 1.2 ("; TLS1.1 is refused at ..."), or empty.
  std::string SecurityLevelNote(int reason) const;

  std::string libraryError_;
  std::string libraryReason_;
  std::string heldPlain_;  // plaintext that arrived during a renegotiation step
  char scratch_[16384];
};

// Text for a connection info, as NegotiatedParametersText writes it.
std::string NegotiatedParametersText(const ConnectionInfo* info);

}  // namespace corvane::tls
