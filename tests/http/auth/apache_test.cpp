// Basic and Digest values against Apache httpd (mod_auth_basic,
// mod_auth_digest with qop=auth and MD5) and Basic proxy credentials against
// the proxy of tests/servers/proxy, over raw loopback connections.
#include <gtest/gtest.h>

#include <string>

#include "http/auth/auth_state.h"
#include "http/auth/loopback_http.h"
#include "support/servers.h"

namespace corvane::auth {
namespace {

using loopback::LoopbackConnection;
using loopback::Response;

std::string Line(std::string_view name, const ByteBuffer& value) {
  return value.empty() ? std::string() : std::string(name) + ": " + value.str() + "\r\n";
}

class ApacheTest : public ::testing::Test {
 protected:
  void Configure(int scheme, const std::string& user, const std::string& password, std::string_view uri) {
    request.method = "GET";
    request.uri = uri;
    request.host = "127.0.0.1";
    SetAuthScheme(state, scheme);
    SetUser(state, user, request, log);
    SetPassword(state, password, request, log);
  }

  // One request as the HTTP client sends it: header built before, the 401
  // answered once on the same connection.
  Response Fetch(LoopbackConnection& c) {
    Response r;
    EXPECT_EQ(BuildAuthorization(state, request, false, log), 0);
    EXPECT_TRUE(c.Exchange("GET", request.uri, Line("Authorization", state.authorization), {}, r));
    ResetAuthAttempts(state);
    while (r.status == 401) {
      TakeWwwAuthenticate(state, r.challenge);
      AuthRetryResult retry = AnswerChallenge(state, 401, request, log);
      if (retry.action != AuthRetry::retry) break;
      EXPECT_TRUE(c.Exchange("GET", request.uri, Line("Authorization", state.authorization), {}, r));
    }
    return r;
  }

  AuthState state;
  AuthRequest request;
  AuthLogFn log;
};

TEST_F(ApacheTest, BasicCredentialsOpenTheBasicArea) {
  CORVANE_SERVER_SETTING(port, "CORVANE_APACHE_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_APACHE_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_APACHE_PASSWORD");
  Configure(authBasic, user, password, "/basic/index.txt");
  LoopbackConnection c(std::stoi(port));
  Response r = Fetch(c);
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "basic area\n");

  // Basic is not retried: a wrong password ends with the 401.
  SetPassword(state, password + "x", request, log);
  EXPECT_EQ(Fetch(c).status, 401);
}

TEST_F(ApacheTest, DigestAnswersTheChallengeAndCountsNonces) {
  CORVANE_SERVER_SETTING(port, "CORVANE_APACHE_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_APACHE_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_APACHE_PASSWORD");
  Configure(authDigest, user, password, "/digest/index.txt");
  LoopbackConnection c(std::stoi(port));
  Response r = Fetch(c);
  EXPECT_EQ(r.status, 200) << state.authorization.view();
  EXPECT_EQ(r.body, "digest area\n");
  EXPECT_NE(state.authorization.view().find("nc=00000001"), std::string_view::npos);

  // The next request reuses the challenge with the next nonce count.
  r = Fetch(c);
  EXPECT_EQ(r.status, 200) << state.authorization.view();
  EXPECT_NE(state.authorization.view().find("nc=00000002"), std::string_view::npos);
}

TEST_F(ApacheTest, DigestWithAWrongPasswordFailsAfterOneRetry) {
  CORVANE_SERVER_SETTING(port, "CORVANE_APACHE_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_APACHE_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_APACHE_PASSWORD");
  Configure(authDigest, user, password + "x", "/digest/index.txt");
  LoopbackConnection c(std::stoi(port));
  Response r;
  ASSERT_EQ(BuildAuthorization(state, request, false, log), 0);
  ASSERT_TRUE(c.Exchange("GET", request.uri, Line("Authorization", state.authorization), {}, r));
  ASSERT_EQ(r.status, 401);
  TakeWwwAuthenticate(state, r.challenge);
  ASSERT_EQ(AnswerChallenge(state, 401, request, log).action, AuthRetry::retry);
  ASSERT_TRUE(c.Exchange("GET", request.uri, Line("Authorization", state.authorization), {}, r));
  EXPECT_EQ(r.status, 401);
  TakeWwwAuthenticate(state, r.challenge);
  AuthRetryResult second = AnswerChallenge(state, 401, request, log);
  EXPECT_EQ(second.action, AuthRetry::failServer);
  EXPECT_EQ(second.code, 151);
}

TEST(ProxyBasic, ProxyCredentialsPassTheProxy) {
  CORVANE_SERVER_SETTING(proxyPort, "CORVANE_PROXY_PORT");
  CORVANE_SERVER_SETTING(proxyUser, "CORVANE_PROXY_USER");
  CORVANE_SERVER_SETTING(proxyPassword, "CORVANE_PROXY_PASSWORD");
  CORVANE_SERVER_SETTING(apachePort, "CORVANE_APACHE_PORT");
  const std::string target = "http://127.0.0.1:" + apachePort + "/open/index.txt";

  AuthState state;
  AuthRequest request;
  request.method = "GET";
  request.uri = "/open/index.txt";
  request.proxyHost = "127.0.0.1";
  request.proxyPort = std::stoi(proxyPort);
  AuthLogFn log;

  LoopbackConnection c(std::stoi(proxyPort));
  Response r;
  ASSERT_EQ(BuildProxyAuthorization(state, request, false, log), 0);
  ASSERT_TRUE(c.Exchange("GET", target, Line("Proxy-Authorization", state.proxyAuthorization), {}, r));
  EXPECT_EQ(r.status, 407);
  EXPECT_EQ(r.proxyChallenge.substr(0, 6), "Basic ");
  TakeProxyAuthenticate(state, r.proxyChallenge);

  SetProxyUser(state, proxyUser, request, log);
  SetProxyPassword(state, proxyPassword, request, log);
  LoopbackConnection again(std::stoi(proxyPort));
  ASSERT_TRUE(again.Exchange("GET", target, Line("Proxy-Authorization", state.proxyAuthorization), {}, r));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "open area\n");
}

}  // namespace
}  // namespace corvane::auth
