#pragma once

// Certificates and an in-memory TLS server for the channel tests. Everything
// is made with the library at run time, nothing is read from disk.

#include <openssl/ssl.h>

#include <string>
#include <string_view>
#include <vector>

#include "tls/channel/ossl_handles.h"

namespace corvane::tls::testing {

struct CertSpec {
  std::string country = "US";
  std::string organization = "Example";
  std::string commonName = "localhost";
  std::vector<std::string> dnsNames;  // subjectAltName DNS entries
  std::vector<std::string> ipNames;   // subjectAltName IP entries
  long notBeforeDays = -1;
  long notAfterDays = 30;
  bool isCa = false;
  const char* digest = "SHA256";  // of the issuer's signature
};

// Signs with issuerKey under issuer (null issuer: self-signed with key).
X509Ptr MakeCertificate(const CertSpec& spec, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey);
EVP_PKEY* SharedRsaKey();  // one 2048-bit key for all leaves of a run

// A small public key infrastructure: a trusted CA, an untrusted CA and
// leaves for each certificate case.
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

// A TLS server SSL object driven through memory BIOs.
class MemoryServer {
 public:
  struct Options {
    int minVersion = 0;
    int maxVersion = 0;
    std::string alpnSelect;  // protocol to choose when offered
    int securityLevel = -1;
  };
  explicit MemoryServer(const Options& options);
  static Options Versions(int min, int max, int securityLevel = -1) {
    Options o;
    o.minVersion = min;
    o.maxVersion = max;
    o.securityLevel = securityLevel;
    return o;
  }
  static Options Alpn(std::string select) {
    Options o;
    o.alpnSelect = std::move(select);
    return o;
  }

  // Bytes from the client; runs the handshake or reads application data.
  void Receive(std::string_view bytes);
  // Takes what the server wants to send.
  std::string TakeOutput();
  unsigned long LastReason() const { return lastReason_; }
  const std::string& Received() const { return received_; }
  const std::string& OfferedAlpn() const { return offeredAlpn_; }
  bool AlpnCallbackRan() const { return alpnRan_; }
  SSL* Ssl() const { return ssl_.get(); }
  void Write(std::string_view plain);

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
