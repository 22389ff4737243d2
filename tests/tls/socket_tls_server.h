#pragma once

// A TLS server on loopback for cases a real server cannot be scripted into;
// the script gets the socket and, unless raw, the finished TLS session.

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <string>

#include "net/net_test_support.h"
#include "tls/channel/test_pki.h"

namespace corvane::testing {

class SocketTlsServer {
 public:
  using Script = std::function<void(int fd, SSL* ssl)>;

  SocketTlsServer(Script script, int maxVersion = 0, bool raw = false)
      : ctx_(Context(maxVersion)), server_([this, script = std::move(script), raw](int fd) {
          tls::SslPtr ssl(raw ? nullptr : SSL_new(ctx_.get()));
          if (ssl) SSL_set_fd(ssl.get(), fd);
          if (!ssl || SSL_accept(ssl.get()) == 1) script(fd, ssl.get());
          ERR_clear_error();
        }) {}
  int Port() const { return server_.port(); }

  // Reads a line (up to '\n') from the TLS session.
  static std::string ReadLine(SSL* ssl) {
    std::string line;
    char c;
    while (SSL_read(ssl, &c, 1) == 1) {
      line += c;
      if (c == '\n') break;
    }
    return line;
  }

  // The context each server makes: the test certificate, versions up to maxVersion.
  static tls::SslCtxPtr Context(int maxVersion) {
    tls::SslCtxPtr ctx(SSL_CTX_new(TLS_server_method()));
    if (maxVersion != 0) SSL_CTX_set_max_proto_version(ctx.get(), maxVersion);
    SSL_CTX_use_certificate(ctx.get(), tls::testing::TestPki::Get().valid.get());
    SSL_CTX_use_PrivateKey(ctx.get(), tls::testing::SharedRsaKey());
    return ctx;
  }

 private:
  tls::SslCtxPtr ctx_;
  LoopbackServer server_;
};

}  // namespace corvane::testing
