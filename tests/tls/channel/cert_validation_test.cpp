#include "tls/channel/cert_validation.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/base64.h"
#include "test_pki.h"
#include "tls/channel/tls_errors.h"
#include "tls/channel/x500_name.h"

namespace corvane::tls {
namespace {

using testing::CertSpec;
using testing::TestPki;

X509StackPtr Chain(std::initializer_list<X509*> certs) {
  X509StackPtr chain(sk_X509_new_null());
  for (X509* c : certs) {
    X509_up_ref(c);
    sk_X509_push(chain.get(), c);
  }
  return chain;
}

struct FaultCase {
  const char* name;
  int which;  // 0 valid, 1 expired, 2 other host, 3 untrusted CA, 4 self-signed,
              // 5 RSA 1024, 6 EC 192, 7 SHA-1 signed, 8 MD5 self-signed
  bool sendIssuer;
  const char* host;
  uint32_t flags;
  uint32_t expect;
};

class CertificateFaults : public ::testing::TestWithParam<FaultCase> {};

X509* Pick(int which) {
  const auto& pki = TestPki::Get();
  switch (which) {
    case 1: return pki.expired.get();
    case 2: return pki.otherHost.get();
    case 3: return pki.untrusted.get();
    case 4: return pki.selfSigned.get();
    case 5: return pki.rsa1024.get();
    case 6: return pki.ec192.get();
    case 7: return pki.sha1Signed.get();
    case 8: return pki.md5SelfSigned.get();
    default: return pki.valid.get();
  }
}

TEST_P(CertificateFaults, MapsToPolicyStatusAndHonoursIgnoreFlags) {
  const auto& c = GetParam();
  const auto& pki = TestPki::Get();
  X509* leaf = Pick(c.which);
  X509* issuer = c.which == 3 ? pki.otherCa.get() : pki.ca.get();
  auto chain = c.sendIssuer && c.which != 4 && c.which != 8 ? Chain({leaf, issuer}) : Chain({leaf});
  CertificateReport report;
  uint32_t result = ValidateServerCertificate(leaf, chain.get(), c.host, c.flags, false, report, pki.trust.get());
  EXPECT_EQ(result, c.expect) << StatusHex(result) << " " << report.status;
  if (c.expect == 0) {
    EXPECT_EQ(report.status, "OK");
  } else {
    EXPECT_EQ(report.status, "[" + StatusHex(c.expect) + "] " + std::string(PolicyStatusText(c.expect)));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CertificateFaults,
    ::testing::Values(
        FaultCase{"ValidForHostName", 0, true, "localhost", 0, 0},
        FaultCase{"ValidForIpv4Literal", 0, true, "127.0.0.1", 0, 0},
        FaultCase{"ValidForIpv6Literal", 0, true, "::1", 0, 0},
        FaultCase{"ValidForBracketedIpv6", 0, true, "[::1]", 0, 0},
        FaultCase{"ValidWithoutSentIssuer", 0, false, "localhost", 0, 0},
        FaultCase{"NoNameNoNameCheck", 0, true, "", 0, 0},
        FaultCase{"OtherHostName", 0, true, "www.example.com", 0, kCertCnNoMatch},
        FaultCase{"OtherIpv4", 0, true, "127.0.0.2", 0, kCertCnNoMatch},
        FaultCase{"OtherIpv6", 0, true, "::2", 0, kCertCnNoMatch},
        FaultCase{"Expired", 1, true, "localhost", 0, kCertExpired},
        FaultCase{"ExpiredIgnored", 1, true, "localhost", 0x1, 0},
        FaultCase{"WrongHost", 2, true, "localhost", 0, kCertCnNoMatch},
        FaultCase{"WrongHostWithoutNameCheck", 2, true, "localhost", 0x80000000, 0},
        FaultCase{"UntrustedCaSent", 3, true, "localhost", 0, kCertUntrustedRoot},
        FaultCase{"UntrustedCaNotSent", 3, false, "localhost", 0, kCertChaining},
        FaultCase{"UntrustedCaAllowed", 3, true, "localhost", 0x10, 0},
        FaultCase{"SelfSigned", 4, false, "localhost", 0, kCertUntrustedRoot},
        FaultCase{"SelfSignedAllowed", 4, false, "localhost", 0x10, 0},
        FaultCase{"SelfSignedAllowedStillNameChecked", 4, false, "other", 0x10, kCertCnNoMatch},
        FaultCase{"TrustFaultBeforeNameFault", 4, false, "other", 0, kCertUntrustedRoot},
        // Weak keys and digests pass no ignore flag; only the listener can
        // accept them.
        FaultCase{"Rsa1024Key", 5, true, "localhost", 0xFFFFFFFF, kTrustBadSignature},
        FaultCase{"Ec192Key", 6, true, "localhost", 0, kTrustBadSignature},
        FaultCase{"Sha1Signature", 7, true, "localhost", 0, kTrustBadSignature},
        FaultCase{"Md5SelfSignedWithUnknownCaAllowed", 8, false, "localhost", 0x10, kTrustBadSignature}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CertificateReport, SubjectIssuerAndPemForm) {
  const auto& pki = TestPki::Get();
  CertificateReport report;
  ASSERT_EQ(ValidateServerCertificate(pki.valid.get(), nullptr, "localhost", 0, false, report, pki.trust.get()), 0u);
  EXPECT_EQ(report.subject, "CN=localhost, O=Example, C=US");
  EXPECT_EQ(report.issuer, "CN=Corvane Test CA, O=Example, C=US");
  const std::string& pem = report.encoded;
  ASSERT_EQ(pem.rfind("-----BEGIN CERTIFICATE-----\r\n", 0), 0u);
  const std::string end = "\r\n-----END CERTIFICATE-----\r\n";
  ASSERT_GT(pem.size(), end.size());
  EXPECT_EQ(pem.substr(pem.size() - end.size()), end);
  std::string body = pem.substr(29, pem.size() - 29 - end.size());
  for (size_t at = 0; at < body.size(); at += 66) {
    size_t line = body.find("\r\n", at);
    EXPECT_EQ((line == std::string::npos ? body.size() : line) - at <= 64, true);
  }
  std::string der;
  ASSERT_TRUE(Base64Decode(body, der));
  EXPECT_EQ(der, CertificateDer(pki.valid.get()));
}

TEST(CertificateReport, IncludeChainGivesEveryBlockLeafFirst) {
  const auto& pki = TestPki::Get();
  auto chain = Chain({pki.valid.get(), pki.ca.get()});
  CertificateReport report;
  ASSERT_EQ(ValidateServerCertificate(pki.valid.get(), chain.get(), "localhost", 0, true, report, pki.trust.get()), 0u);
  std::string leaf = PemCertificate(CertificateDer(pki.valid.get()));
  std::string ca = PemCertificate(CertificateDer(pki.ca.get()));
  EXPECT_EQ(report.encoded, leaf + "\r\n" + ca);
}

TEST(CertificateReport, SystemStoreHonoursSslCertFile) {
  const auto& pki = TestPki::Get();
  auto path = std::filesystem::temp_directory_path() / ("corvane_ca_" + std::to_string(getpid()) + ".pem");
  {
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    PEM_write_X509(f, pki.ca.get());
    std::fclose(f);
  }
  const char* old = std::getenv("SSL_CERT_FILE");
  std::string saved = old ? old : "";
  setenv("SSL_CERT_FILE", path.c_str(), 1);
  CertificateReport report;
  EXPECT_EQ(ValidateServerCertificate(pki.valid.get(), nullptr, "localhost", 0, false, report), 0u) << report.status;
  unsetenv("SSL_CERT_FILE");
  setenv("SSL_CERT_DIR", "/nonexistent-corvane", 1);
  EXPECT_EQ(ValidateServerCertificate(pki.valid.get(), nullptr, "localhost", 0, false, report), kCertChaining);
  unsetenv("SSL_CERT_DIR");
  if (old) setenv("SSL_CERT_FILE", saved.c_str(), 1);
  std::filesystem::remove(path);
}

TEST(CertificateReport, ServerNameThatIsNotUtf8CannotBeChecked) {
  const auto& pki = TestPki::Get();
  CertificateReport report;
  EXPECT_EQ(ValidateServerCertificate(pki.valid.get(), nullptr, "bad\xff" "name", 0, false, report, pki.trust.get()),
            285u);
  EXPECT_EQ(report.status, "Server name does not match server certificate.");
  EXPECT_EQ(PolicyStatusText(0x12345678), "(unknown status code)");
}

TEST(X500Name, QuotesSeparatorsAndJoinsMultiValuedParts) {
  X509NamePtr name(X509_NAME_new());
  auto add = [&](const char* f, const char* v, int set) {
    X509_NAME_add_entry_by_txt(name.get(), f, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(v), -1, -1, set);
  };
  add("C", "DE", 0);
  add("ST", "Bayern", 0);
  add("O", "Acme, \"Best\" Inc.", 0);
  add("OU", "Ops", 0);
  add("CN", "h\xc3\xa9llo", -1);  // joins the RDN of OU
  add("emailAddress", "a@b.c", 0);
  add("1.2.3.4", "x", 0);
  EXPECT_EQ(X500NameString(name.get()),
            "OID.1.2.3.4=x, E=a@b.c, OU=Ops CN=h\xc3\xa9llo, O=\"Acme, \"\"Best\"\" Inc.\", S=Bayern, C=DE");
}

TEST(X500Name, LongNamesAreCut) {
  X509NamePtr name(X509_NAME_new());
  std::string ou(60, 'o');
  for (int i = 0; i < 40; ++i) {
    X509_NAME_add_entry_by_txt(name.get(), "OU", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(ou.c_str()), -1, -1, 0);
  }
  EXPECT_EQ(X500NameString(name.get()).size(), kMaxNameString);
}

TEST(ChannelBinding, ServerEndPointHashesWithSha256ForSha256Signatures) {
  const auto& pki = TestPki::Get();
  std::string cb = TlsServerEndPoint(pki.valid.get());
  ASSERT_EQ(cb.size(), std::string("tls-server-end-point:").size() + 32);
  unsigned char hash[32];
  unsigned n = 0;
  X509_digest(pki.valid.get(), EVP_sha256(), hash, &n);
  EXPECT_EQ(cb.substr(21), std::string(reinterpret_cast<char*>(hash), 32));
}

}  // namespace
}  // namespace corvane::tls
