#pragma once

// Certificates and an in-memory TLS server, made at run time, for the channel tests.

#include <openssl/ssl.h>

#include <string>
#include <string_view>

#include "tls/channel/ossl_handles.h"

namespace corvane::tls::testing {

EVP_PKEY* SharedRsaKey();  // one 2048-bit key for all leaves of a run

// A trusted CA, an untrusted CA and a leaf for each certificate case.
struct TestPki {
  EvpPkeyPtr caKey, otherCaKey;
  X509Ptr ca, otherCa;
  X509Ptr valid;        // localhost, 127.0.0.1, ::1, by ca
  X509Ptr expired;      // by ca, ended yesterday
  X509Ptr otherHost;    // www.other.example, by ca
  X509Ptr untrusted;    // localhost, by otherCa
  X509Ptr selfSigned;   // localhost, its own issuer
  // Weak ones, each for localhost: an RSA key of 1024 bits and an EC key of
  // 192 bits (by ca), a SHA-1 signature by ca, an MD5 signature of its own.
  X509Ptr rsa1024, ec192, sha1Signed, md5SelfSigned;
  X509StorePtr trust;   // holds ca only

  static const TestPki& Get();
};

struct ServerOptions {
  int minVersion = 0;
  int maxVersion = 0;
  std::string alpnSelect = "";  // protocol to choose when offered
  int securityLevel = -1;
  SSL_CTX* context = nullptr;  // another server's, to resume its sessions
};

// A TLS server SSL object driven through memory BIOs.
class MemoryServer {
 public:
  using Options = ServerOptions;
  explicit MemoryServer(const Options& options = {});

  // Bytes from the client; runs the handshake or reads application data.
  void Receive(std::string_view bytes);
  // Takes what the server wants to send.
  std::string TakeOutput();
  void Write(std::string_view plain) { SSL_write(ssl_.get(), plain.data(), static_cast<int>(plain.size())); }
  unsigned long LastReason() const { return lastReason_; }
  const std::string& Received() const { return received_; }
  const std::string& OfferedAlpn() const { return offeredAlpn_; }
  bool AlpnCallbackRan() const { return alpnRan_; }
  SSL* Ssl() const { return ssl_.get(); }

 private:
  static int SelectAlpn(SSL* ssl, const unsigned char** out, unsigned char* outlen,
                        const unsigned char* in, unsigned inlen, void* arg);
  SslCtxPtr ctx_;
  SslPtr ssl_;
  BIO* in_ = nullptr;
  BIO* out_ = nullptr;
  Options options_;
  std::string received_;
  std::string offeredAlpn_;
  bool alpnRan_ = false;
  unsigned long lastReason_ = 0;
};

}  // namespace corvane::tls::testing
