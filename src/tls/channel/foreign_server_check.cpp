#include "tls/channel/foreign_server_check.h"

#include "tls/channel/cert_validation.h"
#include "tls/channel/ossl_handles.h"

namespace corvane::tls {

namespace {

int VerifyErrorFor(uint32_t status) {
  switch (status) {
    case kCertExpired:
    case kCertValidityPeriodNesting: return X509_V_ERR_CERT_HAS_EXPIRED;
    case kCertCnNoMatch: return X509_V_ERR_HOSTNAME_MISMATCH;
    case kCertRevoked:
    case kCryptRevoked: return X509_V_ERR_CERT_REVOKED;
    case kCertWrongUsage:
    case kCertPurpose: return X509_V_ERR_INVALID_PURPOSE;
    default: return X509_V_ERR_CERT_UNTRUSTED;
  }
}

int VerifyServer(X509_STORE_CTX* store, void* arg) {
  const auto* check = static_cast<const ForeignServerCheck*>(arg);
  std::string host = check->host;
  auto* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  if (ssl != nullptr) {
    if (const char* sni = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name)) host = sni;
  }
  CertificateReport report;
  uint32_t status = ValidateServerCertificate(X509_STORE_CTX_get0_cert(store), X509_STORE_CTX_get0_untrusted(store),
                                              host, check->securityFlags, false, report);
  X509_STORE_CTX_set_error(store, status == 0 ? X509_V_OK : VerifyErrorFor(status));
  return status == 0 ? 1 : 0;
}

}  // namespace

void InstallForeignServerCheck(void* sslCtx, const ForeignServerCheck* check) {
  SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(sslCtx), &VerifyServer,
                                   const_cast<ForeignServerCheck*>(check));
}

}  // namespace corvane::tls
