// The client certificate in the handshake with nginx requiring one
// (tests/servers/tls/start): TLS 1.2 and 1.3, RSA, DSA and EC keys and the
// temporary certificate; the server answers with the subject it verified.
// Reading each store type is the selection's own test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "http/event_recorder.h"
#include "http/http_client.h"
#include "support/python_server.h"
#include "support/servers.h"
#include "tls/channel/cert_store.h"

namespace corvane {
namespace {

struct HandshakeCase {
  const char* name;
  const char* portVar;
  int type;
  const char* store;  // under CORVANE_CLIENT_KEYS
  const char* password;
  const char* subject;
  const char* seen;  // the subject nginx reports
};

class ClientCertHandshake : public ::testing::TestWithParam<HandshakeCase> {
 protected:
  void SetUp() override {
    client_.SetEventSink(&events_);
    client_.SetTimeout(10);
    client_.Config("SSLEnabledProtocols=0x3C00");  // TLS 1.2 and 1.3
  }
  int Get(const std::string& url) {
    if (int rc = client_.SetURL(url); rc != 0) return rc;
    return client_.Action(http::actGet);
  }
  HttpClient client_;
  testing::EventRecorder events_;
};

TEST_P(ClientCertHandshake, ServerSeesTheSubject) {
  const HandshakeCase& c = GetParam();
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  CORVANE_SERVER_SETTING(port, c.portVar);
  auto& certs = client_.ClientCertificates();
  certs.SetStoreType(c.type);
  certs.SetPassword(c.password);
  ASSERT_EQ(certs.SetStore(dir + "/" + c.store), 0);
  ASSERT_EQ(certs.SetSubject(c.subject), 0) << certs.FailureMessage();
  ASSERT_EQ(Get("https://localhost:" + port + "/"), 0) << client_.LastErrorText().str();
  EXPECT_EQ(client_.TransferredData(), c.seen);
}

INSTANTIATE_TEST_SUITE_P(
    Stores, ClientCertHandshake,
    ::testing::Values(
        HandshakeCase{"PfxTls12", "CORVANE_TLS_CLIENT12_PORT", tls::cstPFXFile, "alice.pfx", "secret", "*",
                      "CN=alice,O=Example,C=US"},
        HandshakeCase{"PemTls13", "CORVANE_TLS_CLIENT13_PORT", tls::cstPEMKeyFile, "alice-pbes2.pem", "secret",
                      "*", "CN=alice,O=Example,C=US"},
        HandshakeCase{"DsaPemTls12", "CORVANE_TLS_CLIENT12_PORT", tls::cstPEMKeyFile, "bob.pem", "", "*",
                      "CN=bob,O=Example,C=US"},
        HandshakeCase{"EcPfxTls13", "CORVANE_TLS_CLIENT13_PORT", tls::cstPFXFile, "carol.pfx", "secret", "*",
                      "CN=carol,O=Example,C=US"},
        // A key without a certificate goes out under the temporary one,
        // which only a server taking any certificate lets through.
        HandshakeCase{"PpkTemporaryCertificate", "CORVANE_TLS_CLIENT_ANY_PORT", tls::cstPPKFile, "alice-enc.ppk",
                      "secret", "*", "CN=pem_cert"}),
    [](const auto& info) { return std::string(info.param.name); });

class ClientCertFailures : public ClientCertHandshake {};

TEST_F(ClientCertFailures, WithoutACertificateTheServerRefusesAndWeSayItAsked) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_CLIENT_PORT");
  EXPECT_EQ(Get("https://localhost:" + port + "/"), 151);
  EXPECT_NE(client_.TransferredData().find("No required SSL certificate was sent"), std::string::npos);
  EXPECT_TRUE(events_.Has("SSLStatus Client certificate requested from server."));
}

TEST_F(ClientCertFailures, AStoreThatDidNotLoadFailsTheConnectionWithItsText) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_CLIENT_PORT");
  auto& certs = client_.ClientCertificates();
  certs.SetStoreType(tls::cstPFXFile);
  certs.SetPassword("wrong");
  ASSERT_EQ(certs.SetStore(dir + "/alice.pfx"), 0);
  ASSERT_EQ(certs.SetSubject("*"), 271);
  EXPECT_EQ(Get("https://localhost:" + port + "/"), 271);
  EXPECT_EQ(client_.LastErrorText().str(), "The certificate store could not be opened (0x80070056).");
  EXPECT_FALSE(events_.Has("Connected 0"));
}

TEST_F(ClientCertFailures, ACertificateWithoutItsKeyCannotMakeACredential) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_CLIENT_PORT");
  auto& certs = client_.ClientCertificates();
  certs.SetStoreType(tls::cstP7BFile);
  ASSERT_EQ(certs.SetStore(dir + "/alice.p7b"), 0);
  ASSERT_EQ(certs.SetSubject("alice"), 0);
  EXPECT_EQ(Get("https://localhost:" + port + "/"), 273);
  EXPECT_EQ(client_.LastErrorText().str(), "Could not acquire security credentials: error 0x8009030e.");
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

// A TLS 1.3 server asking for the certificate after the handshake gets it
// from the same credential.
TEST(ClientCertPostHandshake, CertificateGoesOutWhenTheServerAsksLater) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  CORVANE_SERVER_SETTING(root, "CORVANE_TLS_ROOT");
  std::string pki = root + "/../pki";
  testing::PythonServer server(testing::TestsPath("tls/post_handshake_server.py"),
                               {pki + "/valid.pem", pki + "/server.key", dir + "/client-ca.pem"});
  ASSERT_GT(server.port(), 0);
  HttpClient client;
  client.SetTimeout(10);
  client.Config("SSLEnabledProtocols=0x3000");
  auto& certs = client.ClientCertificates();
  certs.SetStoreType(tls::cstPFXFile);
  certs.SetPassword("secret");
  ASSERT_EQ(certs.SetStore(dir + "/alice.pfx"), 0);
  ASSERT_EQ(certs.SetSubject("*"), 0);
  ASSERT_EQ(client.SetURL("https://localhost:" + std::to_string(server.port()) + "/"), 0);
  ASSERT_EQ(client.Action(http::actGet), 0) << client.LastErrorText().str();
  EXPECT_EQ(client.TransferredData(), "commonName=alice,organizationName=Example,countryName=US");
}

// Apache asks for the certificate only for /cert/, by a second handshake
// on the TLS 1.2 connection that already carries the request.
TEST(ClientCertRenegotiation, CertificateGoesOutInTheSecondHandshake) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_RENEGOTIATE_PORT");
  struct Case {
    const char* name;
    bool certificate;
    bool renegotiation;
    int code;
    const char* body;
    std::string error;
  } cases[] = {
      {"certificate held", true, true, 0, "subject=CN=alice,O=Example,C=US\n", ""},
      // Apache ends the second handshake with a handshake_failure alert.
      {"no certificate", false, true, 276, "", "error during handshake[2]: 0x80090331 (sslv3 alert handshake failure)"},
      // It takes the no_renegotiation warning as the end and says so in an alert.
      {"renegotiation refused", true, false, 284, "", "error decrypting data (error 0x80090331)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HttpClient client;
    testing::EventRecorder events;
    client.SetEventSink(&events);
    client.SetTimeout(10);
    client.Config(std::string("SSLEnableRenegotiation=") + (c.renegotiation ? "true" : "false"));
    if (c.certificate) {
      auto& certs = client.ClientCertificates();
      certs.SetStoreType(tls::cstPFXFile);
      certs.SetPassword("secret");
      ASSERT_EQ(certs.SetStore(dir + "/alice.pfx"), 0);
      ASSERT_EQ(certs.SetSubject("*"), 0);
    }
    ASSERT_EQ(client.SetURL("https://localhost:" + port + "/cert/"), 0);
    int rc = client.Action(http::actGet);
    EXPECT_EQ(rc, c.code) << client.LastErrorText().str();
    EXPECT_EQ(client.TransferredData(), c.body);
    if (c.code != 0) {
      EXPECT_EQ(client.LastErrorText().str(), c.error);
      EXPECT_TRUE(events.Has(std::string("Disconnected ") + std::to_string(c.code)));
      EXPECT_FALSE(events.Has(std::string("Connected ") + std::to_string(c.code)));
    }
  }
}

}  // namespace
}  // namespace corvane
