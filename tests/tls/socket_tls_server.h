#pragma once

// A TLS server on 127.0.0.1 (port 0) in a thread, for byte-exact cases a
// real server cannot be scripted into: renegotiation requests, plain bytes
// after close_notify, a close in the middle of the handshake. The script
// gets the connected socket and, unless raw, the finished SSL session.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

#include "tls/channel/test_pki.h"

namespace corvane::testing {

class SocketTlsServer {
 public:
  using Script = std::function<void(int fd, SSL* ssl)>;

  // raw: no TLS handshake is done for the script.
  // certificate: the server's (with SharedRsaKey) instead of the valid one;
  // the server then runs at security level 0 so that it may send a weak one.
  SocketTlsServer(Script script, int maxVersion = 0, bool raw = false, X509* certificate = nullptr) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listen_, 4);
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    ctx_.reset(SSL_CTX_new(TLS_server_method()));
    if (maxVersion != 0) SSL_CTX_set_max_proto_version(ctx_.get(), maxVersion);
    if (certificate != nullptr) SSL_CTX_set_security_level(ctx_.get(), 0);
    SSL_CTX_use_certificate(ctx_.get(), certificate != nullptr ? certificate : tls::testing::TestPki::Get().valid.get());
    SSL_CTX_use_PrivateKey(ctx_.get(), tls::testing::SharedRsaKey());
    thread_ = std::thread([this, script = std::move(script), raw] {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 10000) != 1) return;
      int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) return;
      timeval tv{10, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
      // Each write of a script leaves at once, not held back for an ACK.
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      SSL* ssl = nullptr;
      if (!raw) {
        ssl = SSL_new(ctx_.get());
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) != 1) {
          SSL_free(ssl);
          ::close(fd);
          return;
        }
      }
      script(fd, ssl);
      if (ssl != nullptr) SSL_free(ssl);
      ::close(fd);
      ERR_clear_error();
    });
  }
  ~SocketTlsServer() {
    if (thread_.joinable()) thread_.join();
    ::close(listen_);
  }
  int Port() const { return port_; }

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

 private:
  int listen_ = -1;
  int port_ = 0;
  tls::SslCtxPtr ctx_;
  std::thread thread_;
};

}  // namespace corvane::testing
