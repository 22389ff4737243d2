// End to end: Negotiate through the system's GSSAPI against the loopback
// Kerberos realm of tests/servers/kdc (krb5kdc, Apache with mod_auth_gssapi
// answering with the authenticated principal), with a ticket from the
// credential cache or a password, directly and through a squid that wants
// Negotiate itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/base64.h"
#include "http/auth/sspi_state.h"
#include "http/http_client.h"
#include "support/python_server.h"
#include "support/servers.h"

namespace corvane {
namespace {

// Takes the test acceptor's self-signed certificate.
class TrustingClient : public HttpClient {
 protected:
  bool FireSSLServerAuthentication(const std::string&, const std::string&, const std::string&,
                                   const std::string&, bool) override {
    return true;
  }
};

// Points the Kerberos library at the test realm; cache "" leaves the test
// without any ticket.
class NegotiateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* config = std::getenv("CORVANE_KRB5_CONFIG");
    const char* port = std::getenv("CORVANE_NEGOTIATE_PORT");
    if (config == nullptr || port == nullptr) {
      if (std::getenv("CORVANE_REQUIRE_SERVERS") != nullptr) FAIL() << "the Kerberos test realm did not start";
      GTEST_SKIP() << "CORVANE_KRB5_CONFIG not set; run the suite through scripts/test";
    }
    setenv("KRB5_CONFIG", config, 1);
    UseCache(std::getenv("CORVANE_KRB5_CCACHE"));
    realm_ = std::getenv("CORVANE_KRB5_REALM");
    user_ = std::getenv("CORVANE_KRB5_USER");
    password_ = std::getenv("CORVANE_KRB5_PASSWORD");
    url_ = "http://" + std::string(std::getenv("CORVANE_KRB5_HOST")) + ":" + port + "/negotiate/";
    client.Config("Timeout=10");
    client.SetAuthScheme(http::authNegotiate);
  }
  void UseCache(const char* cache) {
    std::string name = cache != nullptr ? cache : "";
    if (name.empty()) name = "FILE:" + ::testing::TempDir() + "/corvane-no-tickets";
    setenv("KRB5CCNAME", name.c_str(), 1);
  }
  std::string Error() const { return client.LastErrorText().str(); }
  std::string Principal() const { return "principal=" + user_ + "@" + realm_ + "\n"; }

  TrustingClient client;
  std::string realm_, user_, password_, url_;
};

TEST_F(NegotiateTest, TicketFromTheCacheAuthenticatesInOneLegAndTheServerIsVerified) {
  ASSERT_EQ(client.SetURL(url_), 0) << Error();
  // The first request already carries the Kerberos token.
  std::string token;
  ASSERT_EQ(client.Authorization().substr(0, 10), "Negotiate ");
  ASSERT_TRUE(Base64Decode(client.Authorization().substr(10), token));
  EXPECT_TRUE(auth::ContainsKerberosOid(token));
  EXPECT_TRUE(client.Auth().kerberosProposed);

  ASSERT_EQ(client.Action(http::actGet), 0) << Error();
  EXPECT_EQ(client.TransferredData(), Principal());
  // The server's final token was consumed: the context is complete.
  EXPECT_FALSE(client.Auth().systemTokens->ExchangeOpen());

  // A POST goes out with its body at once: Kerberos needs no second leg.
  client.PostData() = "a=1";
  ASSERT_EQ(client.SetURL(url_), 0);
  ASSERT_EQ(client.Action(http::actPost), 0) << Error();
  EXPECT_EQ(client.StatusCode(), 200);

  // An explicit service principal is used as given.
  client.Config("KerberosSPN=HTTP/" + std::string(std::getenv("CORVANE_KRB5_HOST")) + "@" + realm_);
  ASSERT_EQ(client.SetURL(url_), 0) << Error();
  ASSERT_EQ(client.Action(http::actGet), 0) << Error();
  EXPECT_EQ(client.TransferredData(), Principal());
}

TEST_F(NegotiateTest, PasswordInsteadOfATicket) {
  UseCache(nullptr);
  for (const std::string& user : {user_, user_ + "@" + realm_, realm_ + "\\" + user_}) {
    SCOPED_TRACE(user);
    ASSERT_EQ(client.SetUser(user), 0);
    ASSERT_EQ(client.SetPassword(password_), 0);
    ASSERT_EQ(client.SetURL(url_), 0) << Error();
    ASSERT_EQ(client.Action(http::actGet), 0) << Error();
    EXPECT_EQ(client.TransferredData(), Principal());
  }
}

TEST_F(NegotiateTest, MissingOrRefusedCredentialsAndUnknownServicesFailClearly) {
  struct Case {
    const char* name;
    bool ticket;
    std::string user, password, spn;
    int code;
    std::string text;
  } cases[] = {
      {"no ticket, no password", false, "", "", "", 880, "Could not acquire security credentials (0x"},
      {"unknown service", true, "", "", "HTTP/unknown.corvane.test@" + realm_, 882,
       "Could not initialize security context (0x"},
      // Kerberos refuses the password, SPNEGO falls back to NTLM, and the
      // server's SPNEGO answer rejects that.
      {"wrong password", false, user_, password_ + "x", "", 881, "Error consuming security token (0x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UseCache(c.ticket ? std::getenv("CORVANE_KRB5_CCACHE") : nullptr);
    client.Config("KerberosSPN=" + c.spn);
    client.SetUser(c.user);
    client.SetPassword(c.password);
    int rc = client.SetURL(url_);
    if (rc == 0) rc = client.Action(http::actGet);
    EXPECT_EQ(rc, c.code);
    EXPECT_EQ(Error().rfind(c.text, 0), 0u) << Error();
    EXPECT_EQ(Error().find('\0'), std::string::npos);
    EXPECT_GT(Error().size(), c.text.size() + 8) << "no description: " << Error();
  }
}

TEST_F(NegotiateTest, KerberosTokenIsSentUnchanged) {
  // A token made outside the client, as a caller would bring it.
  auth::SspiState sspi;
  ByteBuffer token;
  ASSERT_EQ(sspi.StartSspi("Negotiate", "", ""), 0) << sspi.ErrorText();
  ASSERT_EQ(sspi.SspiFirstToken("HTTP/" + std::string(std::getenv("CORVANE_KRB5_HOST")), token), 0)
      << sspi.ErrorText();
  std::string encoded = Base64Encode(token.view());
  // Without any ticket of its own the client can only send what it was given.
  UseCache(nullptr);
  ASSERT_EQ(client.Config("KerberosToken=" + encoded), 0);
  ASSERT_EQ(client.SetURL(url_), 0);
  ASSERT_EQ(client.Action(http::actGet), 0) << Error();
  EXPECT_EQ(client.Headers().authorization, "Negotiate " + encoded);
  EXPECT_EQ(client.TransferredData(), Principal());
}

// squid with its Kerberos helper wants Negotiate as HTTP/localhost. A
// CONNECT tunnel answers it; a plain proxy request carries no proxy token
// and ends with the proxy's refusal.
TEST_F(NegotiateTest, ThroughASquidThatWantsNegotiate) {
  CORVANE_SERVER_SETTING(squidPort, "CORVANE_SQUID_NEGOTIATE_PORT");
  CORVANE_SERVER_SETTING(nginxPort, "CORVANE_NGINX_PORT");
  CORVANE_SERVER_SETTING(nginxRoot, "CORVANE_NGINX_ROOT");
  CORVANE_SERVER_SETTING(tlsPort, "CORVANE_TLS_VALID_PORT");
  CORVANE_SERVER_SETTING(tlsRoot, "CORVANE_TLS_ROOT");
  const std::string nginxJson = testing::ReadFile(nginxRoot + "/data.json");
  const std::string tlsJson = testing::ReadFile(tlsRoot + "/data.json");
  struct Case {
    const char* name;
    bool ticket;  // else the proxy password
    int proxySsl;
    bool serverNegotiate;  // the origin wants Negotiate as well (Apache)
    std::string url;
    int code;
    std::string body;
    std::string error;
  } cases[] = {
      {"http through a tunnel, ticket", true, http::psTunnel, false, "http://127.0.0.1:" + nginxPort + "/data.json",
       0, nginxJson, ""},
      {"https through a tunnel, password", false, http::psAutomatic, false,
       "https://127.0.0.1:" + tlsPort + "/data.json", 0, tlsJson, ""},
      // The origin's context is made before the tunnel's and still verifies
      // the origin's final token after it.
      {"Negotiate to the proxy and to the origin", true, http::psTunnel, true, url_, 0, Principal(), ""},
      {"plain proxy request", true, http::psAutomatic, false, "http://127.0.0.1:" + nginxPort + "/data.json", 157,
       "", "Proxy error: HTTP protocol error. 407 Proxy Authentication Required."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    client.Action(http::actReset);
    UseCache(c.ticket ? std::getenv("CORVANE_KRB5_CCACHE") : nullptr);
    client.SetAuthScheme(c.serverNegotiate ? http::authNegotiate : http::authNone);
    client.ProxyServer() = std::getenv("CORVANE_KRB5_HOST");
    client.ProxyPort() = std::stoi(squidPort);
    client.ProxySSL() = c.proxySsl;
    client.SetProxyAuthScheme(http::authNegotiate);
    if (!c.ticket) {
      ASSERT_EQ(client.SetProxyUser(user_ + "@" + realm_), 0);
      ASSERT_EQ(client.SetProxyPassword(password_), 0);
    }
    int rc = client.SetURL(c.url);
    if (rc == 0) rc = client.Action(http::actGet);
    ASSERT_EQ(rc, c.code) << Error();
    if (c.code == 0) {
      EXPECT_EQ(client.TransferredData(), c.body);
    } else {
      EXPECT_EQ(Error(), c.error);
    }
  }
}

// The tests' own TLS acceptor (gss_acceptor_server.py) with the realm's
// keytab and an NTLM user.
class TlsAcceptorTest : public NegotiateTest {
 protected:
  void SetUp() override {
    NegotiateTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    setenv("KRB5_KTNAME", std::getenv("CORVANE_KRB5_KEYTAB"), 1);
    std::string users = ::testing::TempDir() + "/corvane-ntlm-users";
    std::ofstream(users) << "TESTDOM:tester:Ntlm-pw\n";
    server_ = std::make_unique<testing::PythonServer>(
        testing::TestsPath("http/auth/gss_acceptor_server.py"),
        std::vector<std::string>{std::getenv("CORVANE_KRB5_TLS_CERT"), std::getenv("CORVANE_KRB5_TLS_KEY"), users});
    ASSERT_GT(server_->port(), 0);
  }
  std::string Url(std::string_view path) const {
    return "https://" + std::string(std::getenv("CORVANE_KRB5_HOST")) + ":" + std::to_string(server_->port()) +
           std::string(path);
  }
  std::unique_ptr<testing::PythonServer> server_;
};

TEST_F(TlsAcceptorTest, AFinalTokenThatDoesNotProveTheServerFails) {
  ASSERT_EQ(client.SetURL(Url("/kerberos")), 0) << Error();
  ASSERT_EQ(client.Action(http::actGet), 0) << Error();
  EXPECT_EQ(client.TransferredData(), Principal());

  ASSERT_EQ(client.SetURL(Url("/forged")), 0) << Error();
  EXPECT_EQ(client.Action(http::actGet), 881);
  EXPECT_EQ(Error().rfind("Error consuming security token (0x", 0), 0u) << Error();
}

TEST_F(TlsAcceptorTest, NtlmIsBoundToTheServerCertificateUnderExtendedProtection) {
  if (!auth::SystemHasPackage("NTLM")) GTEST_SKIP() << "no NTLMSSP mechanism installed (gss-ntlmssp)";
  struct Case {
    bool extendedProtection;
    const char* path;
    int code;
  } cases[] = {
      {true, "/ntlm-bound", 0},
      {true, "/ntlm-misbound", 151},  // the acceptor sees other bindings
      {false, "/ntlm-bound", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.extendedProtection ? " bound" : " unbound"));
    client.SetAuthScheme(http::authNtlm);
    client.Config(std::string("ExtendedProtection=") + (c.extendedProtection ? "true" : "false"));
    ASSERT_EQ(client.SetUser("TESTDOM\\tester"), 0);
    ASSERT_EQ(client.SetPassword("Ntlm-pw"), 0);
    ASSERT_EQ(client.SetURL(Url(c.path)), 0) << Error();
    EXPECT_EQ(client.Action(http::actGet), c.code) << Error();
    if (c.code == 0) {
      EXPECT_EQ(client.TransferredData().substr(0, 17), "authenticated as ");
    }
  }
}

}  // namespace
}  // namespace corvane
