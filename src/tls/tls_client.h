#pragma once

#include <string>
#include <string_view>

#include "net/tcp_client.h"

namespace corvane {

// The TLS stage between the socket engine and the transfer layers. This
// version carries plain connections only: bytes and events pass through
// unchanged, and a connection with TLS switched on fails at once with 270
// and a clear message. The interface is the one the layers above use, so
// the channel can be filled in behind it without changes there.
class TlsClient : public TcpClient {
 public:
  static constexpr int kErrTlsUnavailable = 270;

  TlsClient();
  ~TlsClient() override;

  // TLS for the next connection ("https"). 0.
  int SetTlsEnabled(bool on);
  bool TlsEnabled() const noexcept { return tlsEnabled_; }

  int Connect(bool on) override;

  // The protocol the server chose through ALPN (empty: none).
  const std::string& NegotiatedAlpn() const noexcept { return negotiatedAlpn_; }
  void ClearNegotiatedAlpn() noexcept { negotiatedAlpn_.clear(); }
  // Whether application protocols can be negotiated on this system.
  static bool AlpnSupported() noexcept { return true; }

  // Received plaintext (a line or a chunk), for the layers above.
  void OnDataIn(const char* data, int length, bool isLine) override;
  virtual void DataIn(const char* data, int length, bool isLine) {}

  // Progress texts of the channel.
  virtual void FireSSLStatus(std::string_view message);

 protected:
  bool tlsEnabled_ = false;
  std::string negotiatedAlpn_;
};

}  // namespace corvane
