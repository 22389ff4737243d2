#pragma once

#include <cstdint>
#include <string>

namespace corvane::tls {

// The component's server-certificate decision for TLS connections another
// library makes with OpenSSL (the platform HTTP backend): the chain against
// the system trust store, the name, and the ignore bits of SSLSecurityFlags,
// exactly as for the component's own connections.
struct ForeignServerCheck {
  uint32_t securityFlags = 0;
  // The name to check when the connection sent none in its SNI (an IP
  // literal); a connection that did is checked against that name.
  std::string host;
};

// Makes sslCtx (an SSL_CTX*) verify server certificates with check, which
// must outlive every handshake made with the context. A rejected
// certificate fails the handshake with an X.509 verification error that
// names the fault: expired, hostname mismatch, revoked, invalid purpose or
// not trusted.
void InstallForeignServerCheck(void* sslCtx, const ForeignServerCheck* check);

}  // namespace corvane::tls
