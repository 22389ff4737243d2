// End to end: Negotiate through the system's GSSAPI against the loopback
// Kerberos realm of tests/servers/kdc (krb5kdc, Apache with mod_auth_gssapi
// answering with the authenticated principal, a squid that wants Negotiate
// itself) and the tests' own TLS acceptor (gss_acceptor_server.py).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

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

// The realm's settings for every row; the client starts with the realm's
// ticket, Ticket(false) leaves it without any.
class NegotiateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CORVANE_SERVER_SETTING(config, "CORVANE_KRB5_CONFIG");
    CORVANE_SERVER_SETTING(port, "CORVANE_NEGOTIATE_PORT");
    setenv("KRB5_CONFIG", config.c_str(), 1);
    host = std::getenv("CORVANE_KRB5_HOST");
    realm = std::getenv("CORVANE_KRB5_REALM");
    user = std::getenv("CORVANE_KRB5_USER");
    password = std::getenv("CORVANE_KRB5_PASSWORD");
    url = "http://" + host + ":" + port + "/negotiate/";
    principal = "principal=" + user + "@" + realm + "\n";
    Ticket(true);
    client.SetTimeout(10);
    client.SetAuthScheme(http::authNegotiate);
  }
  void Ticket(bool ticket) {
    const std::string cache =
        ticket ? std::getenv("CORVANE_KRB5_CCACHE") : "FILE:" + ::testing::TempDir() + "/corvane-no-tickets";
    setenv("KRB5CCNAME", cache.c_str(), 1);
  }
  int Get(const std::string& target) {
    int rc = client.SetURL(target);
    return rc != 0 ? rc : client.Action(http::actGet);
  }
  std::string Error() const { return client.LastErrorText().str(); }

  TrustingClient client;
  std::string host, realm, user, password, url, principal;
};

TEST_F(NegotiateTest, ATicketAuthenticatesInOneLegAndTheServerIsVerified) {
  ASSERT_EQ(client.SetURL(url), 0) << Error();
  // The first request already carries the Kerberos token.
  std::string token;
  ASSERT_EQ(client.Authorization().substr(0, 10), "Negotiate ");
  ASSERT_TRUE(Base64Decode(client.Authorization().substr(10), token));
  EXPECT_TRUE(auth::ContainsKerberosOid(token));
  ASSERT_EQ(client.Action(http::actGet), 0) << Error();
  EXPECT_EQ(client.TransferredData(), principal);
  // The server's final token was consumed: the context is complete.
  EXPECT_FALSE(client.Auth().systemTokens->ExchangeOpen());
}

TEST_F(NegotiateTest, CredentialsAndServiceNames) {
  struct Case {
    const char* name;
    bool ticket;
    std::string user, password, spn;
    int code;
    const char* error;  // the start of the message
  } cases[] = {
      {"password, bare user", false, user, password, "", 0, ""},
      {"password, realm\\user", false, realm + "\\" + user, password, "", 0, ""},
      {"explicit service principal", true, "", "", "HTTP/" + host + "@" + realm, 0, ""},
      {"no ticket, no password", false, "", "", "", 880, "Could not acquire security credentials (0x"},
      {"unknown service", true, "", "", "HTTP/unknown.corvane.test@" + realm, 882,
       "Could not initialize security context (0x"},
      // Kerberos refuses the password, SPNEGO falls back to NTLM, and the
      // server's SPNEGO answer rejects that.
      {"wrong password", false, user, password + "x", "", 881, "Error consuming security token (0x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ticket(c.ticket);
    client.Config("KerberosSPN=" + c.spn);
    client.SetUser(c.user);
    client.SetPassword(c.password);
    EXPECT_EQ(Get(url), c.code) << Error();
    if (c.code == 0) {
      EXPECT_EQ(client.TransferredData(), principal);
    } else {
      // The package's own description follows the code.
      EXPECT_EQ(Error().rfind(c.error, 0), 0u) << Error();
      EXPECT_GT(Error().size(), std::strlen(c.error) + 8) << Error();
      EXPECT_EQ(Error().find('\0'), std::string::npos);
    }
  }
}

TEST_F(NegotiateTest, KerberosTokenIsSentUnchanged) {
  // A token made outside the client, as a caller would bring it.
  auth::SspiState sspi;
  ByteBuffer token;
  ASSERT_EQ(sspi.StartSspi("Negotiate", "", ""), 0) << sspi.ErrorText();
  ASSERT_EQ(sspi.SspiFirstToken("HTTP/" + host, token), 0) << sspi.ErrorText();
  const std::string encoded = Base64Encode(token.view());
  Ticket(false);  // the client can only send what it was given
  ASSERT_EQ(client.Config("KerberosToken=" + encoded), 0);
  ASSERT_EQ(Get(url), 0) << Error();
  EXPECT_EQ(client.Headers().authorization, "Negotiate " + encoded);
  EXPECT_EQ(client.TransferredData(), principal);
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
  const std::string nginxUrl = "http://127.0.0.1:" + nginxPort + "/data.json";
  struct Case {
    const char* name;
    bool ticket;  // else the proxy password
    int proxySsl;
    bool serverNegotiate;  // the origin wants Negotiate as well (Apache)
    std::string url;
    int code;
    std::string body;
  } cases[] = {
      {"http through a tunnel, ticket", true, http::psTunnel, false, nginxUrl, 0,
       testing::ReadFile(nginxRoot + "/data.json")},
      {"https through a tunnel, password", false, http::psAutomatic, false,
       "https://127.0.0.1:" + tlsPort + "/data.json", 0, testing::ReadFile(tlsRoot + "/data.json")},
      // The origin's context is made before the tunnel's and still verifies
      // the origin's final token after it.
      {"Negotiate to the proxy and to the origin", true, http::psTunnel, true, url, 0, principal},
      {"plain proxy request", true, http::psAutomatic, false, nginxUrl, 157,
       "Proxy error: HTTP protocol error. 407 Proxy Authentication Required."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    client.Action(http::actReset);
    Ticket(c.ticket);
    client.SetAuthScheme(c.serverNegotiate ? http::authNegotiate : http::authNone);
    client.ProxyServer() = host;
    client.ProxyPort() = std::stoi(squidPort);
    client.ProxySSL() = c.proxySsl;
    client.SetProxyAuthScheme(http::authNegotiate);
    if (!c.ticket) {
      ASSERT_EQ(client.SetProxyUser(user + "@" + realm), 0);
      ASSERT_EQ(client.SetProxyPassword(password), 0);
    }
    ASSERT_EQ(Get(c.url), c.code) << Error();
    EXPECT_EQ(c.code == 0 ? std::string(client.TransferredData()) : Error(), c.body);
  }
}

// What Apache cannot show: a final token that does not prove the server, and
// NTLM bound to the server's certificate under ExtendedProtection (on by
// default).
TEST_F(NegotiateTest, OwnAcceptorChecksTheFinalTokenAndTheChannelBindings) {
  setenv("KRB5_KTNAME", std::getenv("CORVANE_KRB5_KEYTAB"), 1);
  const std::string users = ::testing::TempDir() + "/corvane-ntlm-users";
  std::ofstream(users) << "TESTDOM:tester:Ntlm-pw\n";
  testing::PythonServer server(testing::TestsPath("http/auth/gss_acceptor_server.py"),
                               {std::getenv("CORVANE_KRB5_TLS_CERT"), std::getenv("CORVANE_KRB5_TLS_KEY"), users});
  ASSERT_GT(server.port(), 0);
  struct Case {
    const char* path;
    bool extendedProtection;
    int code;
    std::string body;  // its start
  } cases[] = {
      {"/kerberos", true, 0, principal},
      {"/forged", true, 881, ""},
      {"/ntlm-bound", true, 0, "authenticated as "},
      {"/ntlm-misbound", true, 151, ""},  // the acceptor sees other bindings
      {"/ntlm-bound", false, 0, "authenticated as "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.extendedProtection ? " bound" : " unbound"));
    const bool ntlm = std::string_view(c.path).starts_with("/ntlm");
    if (ntlm && !auth::SystemHasPackage("NTLM")) continue;  // no gss-ntlmssp installed
    client.SetAuthScheme(ntlm ? http::authNtlm : http::authNegotiate);
    client.Config(std::string("ExtendedProtection=") + (c.extendedProtection ? "true" : "false"));
    if (ntlm) {
      ASSERT_EQ(client.SetUser("TESTDOM\\tester"), 0);
      ASSERT_EQ(client.SetPassword("Ntlm-pw"), 0);
    }
    EXPECT_EQ(Get("https://" + host + ":" + std::to_string(server.port()) + c.path), c.code) << Error();
    EXPECT_EQ(client.TransferredData().substr(0, c.body.size()), c.body);
  }
}

}  // namespace
}  // namespace corvane
