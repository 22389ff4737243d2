#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tls/channel/certificate_report.h"
#include "tls/channel/ossl_handles.h"

namespace corvane::tls {

// Chain-policy statuses, in the platform's numbering.
inline constexpr uint32_t kCertExpired = 0x800B0101;
inline constexpr uint32_t kCertValidityPeriodNesting = 0x800B0102;
inline constexpr uint32_t kCertRole = 0x800B0103;
inline constexpr uint32_t kCertPurpose = 0x800B0106;
inline constexpr uint32_t kCertUntrustedRoot = 0x800B0109;
inline constexpr uint32_t kCertChaining = 0x800B010A;
inline constexpr uint32_t kCertRevoked = 0x800B010C;
inline constexpr uint32_t kCertUntrustedTestRoot = 0x800B010D;
inline constexpr uint32_t kCertRevocationFailure = 0x800B010E;
inline constexpr uint32_t kCertCnNoMatch = 0x800B010F;
inline constexpr uint32_t kCertWrongUsage = 0x800B0110;
inline constexpr uint32_t kCryptRevoked = 0x80092010;
inline constexpr uint32_t kCryptRevocationOffline = 0x80092013;
inline constexpr uint32_t kTrustBadSignature = 0x80096004;
inline constexpr uint32_t kTrustBasicConstraints = 0x80096019;

// SSLSecurityFlags: the chain-policy ignore bits, plus bit 31.
inline constexpr uint32_t kIgnoreTimeValidity = 0x1 | 0x2 | 0x4;
inline constexpr uint32_t kIgnoreBasicConstraints = 0x8;
inline constexpr uint32_t kAllowUnknownCa = 0x10;
inline constexpr uint32_t kIgnoreWrongUsage = 0x20;
inline constexpr uint32_t kIgnoreRevocationUnknown = 0xF00;
inline constexpr uint32_t kNoServerNameCheck = 0x80000000;

// The text of a policy status ("(unknown status code)" for others).
std::string_view PolicyStatusText(uint32_t status) noexcept;

// The trust store of the system (SSL_CERT_FILE and SSL_CERT_DIR honoured),
// loaded once for each distinct setting of those variables.
X509StorePtr SystemTrustStore();

// A trust store of the CA certificates in file (PEM, one or more) and in
// dir (hashed names, as c_rehash writes them), for an object that trusts
// its own CAs instead of the system's. Null when file cannot be read or dir
// is not a directory.
X509StorePtr LoadTrustStore(const std::string& file, const std::string& dir);

// Builds and checks the chain of certificate (with the certificates the
// server sent as untrusted helpers) against trust (null: the system store),
// checks serverName (host name or IP literal; empty: no check) unless
// securityFlags has bit 31, and fills report. Returns 0 when the chain is
// good, the policy status of the first fault not ignored by securityFlags,
// 274 (chain not built), 275 (check failed to run) or 285 (the name cannot
// be converted); for 274 and 275 the status text is the error message.
uint32_t ValidateServerCertificate(X509* certificate, STACK_OF(X509)* sentChain,
                                   std::string_view serverName, uint32_t securityFlags,
                                   bool includeChain, CertificateReport& report,
                                   X509_STORE* trust = nullptr);

// The DER bytes of a certificate.
std::string CertificateDer(X509* certificate);
// PEM armour with CR LF line ends, base64 in lines of 64.
std::string PemCertificate(std::string_view der);

// The early look: the first certificate of the Certificate message in plain
// handshake records. 0 with subject, issuer and encoded (base64 in lines of
// 64, no armour) filled, or 281.
int ParseCertificateFromHandshake(std::string_view records, CertificateReport& report);

// RFC 5929 4.1 "tls-server-end-point" channel binding data: the hash of the
// certificate with its signature's hash (SHA-256 for MD5 and SHA-1).
std::string TlsServerEndPoint(X509* certificate);

}  // namespace corvane::tls
