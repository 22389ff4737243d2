#include "tls/channel/cert_validation.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "test_pki.h"
#include "tls/channel/tls_errors.h"
#include "tls/channel/x500_name.h"

namespace corvane::tls {
namespace {

using testing::TestPki;

X509StackPtr Chain(std::initializer_list<X509*> certs) {
  X509StackPtr chain(sk_X509_new_null());
  for (X509* c : certs) {
    X509_up_ref(c);
    sk_X509_push(chain.get(), c);
  }
  return chain;
}

// Weak keys and digests pass no ignore flag; only the listener can accept them.
TEST(CertificateFaults, MapToPolicyStatusAndHonourIgnoreFlags) {
  const auto& pki = TestPki::Get();
  struct Case {
    X509Ptr TestPki::*leaf;
    bool sendIssuer;
    const char* host;
    uint32_t flags;
    uint32_t expect;
  } cases[] = {
      {&TestPki::valid, true, "localhost", 0, 0},
      {&TestPki::valid, true, "127.0.0.1", 0, 0},
      {&TestPki::valid, true, "[::1]", 0, 0},
      {&TestPki::valid, false, "localhost", 0, 0},
      {&TestPki::valid, true, "", 0, 0},  // no name, no name check
      {&TestPki::valid, true, "www.example.com", 0, kCertCnNoMatch},
      {&TestPki::valid, true, "127.0.0.2", 0, kCertCnNoMatch},
      {&TestPki::expired, true, "localhost", 0, kCertExpired},
      {&TestPki::expired, true, "localhost", 0x1, 0},
      {&TestPki::otherHost, true, "localhost", 0, kCertCnNoMatch},
      {&TestPki::otherHost, true, "localhost", 0x80000000, 0},
      {&TestPki::untrusted, true, "localhost", 0, kCertUntrustedRoot},
      {&TestPki::untrusted, false, "localhost", 0, kCertChaining},
      {&TestPki::untrusted, true, "localhost", 0x10, 0},
      {&TestPki::selfSigned, false, "localhost", 0, kCertUntrustedRoot},
      {&TestPki::selfSigned, false, "localhost", 0x10, 0},
      {&TestPki::selfSigned, false, "other", 0x10, kCertCnNoMatch},
      {&TestPki::selfSigned, false, "other", 0, kCertUntrustedRoot},  // trust is judged before the name
      {&TestPki::rsa1024, true, "localhost", 0xFFFFFFFF, kTrustBadSignature},
      {&TestPki::ec192, true, "localhost", 0, kTrustBadSignature},
      {&TestPki::sha1Signed, true, "localhost", 0, kTrustBadSignature},
      {&TestPki::md5SelfSigned, false, "localhost", 0x10, kTrustBadSignature},
  };
  for (const Case& c : cases) {
    X509* leaf = (pki.*c.leaf).get();
    SCOPED_TRACE(X500NameString(X509_get_issuer_name(leaf)) + " " + c.host);
    X509* issuer = c.leaf == &TestPki::untrusted ? pki.otherCa.get() : pki.ca.get();
    auto chain = c.sendIssuer ? Chain({leaf, issuer}) : Chain({leaf});
    CertificateReport report;
    uint32_t result = ValidateServerCertificate(leaf, chain.get(), c.host, c.flags, false, report, pki.trust.get());
    EXPECT_EQ(result, c.expect) << StatusHex(result) << " " << report.status;
    EXPECT_EQ(report.status,
              c.expect == 0 ? "OK" : "[" + StatusHex(c.expect) + "] " + std::string(PolicyStatusText(c.expect)));
  }
}

TEST(CertificateReport, SubjectIssuerAndPemBlocksLeafFirst) {
  const auto& pki = TestPki::Get();
  auto chain = Chain({pki.valid.get(), pki.ca.get()});
  const std::string leaf = PemCertificate(CertificateDer(pki.valid.get()));
  for (bool includeChain : {false, true}) {
    CertificateReport report;
    ASSERT_EQ(ValidateServerCertificate(pki.valid.get(), chain.get(), "localhost", 0, includeChain, report,
                                        pki.trust.get()),
              0u);
    EXPECT_EQ(report.subject, "CN=localhost, O=Example, C=US");
    EXPECT_EQ(report.issuer, "CN=Corvane Test CA, O=Example, C=US");
    EXPECT_EQ(report.encoded, includeChain ? leaf + "\r\n" + PemCertificate(CertificateDer(pki.ca.get())) : leaf);
  }
  // Base64 in CR LF lines of 64 characters.
  std::string line(64, '\0');
  for (size_t i = 0; i < 64; i += 4) line.replace(i, 4, "eHh4");
  EXPECT_EQ(PemCertificate(std::string(100, 'x')), "-----BEGIN CERTIFICATE-----\r\n" + line + "\r\n" + line +
                                                       "\r\neHh4eA==\r\n-----END CERTIFICATE-----\r\n");
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

TEST(X500Name, QuotesSeparatorsJoinsMultiValuedPartsAndCutsLongNames) {
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
  // Long names are cut.
  for (int i = 0; i < 40; ++i) add("OU", std::string(60, 'o').c_str(), 0);
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
