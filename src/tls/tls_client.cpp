#include "tls/tls_client.h"

namespace corvane {

TlsClient::TlsClient() = default;
TlsClient::~TlsClient() = default;

int TlsClient::SetTlsEnabled(bool on) {
  tlsEnabled_ = on;
  return 0;
}

int TlsClient::Connect(bool on) {
  if (on && tlsEnabled_) {
    return SetError(kErrTlsUnavailable, "TLS connections are not available in this build yet.");
  }
  return TcpClient::Connect(on);
}

void TlsClient::OnDataIn(const char* data, int length, bool isLine) { DataIn(data, length, isLine); }

void TlsClient::FireSSLStatus(std::string_view message) {
  if (RESTEvents* sink = EventSink()) {
    std::string m(message);
    sink->SSLStatus(m);
  }
}

}  // namespace corvane
