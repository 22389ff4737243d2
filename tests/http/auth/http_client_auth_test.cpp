// End to end: a plain HttpClient authenticates against real servers (Apache
// Basic and Digest, the GSSAPI NTLM acceptor of tests/servers/ntlm, tinyproxy
// refusing a request without proxy credentials).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "corvane/events.h"
#include "http/auth/sspi_state.h"
#include "http/http_client.h"
#include "support/servers.h"

namespace corvane {
namespace {

// Keeps the text of every Log event.
class LogLines : public RESTEvents {
 public:
  std::vector<std::string> lines;
  void Log(int&, std::string& message, std::string&) override { lines.push_back(message); }
  int Count(std::string_view line) const { return static_cast<int>(std::count(lines.begin(), lines.end(), line)); }
};

class HttpClientAuthTest : public ::testing::Test {
 protected:
  void SetUp() override { Prepare(client); }
  void Prepare(HttpClient& c) {
    log.lines.clear();
    c.SetTimeout(10);
    ASSERT_EQ(c.Config("Loglevel=2"), 0);
    c.SetEventSink(&log);
  }
  int Run(const std::string& url, int action = http::actGet) {
    int rc = client.SetURL(url);
    return rc != 0 ? rc : client.Action(action);
  }
  std::string Error() const { return client.LastErrorText().str(); }
  HttpClient client;
  LogLines log;
};

TEST_F(HttpClientAuthTest, BasicThroughApache) {
  CORVANE_SERVER_SETTING(port, "CORVANE_APACHE_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_APACHE_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_APACHE_PASSWORD");
  const std::string url = "http://127.0.0.1:" + port + "/basic/index.txt";
  // Credentials in the URL replace User and Password; a URL without keeps them.
  ASSERT_EQ(client.SetURL("http://" + user + ":" + password + "@127.0.0.1:" + port + "/none"), 0);
  EXPECT_EQ(client.User(), user);
  ASSERT_EQ(Run(url), 0) << Error();
  EXPECT_EQ(client.TransferredData(), "basic area\n");
  // Basic is never answered: a wrong password fails on the first 401.
  ASSERT_EQ(client.SetPassword(password + "x"), 0);
  EXPECT_EQ(Run(url), 151);
  EXPECT_EQ(Error(), "HTTP protocol error. 401 Unauthorized.");
  EXPECT_EQ(log.Count("AuthScheme: Basic"), 0);
}

TEST_F(HttpClientAuthTest, DigestThroughApacheIsAnsweredOncePerChallenge) {
  CORVANE_SERVER_SETTING(port, "CORVANE_APACHE_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_APACHE_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_APACHE_PASSWORD");
  const std::string url = "http://127.0.0.1:" + port + "/digest/index.txt";
  client.SetAuthScheme(http::authDigest);
  ASSERT_EQ(client.SetUser(user), 0);
  ASSERT_EQ(client.SetPassword(password), 0);
  ASSERT_EQ(Run(url), 0) << Error();
  EXPECT_EQ(client.TransferredData(), "digest area\n");
  EXPECT_EQ(log.Count("AuthScheme: Digest"), 1);
  // Later requests on the same challenge are answered at once with the next
  // nonce count. The value made when the URL was set names GET: a HEAD's is
  // made again for its own method.
  ASSERT_EQ(Run(url), 0) << Error();
  ASSERT_EQ(Run(url, http::actHead), 0) << Error();
  EXPECT_NE(client.Headers().authorization.find("nc=00000004"), std::string::npos) << client.Headers().authorization;
  EXPECT_EQ(log.Count("AuthScheme: Digest"), 1);
  // A wrong password: the stale value fails, the fresh challenge is answered
  // once, and the second 401 ends the transaction.
  ASSERT_EQ(client.SetPassword(password + "x"), 0);
  EXPECT_EQ(Run(url), 151);
  EXPECT_EQ(Error(), "HTTP protocol error. 401 Unauthorized.");
  EXPECT_EQ(log.Count("AuthScheme: Digest"), 2);
}

// The own NTLM client and the system's NTLMSSP package against an acceptor
// that is not ours; each handshake runs on one kept-alive connection, and a
// body goes out only with its last leg. A refused answer ends as the Digest
// one does.
TEST_F(HttpClientAuthTest, NtlmHandshakesWithTheGssapiAcceptor) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NTLM_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_NTLM_USER");
  CORVANE_SERVER_SETTING(domain, "CORVANE_NTLM_DOMAIN");
  CORVANE_SERVER_SETTING(password, "CORVANE_NTLM_PASSWORD");
  struct Case {
    bool system;
    int scheme;
    std::string user;
    const char* body;  // POST when not empty
  } cases[] = {
      {false, http::authNtlm, user + "@" + domain, "name=value"},
      {false, http::authNegotiate, domain + "\\" + user, ""},  // NTLM messages under Negotiate
      {true, http::authNtlm, domain + "\\" + user, "name=value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + (c.system ? " system" : " own"));
    if (c.system && !auth::SystemHasPackage("NTLM")) continue;  // no gss-ntlmssp installed
    HttpClient ntlm;
    Prepare(ntlm);
    ntlm.Config(std::string("UseSystemSSPI=") + (c.system ? "true" : "false"));
    ntlm.SetAuthScheme(c.scheme);
    ASSERT_EQ(ntlm.SetUser(c.user), 0);
    ASSERT_EQ(ntlm.SetPassword(password), 0);
    ntlm.PostData() = c.body;
    ASSERT_EQ(ntlm.SetURL("http://127.0.0.1:" + port + "/ntlm"), 0);
    EXPECT_EQ(ntlm.Authorization().find(c.scheme == http::authNtlm ? "NTLM " : "Negotiate "), 0u);
    ASSERT_EQ(ntlm.Action(*c.body ? http::actPost : http::actGet), 0) << ntlm.LastErrorText().str();
    const std::string expected = std::string(*c.body ? "POST" : "GET") + " /ntlm; " +
                                 std::to_string(std::strlen(c.body)) + " body bytes";
    EXPECT_NE(ntlm.TransferredData().find(expected), std::string_view::npos) << ntlm.TransferredData();
    EXPECT_NE(ntlm.TransferredData().find(user), std::string_view::npos);
    EXPECT_EQ(log.Count("AuthScheme: NTLM"), c.scheme == http::authNtlm ? 1 : 0);
  }
}

// With credentials the same proxy is met in the tunnel and Negotiate tests.
TEST_F(HttpClientAuthTest, BasicProxyWithoutCredentialsFailsOnTheFirst407) {
  CORVANE_SERVER_SETTING(proxyPort, "CORVANE_PROXY_PORT");
  CORVANE_SERVER_SETTING(apachePort, "CORVANE_APACHE_PORT");
  client.ProxyServer() = "127.0.0.1";
  client.ProxyPort() = std::stoi(proxyPort);
  client.ProxySSL() = http::psNever;
  EXPECT_EQ(client.ProxyAuthorization(), "");
  EXPECT_EQ(Run("http://127.0.0.1:" + apachePort + "/open/index.txt"), 151);
  EXPECT_EQ(client.StatusCode(), 407);
  EXPECT_EQ(Error().rfind("Proxy error: HTTP protocol error. 407", 0), 0u) << Error();
}

}  // namespace
}  // namespace corvane
