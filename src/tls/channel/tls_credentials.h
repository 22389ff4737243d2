#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "tls/channel/ossl_handles.h"

namespace corvane::tls {

// A client certificate with the private key the handshake signs with, and
// the intermediate certificates sent along.
struct ClientCertificate {
  X509Ptr certificate;
  EvpPkeyPtr key;
  X509StackPtr chain;  // may be null
};

// The parameters a credential is acquired with; two acquisitions with equal
// parameters may share one credential (ReuseSSLSession).
struct CredentialParams {
  int direction = 2;  // outbound: every client connection
  bool useDefaultCredentials = false;
  std::shared_ptr<const ClientCertificate> clientCertificate;
  uint32_t enabledProtocols = 0x0FC0;
  int cipherStrength = 40;
  std::string algorithmList;
  std::string provider = "Microsoft Unified Security Protocol Provider";

  bool operator==(const CredentialParams& o) const noexcept {
    return direction == o.direction && useDefaultCredentials == o.useDefaultCredentials &&
           clientCertificate == o.clientCertificate && enabledProtocols == o.enabledProtocols &&
           cipherStrength == o.cipherStrength && algorithmList == o.algorithmList &&
           provider == o.provider;
  }
};

// The credential handle: a client TLS context configured from the
// parameters (versions, cipher list, client certificate), with the sessions
// it may resume. OpenSSL never judges the server certificate here; the
// component decides after the handshake.
class TlsCredentials {
 public:
  // 0, or a failure status (0x80090305 unknown provider, 0x80090331 nothing
  // left to negotiate, 0x8009030e unusable client certificate, 0x80090300).
  static uint32_t Acquire(const CredentialParams& params, std::shared_ptr<TlsCredentials>& out);

  SSL_CTX* Context() const noexcept { return ctx_.get(); }
  const CredentialParams& Params() const noexcept { return params_; }
  // The protocol bits in effect (a setting of 0 reads as TLS 1.2 and 1.3).
  uint32_t EffectiveProtocols() const noexcept { return protocols_; }

  // Session resumption for connections made with this credential.
  SSL_SESSION* SessionFor(const std::string& target) const;
  void KeepSession(const std::string& target, SslSessionPtr session);

 private:
  TlsCredentials() = default;
  uint32_t Configure();

  CredentialParams params_;
  uint32_t protocols_ = 0;
  SslCtxPtr ctx_;
  std::map<std::string, SslSessionPtr> sessions_;
};

// The one-entry credential cache of a connection object.
class CredentialCache {
 public:
  // Keeps the held credential when reuse is on and every parameter is the
  // same; otherwise releases it and acquires a new one. 0 or the failure
  // status of Acquire.
  uint32_t Acquire(const CredentialParams& params, bool reuse);
  const std::shared_ptr<TlsCredentials>& Current() const noexcept { return current_; }
  bool LastWasReused() const noexcept { return reused_; }
  void Release() noexcept { current_.reset(); }

 private:
  std::shared_ptr<TlsCredentials> current_;
  bool reused_ = false;
};

// The SSL ex_data slot holding the session key (std::string*) of a connection.
int SessionTargetIndex();

// True for the provider names this layer answers to.
bool KnownProvider(std::string_view name) noexcept;

}  // namespace corvane::tls
