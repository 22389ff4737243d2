// End to end: a plain HttpClient authenticates against the real servers
// (Apache Basic and Digest, the GSSAPI NTLM acceptor of tests/servers/ntlm,
// tinyproxy refusing a request without proxy credentials). The engine owns the AuthState;
// the tests only set schemes and credentials and look at the results and
// the log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "corvane/events.h"
#include "http/auth/auth_state.h"
#include "http/auth/sspi_state.h"
#include "http/http_client.h"
#include "support/servers.h"

namespace corvane {
namespace {

// Keeps the text of every Log event.
class LogLines : public RESTEvents {
 public:
  std::vector<std::string> lines;
  void Log(int& level, std::string& message, std::string& type) override { lines.push_back(message); }
  bool Has(std::string_view line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
  int Count(std::string_view line) const { return static_cast<int>(std::count(lines.begin(), lines.end(), line)); }
};

class HttpClientAuthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client.SetTimeout(10);
    ASSERT_EQ(client.Config("Loglevel=2"), 0) << client.LastErrorText().str();
    client.SetEventSink(&log);
  }
  std::string Error() const { return client.LastErrorText().str(); }
  HttpClient client;
  LogLines log;
};

TEST_F(HttpClientAuthTest, BasicGetThroughApache) {
  CORVANE_SERVER_SETTING(port, "CORVANE_APACHE_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_APACHE_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_APACHE_PASSWORD");
  // Credentials in the URL replace User and Password; a URL without keeps them.
  ASSERT_EQ(client.SetURL("http://" + user + ":" + password + "@127.0.0.1:" + port + "/none"), 0);
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/basic/index.txt"), 0);
  EXPECT_EQ(client.User(), user);
  ASSERT_EQ(client.Action(http::actGet), 0) << Error();
  EXPECT_EQ(client.TransferredData(), "basic area\n");

  // Basic is never answered: a wrong password fails on the first 401.
  ASSERT_EQ(client.SetPassword(password + "x"), 0);
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/basic/index.txt"), 0);
  EXPECT_EQ(client.Action(http::actGet), 151);
  EXPECT_EQ(Error(), "HTTP protocol error. 401 Unauthorized.");
  EXPECT_FALSE(log.Has("AuthScheme: Basic"));
}

TEST_F(HttpClientAuthTest, DigestGetIsAnsweredOnceThroughApache) {
  CORVANE_SERVER_SETTING(port, "CORVANE_APACHE_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_APACHE_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_APACHE_PASSWORD");
  client.SetAuthScheme(http::authDigest);
  ASSERT_EQ(client.SetUser(user), 0);
  ASSERT_EQ(client.SetPassword(password), 0);
  // No challenge yet: the first request goes out without credentials.
  EXPECT_EQ(client.Authorization(), "");
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/digest/index.txt"), 0);
  ASSERT_EQ(client.Action(http::actGet), 0) << Error();
  EXPECT_EQ(client.TransferredData(), "digest area\n");
  EXPECT_EQ(log.Count("AuthScheme: Digest"), 1);

  // The next request on the same challenge is answered at once with the
  // next nonce count, without a second 401.
  log.lines.clear();
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/digest/index.txt"), 0);
  EXPECT_NE(client.Authorization().find("nc=00000002"), std::string_view::npos) << client.Authorization();
  ASSERT_EQ(client.Action(http::actGet), 0) << Error();
  EXPECT_EQ(client.Headers().authorization, client.Authorization());
  EXPECT_FALSE(log.Has("AuthScheme: Digest"));

  // The value made when the URL was set names GET; a HEAD on the same
  // challenge is made again for its own method and needs no 401 either.
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/digest/index.txt"), 0);
  ASSERT_EQ(client.Action(http::actHead), 0) << Error();
  EXPECT_EQ(client.StatusCode(), 200);
  EXPECT_NE(client.Headers().authorization.find("nc=00000004"), std::string::npos) << client.Headers().authorization;
  EXPECT_FALSE(log.Has("AuthScheme: Digest"));

  // A wrong password: the stale value fails, the fresh challenge is answered
  // once, and the second 401 ends the transaction.
  ASSERT_EQ(client.SetPassword(password + "x"), 0);
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/digest/index.txt"), 0);
  EXPECT_EQ(client.Action(http::actGet), 151);
  EXPECT_EQ(Error(), "HTTP protocol error. 401 Unauthorized.");
  EXPECT_EQ(log.Count("AuthScheme: Digest"), 1);
}

// The own NTLM client and the system's NTLMSSP package against an acceptor
// that is not ours; each handshake runs on one kept-alive connection.
TEST_F(HttpClientAuthTest, NtlmHandshakesWithTheGssapiAcceptor) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NTLM_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_NTLM_USER");
  CORVANE_SERVER_SETTING(domain, "CORVANE_NTLM_DOMAIN");
  CORVANE_SERVER_SETTING(password, "CORVANE_NTLM_PASSWORD");
  struct Case {
    bool system;
    int scheme;
    std::string user, password;
    const char* body;  // POST when not empty
    int code;
  } cases[] = {
      {false, http::authNtlm, domain + "\\" + user, password, "", 0},
      {false, http::authNtlm, user + "@" + domain, password, "name=value", 0},
      {false, http::authNegotiate, domain + "\\" + user, password, "", 0},  // NTLM messages under Negotiate
      {false, http::authNtlm, domain + "\\" + user, password + "x", "", 151},
      {true, http::authNtlm, domain + "\\" + user, password, "", 0},
      {true, http::authNtlm, user + "@" + domain, password, "name=value", 0},
      {true, http::authNtlm, domain + "\\" + user, password + "x", "", 151},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + (c.system ? " system" : " own") + " " + std::to_string(c.code) + " " + c.body);
    if (c.system && !auth::SystemHasPackage("NTLM")) continue;  // no gss-ntlmssp installed
    HttpClient ntlm;
    LogLines lines;
    ntlm.SetTimeout(10);
    ntlm.Config("Loglevel=2");
    ntlm.SetEventSink(&lines);
    ntlm.Config(std::string("UseSystemSSPI=") + (c.system ? "true" : "false"));
    ntlm.SetAuthScheme(c.scheme);
    ASSERT_EQ(ntlm.SetUser(c.user), 0);
    ASSERT_EQ(ntlm.SetPassword(c.password), 0);
    ntlm.PostData() = c.body;
    ASSERT_EQ(ntlm.SetURL("http://127.0.0.1:" + port + "/ntlm"), 0);
    EXPECT_EQ(ntlm.Authorization().find(c.scheme == http::authNtlm ? "NTLM " : "Negotiate "), 0u);
    EXPECT_EQ(ntlm.Action(*c.body ? http::actPost : http::actGet), c.code) << ntlm.LastErrorText().str();
    if (c.code == 0) {
      // The body went out only with the last leg.
      std::string expected = std::string(*c.body ? "POST" : "GET") + " /ntlm; " +
                             std::to_string(std::string_view(c.body).size()) + " body bytes";
      EXPECT_NE(ntlm.TransferredData().find(expected), std::string_view::npos) << ntlm.TransferredData();
      EXPECT_NE(ntlm.TransferredData().find(user), std::string_view::npos);
    }
    if (!c.system && c.scheme == http::authNtlm) {
      EXPECT_EQ(lines.Count("AuthScheme: NTLM"), 1);
    }
  }
}

// With credentials the same proxy is met in the tunnel and Negotiate tests.
TEST_F(HttpClientAuthTest, BasicProxyWithoutCredentialsFailsOnTheFirst407) {
  CORVANE_SERVER_SETTING(proxyPort, "CORVANE_PROXY_PORT");
  CORVANE_SERVER_SETTING(apachePort, "CORVANE_APACHE_PORT");
  client.ProxyServer() = "127.0.0.1";
  client.ProxyPort() = std::stoi(proxyPort);
  client.ProxySSL() = http::psNever;
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + apachePort + "/open/index.txt"), 0);
  EXPECT_EQ(client.ProxyAuthorization(), "");
  // A 407 is answered only for NTLM, Negotiate and Digest: Basic fails at once.
  EXPECT_EQ(client.Action(http::actGet), 151);
  EXPECT_EQ(client.StatusCode(), 407);
  EXPECT_EQ(Error().rfind("Proxy error: HTTP protocol error. 407", 0), 0u) << Error();
}

}  // namespace
}  // namespace corvane
