// The client-certificate properties of the REST object against nginx
// requiring a certificate (tests/servers/tls/start).
#include <gtest/gtest.h>

#include <string>

#include "corvane/rest.h"
#include "support/servers.h"

namespace corvane {
namespace {

using testing::ReadFile;

TEST(RestClientCertificate, PfxFileAuthenticatesAndReadsBack) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_CLIENT_PORT");
  REST rest;
  rest.SetTimeout(10);
  ASSERT_EQ(rest.SetSSLCertStoreType(cstPFXFile), 0);
  ASSERT_EQ(rest.SetSSLCertStorePassword("secret"), 0);
  ASSERT_EQ(rest.SetSSLCertStore(dir + "/alice.pfx"), 0);
  ASSERT_EQ(rest.SetSSLCertSubject("*"), 0) << rest.LastError();
  EXPECT_EQ(rest.SSLCertSubject(), "CN=alice, O=Example, C=US");
  EXPECT_EQ(rest.SSLCertEncodedB(), ReadFile(dir + "/alice.der"));
  EXPECT_EQ(rest.SSLCertEncoded().rfind("-----BEGIN CERTIFICATE-----\r\n", 0), 0u);
  ASSERT_EQ(rest.Get("https://localhost:" + port + "/"), 0) << rest.LastError();
  EXPECT_EQ(rest.TransferredData(), "CN=alice,O=Example,C=US");
}

TEST(RestClientCertificate, MissingFileFailsTheSetterAndTheRequest) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_CLIENT_PORT");
  REST rest;
  rest.SetTimeout(10);
  ASSERT_EQ(rest.SetSSLCertStoreType(cstPEMKeyFile), 0);
  ASSERT_EQ(rest.SetSSLCertStore("/nonexistent/key.pem"), 0);  // no subject yet: nothing loads
  EXPECT_EQ(rest.SetSSLCertSubject("*"), 2);
  EXPECT_EQ(rest.LastError(), "The certificate file could not be opened.");
  EXPECT_EQ(rest.SSLCertSubject(), "");
  EXPECT_EQ(rest.Get("https://localhost:" + port + "/"), 2);
  EXPECT_EQ(rest.LastError(), "The certificate file could not be opened.");
}

}  // namespace
}  // namespace corvane
