// End to end: a plain HttpClient against Apache (Basic, Digest, Negotiate in
// the Kerberos realm of tests/servers/kdc), the NTLM acceptor of
// tests/servers/ntlm, tinyproxy, a squid that wants Negotiate, and the TLS
// acceptor of gss_acceptor_server.py.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "corvane/events.h"
#include "http/auth/sspi_state.h"
#include "http/http_client.h"
#include "support/python_server.h"
#include "support/servers.h"

namespace corvane {
namespace {

struct LogCounts : RESTEvents {
  std::map<std::string, int> count;
  void Log(int&, std::string& message, std::string&) override { ++count[message]; }
  // The responses received (each logs its status line).
  int StatusLines() const {
    int n = 0;
    for (const auto& [message, times] : count) {
      if (message.rfind("Status Line: ", 0) == 0) n += times;
    }
    return n;
  }
};

// Takes the test acceptor's self-signed certificate.
struct TrustingClient : HttpClient {
  bool FireSSLServerAuthentication(const std::string&, const std::string&, const std::string&, const std::string&,
                                   bool) override {
    return true;
  }
};

class HttpClientAuthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client.SetTimeout(10);
    ASSERT_EQ(client.Config("Loglevel=2"), 0);
    client.SetEventSink(&log);
  }
  int Run(const std::string& url, int action = http::actGet) {
    int rc = client.SetURL(url);
    return rc != 0 ? rc : client.Action(action);
  }
  std::string Error() const { return client.LastErrorText().str(); }
  TrustingClient client;
  LogCounts log;
};

// Basic is sent, never answered: a wrong password fails on the first 401, and
// a proxy's 407 (tinyproxy, no proxy credentials) ends the same way. Digest is
// answered once per challenge.
TEST_F(HttpClientAuthTest, BasicAndDigestThroughApache) {
  CORVANE_SERVER_SETTING(port, "CORVANE_APACHE_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_APACHE_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_APACHE_PASSWORD");
  CORVANE_SERVER_SETTING(proxyPort, "CORVANE_PROXY_PORT");
  const std::string url = "http://127.0.0.1:" + port + "/basic/index.txt";
  // Credentials in the URL replace User and Password; a URL without keeps them.
  ASSERT_EQ(client.SetURL("http://" + user + ":" + password + "@127.0.0.1:" + port + "/none"), 0);
  EXPECT_EQ(client.User(), user);
  ASSERT_EQ(Run(url), 0) << Error();
  EXPECT_EQ(client.TransferredData(), "basic area\n");
  ASSERT_EQ(client.SetPassword(password + "x"), 0);
  EXPECT_EQ(Run(url), 151);
  EXPECT_EQ(Error(), "HTTP protocol error. 401 Unauthorized.");

  const std::string digest = "http://127.0.0.1:" + port + "/digest/index.txt";
  client.SetAuthScheme(http::authDigest);
  ASSERT_EQ(client.SetUser(user), 0);
  ASSERT_EQ(client.SetPassword(password), 0);
  ASSERT_EQ(Run(digest), 0) << Error();
  EXPECT_EQ(client.TransferredData(), "digest area\n");
  EXPECT_EQ(log.count["AuthScheme: Digest"], 1);
  // Later requests on the same challenge go with the next nonce count; a
  // HEAD's value is made again for its method (the URL's named GET).
  ASSERT_EQ(Run(digest), 0) << Error();
  ASSERT_EQ(Run(digest, http::actHead), 0) << Error();
  EXPECT_NE(client.Headers().authorization.find("nc=00000004"), std::string::npos) << client.Headers().authorization;
  EXPECT_EQ(log.count["AuthScheme: Digest"], 1);
  // A wrong password: the stale value fails, the fresh challenge is answered
  // once, the second 401 ends the transaction.
  ASSERT_EQ(client.SetPassword(password + "x"), 0);
  EXPECT_EQ(Run(digest), 151);
  EXPECT_EQ(Error(), "HTTP protocol error. 401 Unauthorized.");
  EXPECT_EQ(log.count["AuthScheme: Digest"], 2);

  client.ProxyServer() = "127.0.0.1";
  client.ProxyPort() = std::stoi(proxyPort);
  client.ProxySSL() = http::psNever;
  EXPECT_EQ(Run("http://127.0.0.1:" + port + "/open/index.txt"), 151);
  EXPECT_EQ(client.StatusCode(), 407);
  EXPECT_EQ(client.Headers().proxyAuthorization, "");  // nothing was offered to the proxy
  EXPECT_EQ(Error().rfind("Proxy error: HTTP protocol error. 407", 0), 0u) << Error();
}

// The own NTLM client against an acceptor that is not ours; each handshake runs
// on one kept-alive connection, and a body goes out only with its last leg.
TEST_F(HttpClientAuthTest, NtlmHandshakesWithTheGssapiAcceptor) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NTLM_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_NTLM_USER");
  CORVANE_SERVER_SETTING(domain, "CORVANE_NTLM_DOMAIN");
  CORVANE_SERVER_SETTING(password, "CORVANE_NTLM_PASSWORD");
  struct Case {
    int scheme;
    std::string user;
    const char *body, *served;  // POST when there is a body
  } cases[] = {
      {http::authNtlm, user + "@" + domain, "name=value", "POST /ntlm; 10 body bytes"},
      {http::authNegotiate, domain + "\\" + user, "", "GET /ntlm; 0 body bytes"},  // NTLM messages under Negotiate
  };
  client.Config("UseSystemSSPI=false");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    log.count.clear();
    client.SetAuthScheme(c.scheme);
    ASSERT_EQ(client.SetUser(c.user), 0);
    ASSERT_EQ(client.SetPassword(password), 0);
    client.PostData() = c.body;
    ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/ntlm"), 0);
    EXPECT_EQ(client.Authorization().find(c.scheme == http::authNtlm ? "NTLM " : "Negotiate "), 0u);
    ASSERT_EQ(client.Action(*c.body ? http::actPost : http::actGet), 0) << Error();
    EXPECT_NE(client.TransferredData().find(c.served), std::string_view::npos) << client.TransferredData();
    EXPECT_EQ(log.count["AuthScheme: NTLM"], c.scheme == http::authNtlm ? 1 : 0);
  }
}

// The realm's settings; the client starts with its ticket, Ticket(false) takes it away.
class NegotiateTest : public HttpClientAuthTest {
 protected:
  void SetUp() override {
    HttpClientAuthTest::SetUp();
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
    client.SetAuthScheme(http::authNegotiate);
  }
  void Ticket(bool ticket) {
    const std::string cache =
        ticket ? std::getenv("CORVANE_KRB5_CCACHE") : "FILE:" + ::testing::TempDir() + "/corvane-no-tickets";
    setenv("KRB5CCNAME", cache.c_str(), 1);
  }

  std::string host, realm, user, password, url, principal;
};

TEST_F(NegotiateTest, CredentialsAndServiceNames) {
  // A caller-made token goes out as given; each row goes back to Negotiate.
  ASSERT_EQ(client.Config("KerberosToken=YIIFAAYGKwYBBQUCoIIE"), 0);
  EXPECT_EQ(client.Authorization(), "Negotiate YIIFAAYGKwYBBQUCoIIE");
  struct Case {
    const char* name;
    bool ticket;
    std::string user, password, spn;
    int code;
    const char* error;  // the start of the message
  } cases[] = {
      {"ticket", true, "", "", "", 0, ""},
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
    client.SetAuthScheme(http::authNegotiate);
    client.Config("KerberosSPN=" + c.spn);
    client.SetUser(c.user);
    client.SetPassword(c.password);
    log.count.clear();
    const int rc = client.SetURL(url);
    EXPECT_EQ(rc != 0 ? rc : client.Action(http::actGet), c.code) << Error();
    if (c.code == 0) {
      // The first request's token is Kerberos, which the server takes in one leg.
      EXPECT_EQ(log.StatusLines(), 1);
      EXPECT_EQ(client.TransferredData(), principal);
    } else {
      // The package's own description follows the code.
      EXPECT_EQ(Error().rfind(c.error, 0), 0u) << Error();
      EXPECT_GT(Error().size(), std::strlen(c.error) + 8) << Error();
      EXPECT_EQ(Error().find('\0'), std::string::npos);
    }
  }
}

// squid wants Negotiate as HTTP/localhost: a CONNECT tunnel answers it, a
// plain proxy request carries no proxy token and ends with its refusal.
TEST_F(NegotiateTest, ThroughASquidThatWantsNegotiate) {
  CORVANE_SERVER_SETTING(squidPort, "CORVANE_SQUID_NEGOTIATE_PORT");
  CORVANE_SERVER_SETTING(nginxPort, "CORVANE_NGINX_PORT");
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
    std::string body;  // or the error
  } cases[] = {
      {"https through a tunnel, password", false, http::psAutomatic, false,
       "https://127.0.0.1:" + tlsPort + "/data.json", 0, testing::ReadFile(tlsRoot + "/data.json")},
      // A ticket for both: the origin's context is made before the tunnel's
      // and still verifies the origin's final token after it.
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
    ASSERT_EQ(Run(c.url), c.code) << Error();
    EXPECT_EQ(c.code == 0 ? std::string(client.TransferredData()) : Error(), c.body);
  }
}

// What Apache cannot show: a final token that does not prove the server, and
// NTLM bound to the server's certificate under ExtendedProtection (default).
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
    ASSERT_EQ(client.SetUser(ntlm ? "TESTDOM\\tester" : ""), 0);
    ASSERT_EQ(client.SetPassword(ntlm ? "Ntlm-pw" : ""), 0);
    EXPECT_EQ(Run("https://" + host + ":" + std::to_string(server.port()) + c.path), c.code) << Error();
    EXPECT_EQ(client.TransferredData().substr(0, c.body.size()), c.body);
  }
}

}  // namespace
}  // namespace corvane
