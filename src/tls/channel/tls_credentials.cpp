#include "tls/channel/tls_credentials.h"

#include <openssl/err.h>

#include <algorithm>
#include <vector>

#include "core/config_item.h"
#include "tls/channel/algorithm_ids.h"
#include "tls/channel/sec_status.h"

namespace corvane::tls {

namespace {

// The package names a caller may configure; all of them mean the one TLS
// engine there is.
constexpr std::string_view kProviders[] = {
    "Microsoft Unified Security Protocol Provider",
    "Schannel",
    "Microsoft TLS 1.0",
    "Microsoft SSL 3.0",
    "Default TLS SSP",
    "OpenSSL",
};

// The protocol bits of each version, lowest first.
struct VersionBits {
  uint32_t bits;
  int version;
  uint64_t disable;
};
constexpr VersionBits kVersions[] = {
    {kProtTls10, TLS1_VERSION, SSL_OP_NO_TLSv1},
    {kProtTls11, TLS1_1_VERSION, SSL_OP_NO_TLSv1_1},
    {kProtTls12, TLS1_2_VERSION, SSL_OP_NO_TLSv1_2},
    {kProtTls13, TLS1_3_VERSION, SSL_OP_NO_TLSv1_3},
};

// What SSLAlgorithmList asks for, by class; a class the list does not name
// is not restricted.
struct AlgorithmFilter {
  std::vector<uint32_t> ciphers, hashes, exchanges, signatures;

  explicit AlgorithmFilter(const std::vector<uint32_t>& ids) {
    for (uint32_t id : ids) {
      switch (id & alg::kClassMask) {
        case alg::kClassDataEncrypt: ciphers.push_back(id); break;
        case alg::kClassHash: hashes.push_back(id); break;
        case alg::kClassKeyExchange: exchanges.push_back(id); break;
        case alg::kClassSignature: signatures.push_back(id); break;
        default: break;  // key-derivation internals: nothing to choose
      }
    }
  }

  static bool Has(const std::vector<uint32_t>& list, uint32_t id) {
    for (uint32_t v : list) {
      if (v == id) return true;
    }
    return false;
  }

  bool CipherAllowed(int nid) const {
    if (ciphers.empty()) return true;
    switch (nid) {
      case NID_aes_128_gcm: case NID_aes_128_cbc: case NID_aes_128_ccm:
        return Has(ciphers, alg::kAes128) || Has(ciphers, alg::kAes);
      case NID_aes_256_gcm: case NID_aes_256_cbc: case NID_aes_256_ccm:
        return Has(ciphers, alg::kAes256) || Has(ciphers, alg::kAes);
      case NID_des_ede3_cbc: return Has(ciphers, alg::k3Des) || Has(ciphers, alg::k3Des112);
      case NID_des_cbc: return Has(ciphers, alg::kDes);
      case NID_rc4: return Has(ciphers, alg::kRc4);
      case NID_rc2_cbc: return Has(ciphers, alg::kRc2);
      default: return false;  // a cipher the list has no name for
    }
  }

  bool HashAllowed(int nid) const {
    if (hashes.empty()) return true;
    switch (nid) {
      case NID_md5: return Has(hashes, alg::kMd5);
      case NID_sha1: return Has(hashes, alg::kSha1);
      case NID_sha256: return Has(hashes, alg::kSha256);
      case NID_sha384: return Has(hashes, alg::kSha384);
      case NID_sha512: return Has(hashes, alg::kSha512);
      default: return false;
    }
  }

  bool ExchangeAllowed(int kx) const {
    if (exchanges.empty()) return true;
    switch (kx) {
      case NID_kx_rsa: return Has(exchanges, alg::kRsaKeyx);
      case NID_kx_dhe: return Has(exchanges, alg::kDhEphem);
      case NID_kx_ecdhe: return Has(exchanges, alg::kEcdhEphem) || Has(exchanges, alg::kEcdh);
      case NID_kx_any:  // TLS 1.3: always an ephemeral (EC)DH exchange
        return Has(exchanges, alg::kEcdhEphem) || Has(exchanges, alg::kEcdh) ||
               Has(exchanges, alg::kDhEphem);
      default: return false;
    }
  }

  bool SignatureAllowed(int auth) const {
    if (signatures.empty()) return true;
    switch (auth) {
      case NID_auth_rsa: return Has(signatures, alg::kRsaSign);
      case NID_auth_ecdsa: return Has(signatures, alg::kEcdsa);
      case NID_auth_dss: return Has(signatures, alg::kDssSign);
      case NID_auth_any: return true;  // TLS 1.3: chosen by signature_algorithms
      default: return false;
    }
  }
};

// The hash a suite is measured by: its MAC, or for AEAD suites the
// handshake hash.
int SuiteHashNid(const SSL_CIPHER* c) {
  int nid = SSL_CIPHER_get_digest_nid(c);
  if (nid != NID_undef) return nid;
  const EVP_MD* md = SSL_CIPHER_get_handshake_digest(c);
  return md != nullptr ? EVP_MD_get_type(md) : NID_undef;
}

int NewSessionCallback(SSL* ssl, SSL_SESSION* session);

int CredentialsIndex() {
  static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

}  // namespace

int SessionTargetIndex() {
  static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

namespace {

int NewSessionCallback(SSL* ssl, SSL_SESSION* session) {
  auto* creds = static_cast<TlsCredentials*>(
      SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), CredentialsIndex()));
  auto* target = static_cast<const std::string*>(SSL_get_ex_data(ssl, SessionTargetIndex()));
  if (creds == nullptr || target == nullptr) return 0;
  creds->KeepSession(*target, SslSessionPtr(session));
  return 1;  // the session is ours now
}

}  // namespace

bool KnownProvider(std::string_view name) noexcept {
  for (auto p : kProviders) {
    if (EqualsNoCase(p, name)) return true;
  }
  return false;
}

uint32_t TlsCredentials::Acquire(const CredentialParams& params,
                                 std::shared_ptr<TlsCredentials>& out) {
  out.reset();
  if (!KnownProvider(params.provider)) return kSecESecpkgNotFound;
  std::shared_ptr<TlsCredentials> c(new (std::nothrow) TlsCredentials());
  if (!c) return kSecEInsufficientMemory;
  c->params_ = params;
  uint32_t status = c->Configure();
  ERR_clear_error();
  if (status != kSecEOk) return status;
  out = std::move(c);
  return kSecEOk;
}

uint32_t TlsCredentials::Configure() {
  ctx_.reset(SSL_CTX_new(TLS_client_method()));
  if (!ctx_) return kSecEInsufficientMemory;
  SSL_CTX* ctx = ctx_.get();
  SSL_CTX_set_ex_data(ctx, CredentialsIndex(), this);

  // Versions: the lowest and highest enabled bit bound the range, versions
  // left out in between are switched off one by one.
  // 0 leaves the choice to the provider: TLS 1.2 and 1.3.
  protocols_ = params_.enabledProtocols != 0 ? params_.enabledProtocols : kProtTls12 | kProtTls13;
  uint32_t tlsBits = protocols_ & (kProtTls10 | kProtTls11 | kProtTls12 | kProtTls13);
  if (tlsBits == 0) return kSecEAlgorithmMismatch;  // only SSL 2/3 or PCT: none available
  int minVersion = 0, maxVersion = 0;
  uint64_t disable = 0;
  for (const auto& v : kVersions) {
    if (tlsBits & v.bits) {
      if (minVersion == 0) minVersion = v.version;
      maxVersion = v.version;
    }
  }
  for (const auto& v : kVersions) {
    if (v.version > minVersion && v.version < maxVersion && !(tlsBits & v.bits)) disable |= v.disable;
  }
  if (!SSL_CTX_set_min_proto_version(ctx, minVersion) ||
      !SSL_CTX_set_max_proto_version(ctx, maxVersion)) {
    return kSecEAlgorithmMismatch;
  }
  SSL_CTX_set_options(ctx, disable);
  // TLS 1.0 and 1.1 stay under the system's security level: where it refuses
  // their SHA-1 and MD5 signatures the handshake fails and says so.

  // Cipher suites: the library's default list, narrowed by the minimum
  // strength and the algorithm list. Most settings (the default strength
  // among them) keep every suite; the lists are then left as they are,
  // since rebuilding them is the costly part of making a credential.
  std::vector<uint32_t> ids = ParseAlgorithmList(params_.algorithmList);
  AlgorithmFilter filter(ids);
  auto kept = [&](const SSL_CIPHER* c) {
    return SSL_CIPHER_get_bits(c, nullptr) >= params_.cipherStrength &&
           filter.CipherAllowed(SSL_CIPHER_get_cipher_nid(c)) &&
           filter.HashAllowed(SuiteHashNid(c)) &&
           filter.ExchangeAllowed(SSL_CIPHER_get_kx_nid(c)) &&
           filter.SignatureAllowed(SSL_CIPHER_get_auth_nid(c));
  };
  STACK_OF(SSL_CIPHER)* all = SSL_CTX_get_ciphers(ctx);
  int suites = sk_SSL_CIPHER_num(all);
  bool dropsAny = false;
  for (int i = 0; i < suites && !dropsAny; ++i) dropsAny = !kept(sk_SSL_CIPHER_value(all, i));
  if (dropsAny) {
    std::string legacy, modern;
    for (int i = 0; i < suites; ++i) {
      const SSL_CIPHER* c = sk_SSL_CIPHER_value(all, i);
      if (!kept(c)) continue;
      bool tls13 = SSL_CIPHER_get_kx_nid(c) == NID_kx_any;
      std::string& list = tls13 ? modern : legacy;
      if (!list.empty()) list += ':';
      list += SSL_CIPHER_get_name(c);
    }
    bool haveLegacy = !legacy.empty() && (tlsBits & ~kProtTls13) != 0;
    bool haveModern = !modern.empty() && (tlsBits & kProtTls13) != 0;
    if (!haveLegacy && !haveModern) return kSecEAlgorithmMismatch;
    // Without suites for one side of the 1.3 divide the range only narrows;
    // it never reaches a version the caller left out.
    if (haveLegacy) {
      if (!SSL_CTX_set_cipher_list(ctx, legacy.c_str())) return kSecEAlgorithmMismatch;
    } else if (!SSL_CTX_set_min_proto_version(ctx, TLS1_3_VERSION)) {
      return kSecEAlgorithmMismatch;
    }
    if (haveModern) {
      if (!SSL_CTX_set_ciphersuites(ctx, modern.c_str())) return kSecEAlgorithmMismatch;
    } else if (!SSL_CTX_set_max_proto_version(ctx, std::min(maxVersion, TLS1_2_VERSION))) {
      return kSecEAlgorithmMismatch;
    }
  }

  // The component decides on the server certificate after the handshake.
  SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);

  if (const auto& cc = params_.clientCertificate; cc && cc->certificate) {
    if (SSL_CTX_use_certificate(ctx, cc->certificate.get()) != 1 || !cc->key ||
        SSL_CTX_use_PrivateKey(ctx, cc->key.get()) != 1 || SSL_CTX_check_private_key(ctx) != 1) {
      return kSecENoCredentials;
    }
    if (cc->chain) {
      for (int i = 0; i < sk_X509_num(cc->chain.get()); ++i) {
        if (SSL_CTX_add1_chain_cert(ctx, sk_X509_value(cc->chain.get(), i)) != 1) return kSecENoCredentials;
      }
    }
    // A TLS 1.3 server may ask for the certificate after the handshake
    // (RFC 8446 4.6.2); the library answers from the same credential.
    SSL_CTX_set_post_handshake_auth(ctx, 1);
  }

  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_new_cb(ctx, NewSessionCallback);
  return kSecEOk;
}

SSL_SESSION* TlsCredentials::SessionFor(const std::string& target) const {
  auto it = sessions_.find(target);
  return it == sessions_.end() ? nullptr : it->second.get();
}

void TlsCredentials::KeepSession(const std::string& target, SslSessionPtr session) {
  // One session per target is enough to resume the next connection.
  sessions_[target] = std::move(session);
}

uint32_t CredentialCache::Acquire(const CredentialParams& params, bool reuse) {
  reused_ = false;
  if (reuse && current_ && current_->Params() == params) {
    reused_ = true;
    return kSecEOk;
  }
  current_.reset();
  return TlsCredentials::Acquire(params, current_);
}

}  // namespace corvane::tls
