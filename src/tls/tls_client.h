#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/line_buffer.h"
#include "net/tcp_client.h"
#include "tls/channel/certificate_report.h"
#include "tls/channel/client_cert_selection.h"

namespace corvane {

// The TLS stage between the firewall filter and the transfer layers. TLS
// starts once the TCP connection (and any tunnel) is up; the handshake and
// the records run through the memory-BIO channel of tls/channel, the server
// certificate is judged here and offered to the listener, and plaintext
// goes up through OnPlainDataIn / DataIn in lines or chunks, as the socket
// delivers them on a plain connection.
//
// Override points for the layers above (the slots they fill):
//   DataIn(data, n, isLine)   received plaintext
//   OnPlainReady()            the channel takes data again after a 10035
//   FireSSLStatus(text)       progress texts
//   FireSSLServerAuthentication(...)  the certificate offer; returns Accept
// Connected / ConnectionStatus / Disconnected / Error go through the
// TcpClient report and fire operations.
class TlsClient : public TcpClient {
 public:
  // Channel states.
  enum class ChannelState { None, Handshaking, Established };

  TlsClient();
  ~TlsClient() override;

  int HandleConfig(const ConfigItem& item, ByteBuffer& result) override;

  // TLS for the next connection ("https"). 0.
  int SetTlsEnabled(bool on);
  bool TlsEnabled() const noexcept { return tlsEnabled_; }
  // TLS is running on the current connection.
  bool TlsActive() const noexcept { return tlsOn_; }
  ChannelState State() const noexcept { return state_; }
  // The code that closed an established channel on this connection (276: a
  // renegotiation failed; 284: a record did not decrypt), with its text as
  // the last error; 0 when none did. The request over it ends with it.
  int ChannelFailure() const noexcept { return channelFailure_; }

  // true: credentials, TCP connect, then the handshake from OnConnectComplete
  // (104, 273 or a socket error); false: close (10035 while ciphertext is
  // pending and Linger is on).
  int Connect(bool on) override;
  // Connected, and with TLS the handshake finished and the certificate accepted.
  bool IsConnectionReady() const override;
  bool ReadAllowed() const override;
  int DoRead(int mode) override;
  // Decrypts records straight from the socket's buffer into the reader's;
  // plaintext already buffered here, a handshake or the end of TLS go the
  // ordinary way (kReadElsewhere).
  int ReadInto(char* buffer, int room, int& received) override;
  bool InputBuffered() const override;
  void CloseSocket() override;
  int SetMaxLineLength(int length) override;
  int GetMaxLineLength() const override;

  // Plaintext in, records out: 0, 10035 (ciphertext left pending, or a
  // renegotiation runs), 10057 (handshake not finished), 283 or a socket
  // error. accepted: plaintext bytes taken.
  int SendPlain(const char* data, int length, int& accepted) override;
  // Ends TLS on a connection that stays open (close_notify first with
  // GracefullyShutDownSSL).
  void EndTls();

  // --- results and settings -----------------------------------------------
  // The protocol the server chose through ALPN (empty: none).
  const std::string& NegotiatedAlpn() const noexcept { return negotiatedAlpn_; }
  void ClearNegotiatedAlpn() noexcept { negotiatedAlpn_.clear(); }
  static bool AlpnSupported() noexcept { return true; }
  const std::string& ALPNExtension() const noexcept { return alpnExtension_; }
  void SetALPNExtension(std::string_view list) { alpnExtension_.assign(list); }
  // The server certificate of the last handshake: PEM text, X.500 subject
  // and issuer, status text.
  const tls::CertificateReport& ServerCertificate() const noexcept { return serverCertificate_; }
  // The certificate accepted without a check: PEM or base64 text of one
  // certificate; empty clears it. 0, or 281 when it cannot be read.
  int SetSSLAcceptServerCertEncoded(std::string_view text);
  // The caller's client-certificate store, subject and held certificate.
  tls::ClientCertSelection& ClientCertificates() noexcept { return clientCertSelection_; }
  const tls::ClientCertSelection& ClientCertificates() const noexcept { return clientCertSelection_; }
  // Client certificate for the next credential, in place of the selection
  // (null: none).
  void SetClientCertificate(std::shared_ptr<const tls::ClientCertificate> certificate) {
    clientCertificate_ = std::move(certificate);
  }
  // The name the certificate is checked against; empty: the RemoteHost.
  void SetTlsServerName(std::string_view name) { serverName_.assign(name); }
  // RFC 5929 tls-server-end-point of the current connection (empty without TLS).
  std::string ChannelBinding() const;

  // --- event operations ----------------------------------------------------
  void OnConnectComplete(int code) override;
  void OnDisconnected(int code) override;
  void OnDataIn(const char* data, int length, bool isLine) override;
  void OnReadyToSend() override;
  virtual void OnPlainDataIn(const char* data, int length, bool isLine) { DataIn(data, length, isLine); }
  virtual void DataIn(const char* data, int length, bool isLine) {}
  virtual void OnPlainReady() {}
  virtual void FireSSLStatus(std::string_view message);
  // Returns the listener's Accept.
  virtual bool FireSSLServerAuthentication(const std::string& certEncoded, const std::string& subject,
                                           const std::string& issuer, const std::string& status,
                                           bool accept);

 protected:
  bool tlsEnabled_ = false;
  std::string negotiatedAlpn_;

 private:
  int AcquireCredentials();
  void StartHandshake();
  // One step of each loop; true when it should run again on what is left.
  bool HandshakeStep();
  // The 276 message for a failed handshake step, with the library's reason.
  std::string HandshakeFailureText(uint32_t status) const;
  bool DecryptStep();
  // The server's close_notify was read: TLS ends, the connection goes on.
  void PeerEndsTls();
  void DecryptFailed(uint32_t status);
  void ProcessReceived();
  bool FinishHandshake();
  // After a renegotiation: the same certificate, or a new one accepted as
  // the first was. False when the connection was failed.
  bool RenegotiatedCertificateAccepted();
  // Ends the handshake (or, once established, the connection) for a refused
  // server certificate; always false.
  bool RejectCertificate(bool established);
  bool DecideServerCertificate();
  bool EarlyCertificateLook(std::string_view input);
  void DeliverPlain(const char* data, size_t length);
  void DeliverBufferedPlain(bool withRest);
  // Raw ciphertext out through the pending buffer. 0, 10035 or an error.
  int SendCipher(const char* data, size_t length);
  int FlushPending();
  // plainContinues: the connection goes on without TLS (else it is closing).
  void SendCloseNotify(bool release, bool plainContinues);
  // Context and buffers released, line settings back on the socket buffer.
  void TlsOff(bool plainContinues);
  void FailConnection(int code);
  void FailEstablished(int code);
  void Status(std::string_view text) { FireSSLStatus(text); }
  // Still reading this connection (a listener may have closed it).
  bool Alive() const { return !dropInput_ && decryptOnReceive_ && SocketOpen(); }
  std::string_view Received() const noexcept { return std::string_view(received_).substr(receivedAt_); }
  // Consumed bytes are skipped, not moved: the buffer is compacted when the
  // next bytes arrive.
  void Consume(size_t n) noexcept {
    receivedAt_ += n;
    if (receivedAt_ >= received_.size()) ClearReceived();
  }
  void ClearReceived() noexcept {
    received_.clear();
    receivedAt_ = 0;
  }
  std::string ServerName() const { return serverName_.empty() ? RemoteHost() : serverName_; }

  // Settings.
  bool parseSSLServerCert_ = false;
  std::string alpnExtension_;
  // The object's own trust anchors (SSLTrustedCAFile, SSLTrustedCADir);
  // both empty: the system store.
  std::string trustedCAFile_;
  std::string trustedCADir_;
  std::string acceptedCertificateDer_;
  std::shared_ptr<const tls::ClientCertificate> clientCertificate_;
  tls::ClientCertSelection clientCertSelection_;
  std::string serverName_;

  // Connection state.
  bool tlsOn_ = false;  // TLS runs on this connection (line settings moved)
  bool encryptOnSend_ = false;
  bool decryptOnReceive_ = false;
  bool plainAfterTls_ = false;  // TLS ended, the connection goes on in plain
  bool peerEndedTls_ = false;   // by the server's close_notify
  ChannelState state_ = ChannelState::None;
  bool handshakeRunning_ = false;
  bool earlyLookDone_ = false;
  // The certificate the first handshake accepted (for the renegotiation check).
  std::string handshakeCertificateDer_;
  bool processing_ = false;
  bool dropInput_ = false;  // the context is gone: received bytes are discarded
  uint32_t lastHandshakeError_ = 0xFFFFFFFF;
  int channelFailure_ = 0;  // code that closed the established channel, 0 if none
  // The library's context and the credentials it was made from; their types
  // stay inside tls_client.cpp, so the layers above never see the library.
  struct Library;
  std::unique_ptr<Library> lib_;
  std::string received_;  // ciphertext; the part from receivedAt_ on is not consumed yet
  size_t receivedAt_ = 0;
  std::string pending_;   // ciphertext the socket did not take yet
  std::string plain_;     // scratch for one decrypt step
  std::string token_;     // scratch for channel output
  LineBuffer plainLines_;
  std::string overflow_;  // plaintext that did not fit in plainLines_
  tls::CertificateReport serverCertificate_;
};

}  // namespace corvane
