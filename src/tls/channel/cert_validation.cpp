#include "tls/channel/cert_validation.h"

#include <sys/stat.h>

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <mutex>

#include "core/base64.h"
#include "tls/channel/handshake_reader.h"
#include "tls/channel/tls_errors.h"
#include "tls/channel/x500_name.h"

namespace corvane::tls {

namespace {

struct PolicyText {
  uint32_t status;
  std::string_view text;
};
constexpr PolicyText kPolicyTexts[] = {
    {0x800B0101, "A required certificate is not within its validity period."},
    {0x800B0102, "The validity periods of the certification chain do not nest correctly."},
    {0x800B0103, "A certificate that can only be used as an end-entity is being used as a CA or visa versa."},
    {0x800B0106, "A certificate is being used for a non permitted purpose."},
    {0x800B0109, "A certification chain processed correctly but terminated in a root certificate not trusted by the trust provider."},
    {0x800B010A, "A chain of certificates was not correctly created."},
    {0x800B010C, "A certificate in the chain has been explicitly revoked by its issuer."},
    {0x800B010D, "The root certificate is a testing certificate and policy settings disallow test certificates."},
    {0x800B010E, "The revocation process could not continue. The certificates could not be checked."},
    {0x800B010F, "The certificate's CN name does not match the passed value."},
    {0x800B0110, "The certificate is not valid for the requested usage."},
    {0x80092010, "The certificate or signature has been revoked."},
    {0x80092013, "Since the revocation server was offline, the called function was not able to complete the revocation check."},
    {0x80096004, "The signature of the certificate cannot be verified."},
    {0x80096019, "The certificate's basic constraints are invalid or missing."},
};

// Fault classes found while building the chain, in the order they are
// reported when several are present.
enum Fault : uint32_t {
  kFaultSignature = 1u << 0,
  kFaultUntrustedRoot = 1u << 1,
  kFaultPartialChain = 1u << 2,
  kFaultRevoked = 1u << 3,
  kFaultTime = 1u << 4,
  kFaultBasicConstraints = 1u << 5,
  kFaultUsage = 1u << 6,
  kFaultOther = 1u << 7,
  kFaultWeak = 1u << 8,
};

struct FaultRule {
  uint32_t fault;
  uint32_t status;
  uint32_t ignoredBy;  // SSLSecurityFlags bits that let it pass
};
constexpr FaultRule kFaultRules[] = {
    {kFaultSignature, kTrustBadSignature, 0},
    {kFaultWeak, kTrustBadSignature, 0},
    {kFaultUntrustedRoot, kCertUntrustedRoot, kAllowUnknownCa},
    {kFaultPartialChain, kCertChaining, kAllowUnknownCa},
    {kFaultRevoked, kCertRevoked, 0},
    {kFaultTime, kCertExpired, kIgnoreTimeValidity},
    {kFaultBasicConstraints, kTrustBasicConstraints, kIgnoreBasicConstraints},
    {kFaultUsage, kCertWrongUsage, kIgnoreWrongUsage},
    {kFaultOther, kCertChaining, 0},
};

uint32_t FaultOf(int error) {
  switch (error) {
    case X509_V_OK:
      return 0;
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
    case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
      return kFaultSignature;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
      return kFaultUntrustedRoot;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return kFaultPartialChain;
    case X509_V_ERR_CERT_REVOKED:
      return kFaultRevoked;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
      return kFaultTime;
    case X509_V_ERR_INVALID_CA:
    case X509_V_ERR_PATH_LENGTH_EXCEEDED:
    case X509_V_ERR_INVALID_NON_CA:
      return kFaultBasicConstraints;
    case X509_V_ERR_INVALID_PURPOSE:
    case X509_V_ERR_KEYUSAGE_NO_CERTSIGN:
      return kFaultUsage;
    default:
      return kFaultOther;
  }
}

// Keys below 112 bits of strength (RSA and DSA under 2048 bits, EC under 224;
// NIST SP 800-57 part 1) and signatures made with MD5 or SHA-1, whose
// collisions are practical. A self-signed certificate's own signature is
// judged only for the server's certificate: a trust anchor is trusted as
// stored, whatever it was signed with.
bool IsWeak(X509* certificate, bool isLeaf) {
  EVP_PKEY* key = X509_get0_pubkey(certificate);
  if (key == nullptr) return true;
  int bits = EVP_PKEY_get_bits(key);
  int id = EVP_PKEY_get_base_id(key);
  if ((id == EVP_PKEY_RSA || id == EVP_PKEY_RSA_PSS || id == EVP_PKEY_DSA) && bits < 2048) return true;
  if (id == EVP_PKEY_EC && bits < 224) return true;
  bool selfSigned = X509_check_issued(certificate, certificate) == X509_V_OK;
  if (!isLeaf && selfSigned) return false;
  int mdNid = NID_undef;
  if (!X509_get_signature_info(certificate, &mdNid, nullptr, nullptr, nullptr)) return false;
  return mdNid == NID_md5 || mdNid == NID_sha1 || mdNid == NID_md4 || mdNid == NID_md2;
}

// Collects every fault instead of stopping at the first, so the policy
// flags can let some of them pass.
int CollectFaults(int ok, X509_STORE_CTX* ctx) {
  if (!ok) {
    auto* faults = static_cast<uint32_t*>(X509_STORE_CTX_get_app_data(ctx));
    *faults |= FaultOf(X509_STORE_CTX_get_error(ctx));
  }
  return 1;
}

// The server name must be valid in the object's character set (UTF-8) to
// be compared with the certificate's names.
bool ValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t extra = c < 0x80 ? 0 : (c >= 0xC2 && c <= 0xDF) ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c >= 0xF0 && c <= 0xF4) ? 3 : 4;
    if (extra == 4 || s.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += 1 + extra;
  }
  return true;
}

bool NameMatches(X509* certificate, std::string_view name) {
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  std::string host(name);
  unsigned char buf[16];
  if (inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1) {
    return X509_check_ip_asc(certificate, host.c_str(), 0) == 1;
  }
  return X509_check_host(certificate, host.data(), host.size(), X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS,
                         nullptr) == 1;
}

std::string PemChain(STACK_OF(X509)* chain) {
  std::string out;
  for (int i = 0; i < sk_X509_num(chain); ++i) {
    if (i > 0) out += "\r\n";
    out += PemCertificate(CertificateDer(sk_X509_value(chain, i)));
  }
  return out;
}

}  // namespace

std::string_view PolicyStatusText(uint32_t status) noexcept {
  for (const auto& p : kPolicyTexts) {
    if (p.status == status) return p.text;
  }
  return "(unknown status code)";
}

X509StorePtr SystemTrustStore() {
  static std::mutex lock;
  static std::string loadedFor;
  static X509StorePtr store;
  const char* file = std::getenv(X509_get_default_cert_file_env());
  const char* dir = std::getenv(X509_get_default_cert_dir_env());
  std::string key = std::string(file ? file : "\x01") + '\n' + (dir ? dir : "\x01");
  std::lock_guard<std::mutex> hold(lock);
  if (!store || key != loadedFor) {
    X509StorePtr fresh(X509_STORE_new());
    if (!fresh) return nullptr;
    X509_STORE_set_default_paths(fresh.get());
    ERR_clear_error();  // a missing default file or directory is not an error
    store = std::move(fresh);
    loadedFor = key;
  }
  return ShareStore(store.get());
}

X509StorePtr LoadTrustStore(const std::string& file, const std::string& dir) {
  X509StorePtr store(X509_STORE_new());
  if (!store) return nullptr;
  bool ok = true;
  if (!file.empty()) ok = X509_STORE_load_file(store.get(), file.c_str()) == 1;
  if (ok && !dir.empty()) {
    // The directory is only searched during a check, so a wrong path would
    // otherwise pass silently and fail every handshake later.
    struct stat info {};
    ok = stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         X509_STORE_load_path(store.get(), dir.c_str()) == 1;
  }
  ERR_clear_error();
  return ok ? std::move(store) : nullptr;
}

std::string CertificateDer(X509* certificate) {
  unsigned char* der = nullptr;
  int n = i2d_X509(certificate, &der);
  if (n <= 0) return {};
  std::string out(reinterpret_cast<char*>(der), static_cast<size_t>(n));
  OPENSSL_free(der);
  return out;
}

std::string PemCertificate(std::string_view der) {
  return "-----BEGIN CERTIFICATE-----\r\n" + Base64Encode(der, {.lineBreaks = true}) +
         "\r\n-----END CERTIFICATE-----\r\n";
}

uint32_t ValidateServerCertificate(X509* certificate, STACK_OF(X509)* sentChain,
                                   std::string_view serverName, uint32_t securityFlags,
                                   bool includeChain, CertificateReport& report, X509_STORE* trust) {
  report = {};
  if (certificate == nullptr) return 274;
  report.subject = X500NameString(X509_get_subject_name(certificate));
  report.issuer = X500NameString(X509_get_issuer_name(certificate));

  X509StorePtr system;
  if (trust == nullptr) {
    system = SystemTrustStore();
    trust = system.get();
  }
  X509StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!ctx || trust == nullptr || X509_STORE_CTX_init(ctx.get(), trust, certificate, sentChain) != 1) {
    report.status = TlsErrorText(TlsError::ChainBuild, static_cast<uint32_t>(ERR_peek_last_error()));
    ERR_clear_error();
    return 274;
  }
  if (!serverName.empty() && !ValidUtf8(serverName)) {
    report.status = TlsErrorText(TlsError::ServerNameConversion);
    return 285;
  }
  uint32_t faults = 0;
  X509_STORE_CTX_set_app_data(ctx.get(), &faults);
  X509_STORE_CTX_set_verify_cb(ctx.get(), CollectFaults);
  // RFC 5280 4.2.1.12: the certificate must be fit for TLS server use.
  X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_SSL_SERVER);
  int verified = X509_verify_cert(ctx.get());
  if (verified < 0) {
    report.status = TlsErrorText(TlsError::ChainPolicy, static_cast<uint32_t>(ERR_peek_last_error()));
    ERR_clear_error();
    return 275;
  }
  ERR_clear_error();
  {
    X509StackPtr built(X509_STORE_CTX_get1_chain(ctx.get()));
    int count = built ? sk_X509_num(built.get()) : 0;
    if (IsWeak(certificate, true)) faults |= kFaultWeak;
    for (int i = 1; i < count; ++i) {
      if (IsWeak(sk_X509_value(built.get(), i), false)) faults |= kFaultWeak;
    }
    ERR_clear_error();
  }

  uint32_t result = 0;
  for (const auto& rule : kFaultRules) {
    if ((faults & rule.fault) && !(securityFlags & rule.ignoredBy)) {
      result = rule.status;
      break;
    }
  }
  if (result == 0 && !serverName.empty() && !(securityFlags & kNoServerNameCheck) &&
      !NameMatches(certificate, serverName)) {
    result = kCertCnNoMatch;
  }
  if (result == 0) {
    report.status = "OK";
  } else {
    report.status = "[" + StatusHex(result) + "] " + std::string(PolicyStatusText(result));
  }

  if (includeChain) {
    X509StackPtr built(X509_STORE_CTX_get1_chain(ctx.get()));
    if (built && sk_X509_num(built.get()) > 0) {
      report.encoded = PemChain(built.get());
    } else if (sentChain != nullptr && sk_X509_num(sentChain) > 0) {
      report.encoded = PemChain(sentChain);
    }
  }
  if (report.encoded.empty()) report.encoded = PemCertificate(CertificateDer(certificate));
  return result;
}

int ParseCertificateFromHandshake(std::string_view records, CertificateReport& report) {
  constexpr int kNoCertificate = 281;
  std::string der;
  if (FindCertificateInHandshake(records, der) != 0 || der.empty()) return kNoCertificate;
  const auto* p = reinterpret_cast<const unsigned char*>(der.data());
  X509Ptr certificate(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
  if (!certificate) {
    ERR_clear_error();
    return kNoCertificate;
  }
  report = {};
  report.subject = X500NameString(X509_get_subject_name(certificate.get()));
  report.issuer = X500NameString(X509_get_issuer_name(certificate.get()));
  report.encoded = Base64Encode(der, {.lineBreaks = true});
  report.status = "Parsed";
  return 0;
}

std::string TlsServerEndPoint(X509* certificate) {
  int mdNid = NID_undef;
  if (certificate == nullptr || !X509_get_signature_info(certificate, &mdNid, nullptr, nullptr, nullptr)) {
    return {};
  }
  const EVP_MD* md = mdNid == NID_md5 || mdNid == NID_sha1 || mdNid == NID_undef ? EVP_sha256()
                                                                                 : EVP_get_digestbynid(mdNid);
  if (md == nullptr) md = EVP_sha256();
  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (!X509_digest(certificate, md, hash, &length)) return {};
  return "tls-server-end-point:" + std::string(reinterpret_cast<char*>(hash), length);
}

}  // namespace corvane::tls
