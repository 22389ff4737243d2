// End to end: HttpClient drives the header builders through its
// authentication hooks against the real servers (Apache Basic and Digest,
// the GSSAPI NTLM acceptor, tinyproxy with Basic proxy credentials). The
// client here connects the hooks to an AuthState the way the engine is meant
// to: sync scheme and credentials, take the stored challenges, build.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "http/auth/auth_state.h"
#include "http/http_client.h"
#include "support/servers.h"

namespace corvane {
namespace {

class AuthenticatingClient : public HttpClient {
 public:
  auth::AuthState auth;
  std::string method = "GET";
  bool useSystemSspi = false;
  std::vector<std::string> lines;

  int Run(int action, std::string_view verb) {
    method = verb;
    return Action(action);
  }

 protected:
  int BuildAuthorization(bool answer) override {
    Sync();
    auth::AuthRequest request = Request();
    int rc = auth::BuildAuthorization(auth, request, answer, Logger());
    Headers().authorization = auth.authorization.str();
    if (rc != 0) return SetError(rc, auth.errorText.view());
    return 0;
  }
  int BuildProxyAuthorization(bool answer) override {
    Sync();
    auth::AuthRequest request = Request();
    int rc = auth::BuildProxyAuthorization(auth, request, answer, Logger());
    Headers().proxyAuthorization = auth.proxyAuthorization.str();
    if (rc != 0) return SetError(rc, auth.errorText.view());
    return 0;
  }
  void ResetAuthState() override {
    HttpClient::ResetAuthState();
    auth.serverChallengeToken.Clear();
    auth.proxyChallengeToken.Clear();
  }
  bool HandshakeFirstLeg() const override { return auth::EmptyBodyForHandshake(auth, true, viaProxy_); }

 private:
  // The engine keeps the raw challenge texts; the records follow them.
  void Sync() {
    auth.authScheme = static_cast<uint8_t>(AuthScheme());
    auth.proxyAuthScheme = static_cast<uint8_t>(ProxyAuthScheme());
    auth.user.Assign(User());
    auth.password.Assign(Password());
    auth.proxyUser.Assign(ProxyUser());
    auth.proxyPassword.Assign(ProxyPassword());
    auth.serverAuthAttempts = serverAuthAttempts_;
    viaProxy_ = !ProxyServer().empty();
    auth.proxyAuthAttempts = proxyAuthAttempts_;
    auth.serverChallengeToken.Assign(ServerChallenge());
    auth.proxyChallengeToken.Assign(ProxyChallenge());
    if (!DigestChallenge().empty() && DigestChallenge() != digestSeen_) {
      digestSeen_ = DigestChallenge();
      auth::ParseDigestChallenge(auth.serverDigest, digestSeen_, auth.tickCount() + auth.perObjectValue);
    }
    if (!ProxyDigestChallenge().empty() && ProxyDigestChallenge() != proxyDigestSeen_) {
      proxyDigestSeen_ = ProxyDigestChallenge();
      auth::ParseDigestChallenge(auth.proxyDigest, proxyDigestSeen_, auth.tickCount() + auth.perObjectValue);
    }
  }
  auth::AuthRequest Request() {
    auth::AuthRequest r;
    r.method = method;
    r.uri = Target().path;
    r.body = PostData();
    r.host = Target().host;
    r.proxyHost = ProxyServer();
    r.proxyPort = ProxyPort();
    r.useSystemSspi = useSystemSspi;
    return r;
  }
  auth::AuthLogFn Logger() {
    return [this](std::string_view line) {
      lines.emplace_back(line);
      Log(kLogProgress, line, "Info");
    };
  }

  std::string digestSeen_;
  std::string proxyDigestSeen_;
  bool viaProxy_ = false;
};

class HttpClientAuthTest : public ::testing::Test {
 protected:
  void SetUp() override { client.Config("Timeout=10"); }
  std::string Error() const { return client.LastErrorText().str(); }
  AuthenticatingClient client;
};

TEST_F(HttpClientAuthTest, BasicGetThroughApache) {
  CORVANE_SERVER_SETTING(port, "CORVANE_APACHE_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_APACHE_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_APACHE_PASSWORD");
  client.User() = user;
  client.Password() = password;
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/basic/index.txt"), 0);
  ASSERT_EQ(client.Run(http::actGet, "GET"), 0) << Error();
  EXPECT_EQ(client.TransferredData(), "basic area\n");
}

TEST_F(HttpClientAuthTest, DigestGetIsAnsweredOnceThroughApache) {
  CORVANE_SERVER_SETTING(port, "CORVANE_APACHE_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_APACHE_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_APACHE_PASSWORD");
  client.SetAuthScheme(http::authDigest);
  client.User() = user;
  client.Password() = password;
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/digest/index.txt"), 0);
  ASSERT_EQ(client.Run(http::actGet, "GET"), 0) << Error();
  EXPECT_EQ(client.TransferredData(), "digest area\n");
  // The answer to the 401 is logged: the scheme, then the value.
  auto at = std::find(client.lines.begin(), client.lines.end(), "AuthScheme: Digest");
  ASSERT_NE(at, client.lines.end());
  ASSERT_NE(at + 1, client.lines.end());
  EXPECT_EQ(at[1].rfind("Authorization: Digest username=\"" + user + "\"", 0), 0u) << at[1];

  // The next request on the same challenge is answered at once with the
  // next nonce count.
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/digest/index.txt"), 0);
  ASSERT_EQ(client.Run(http::actGet, "GET"), 0) << Error();
  EXPECT_NE(client.Headers().authorization.find("nc=00000002"), std::string::npos);

  client.Password() = password + "x";
  client.auth.serverDigest = auth::DigestChallenge{};
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/digest/index.txt"), 0);
  EXPECT_EQ(client.Run(http::actGet, "GET"), 151);
  EXPECT_EQ(Error(), "HTTP protocol error. 401 Unauthorized.");
}

TEST_F(HttpClientAuthTest, NtlmPostCompletesTheHandshakeOnOneConnection) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NTLM_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_NTLM_USER");
  CORVANE_SERVER_SETTING(domain, "CORVANE_NTLM_DOMAIN");
  CORVANE_SERVER_SETTING(password, "CORVANE_NTLM_PASSWORD");
  client.SetAuthScheme(http::authNtlm);
  client.User() = domain + "\\" + user;
  client.Password() = password;
  client.PostData() = "name=value";
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/ntlm"), 0);
  ASSERT_EQ(client.Run(http::actPost, "POST"), 0) << Error();
  EXPECT_NE(client.TransferredData().find("POST /ntlm; 10 body bytes"), std::string_view::npos)
      << client.TransferredData();
}

TEST_F(HttpClientAuthTest, NtlmWithAWrongPasswordFailsAfterOneRetry) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NTLM_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_NTLM_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_NTLM_PASSWORD");
  client.SetAuthScheme(http::authNtlm);
  client.User() = user;
  client.Password() = password + "x";
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + port + "/ntlm"), 0);
  EXPECT_EQ(client.Run(http::actGet, "GET"), 151);
}

TEST_F(HttpClientAuthTest, BasicProxyCredentialsThroughTinyproxy) {
  CORVANE_SERVER_SETTING(proxyPort, "CORVANE_PROXY_PORT");
  CORVANE_SERVER_SETTING(proxyUser, "CORVANE_PROXY_USER");
  CORVANE_SERVER_SETTING(proxyPassword, "CORVANE_PROXY_PASSWORD");
  CORVANE_SERVER_SETTING(apachePort, "CORVANE_APACHE_PORT");
  client.ProxyServer() = "127.0.0.1";
  client.ProxyPort() = std::stoi(proxyPort);
  client.ProxySSL() = http::psNever;
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + apachePort + "/open/index.txt"), 0);
  // A 407 is answered only for NTLM, Negotiate and Digest: Basic fails at once.
  EXPECT_EQ(client.Run(http::actGet, "GET"), 151);
  EXPECT_EQ(client.StatusCode(), 407);

  client.ProxyUser() = proxyUser;
  client.ProxyPassword() = proxyPassword;
  ASSERT_EQ(client.SetURL("http://127.0.0.1:" + apachePort + "/open/index.txt"), 0);
  ASSERT_EQ(client.Run(http::actGet, "GET"), 0) << Error();
  EXPECT_EQ(client.TransferredData(), "open area\n");
}

}  // namespace
}  // namespace corvane
