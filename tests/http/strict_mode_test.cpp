// StrictMode end to end: each rule against nginx where nginx can show it
// (two origins: 127.0.0.1 and "localhost" on another port; https and plain
// http on one host), against the scripted server where a real server would
// not send such bytes.
#include <gtest/gtest.h>

#include <string>

#include "http/http_client.h"
#include "support/python_server.h"
#include "support/servers.h"

namespace corvane {
namespace {

int Fetch(HttpClient& client, const std::string& url) {
  if (int rc = client.SetURL(url); rc != 0) return rc;
  return client.Action(http::actGet);
}

struct OriginCase {
  const char* name;
  bool strict;
  bool callerAuthorization;  // an Authorization value of the caller's
  const char* path;          // on the first origin, after /set-cookies
  const char* answer;        // the echo that finally answered
};

class StrictOrigins : public ::testing::TestWithParam<OriginCase> {};

TEST_P(StrictOrigins, CookiesAndCredentialsReachOnlyTheOriginsTheyBelongTo) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NGINX_PORT");
  CORVANE_SERVER_SETTING(otherPort, "CORVANE_NGINX_OTHER_PORT");
  const OriginCase& c = GetParam();
  HttpClient client;
  client.SetTimeout(10);
  client.SetFollowRedirects(http::frAlways);
  ASSERT_EQ(client.Config(std::string("StrictMode=") + (c.strict ? "true" : "false")), 0);
  if (c.callerAuthorization) client.SetAuthorization("Bearer caller-token");
  client.AddCookie("mine", "1");
  std::string base = "http://127.0.0.1:" + port;
  ASSERT_EQ(Fetch(client, base + "/set-cookies"), 0) << client.LastErrorText().str();
  ASSERT_EQ(Fetch(client, base + c.path), 0) << client.LastErrorText().str();
  EXPECT_EQ(client.TransferredData(), std::string(c.answer) + "\n");
}

// Lenient: every cookie goes everywhere, a redirect carries the caller's
// Authorization along and userinfo in a Location becomes Basic credentials.
// Strict: RFC 6265 matching, and nothing of the first origin's (cookies,
// caller's cookies, Authorization, Location userinfo) reaches another.
INSTANTIATE_TEST_SUITE_P(
    Nginx, StrictOrigins,
    ::testing::Values(
        OriginCase{"LenientSameOrigin", false, true, "/echo",
                   "cookie=[mine=1; host=1; deep=2; safe=3; gone=4; foreign=5] auth=[Bearer caller-token]"},
        OriginCase{"StrictSameOrigin", true, true, "/echo", "cookie=[host=1; mine=1] auth=[Bearer caller-token]"},
        OriginCase{"StrictDeeperPath", true, false, "/deep/echo", "cookie=[deep=2; host=1; mine=1] auth=[]"},
        OriginCase{"LenientRedirectToOtherOrigin", false, true, "/to-other",
                   "cookie=[mine=1; host=1; deep=2; safe=3; gone=4; foreign=5] auth=[Bearer caller-token]"},
        OriginCase{"StrictRedirectToOtherOrigin", true, true, "/to-other", "cookie=[] auth=[]"},
        OriginCase{"LenientLocationUserinfo", false, false, "/to-self-with-userinfo",
                   "cookie=[mine=1; host=1; deep=2; safe=3; gone=4; foreign=5] auth=[Basic aW50cnVkZXI6c2VjcmV0]"},
        OriginCase{"StrictLocationUserinfo", true, false, "/to-self-with-userinfo",
                   "cookie=[host=1; mine=1] auth=[]"},
        OriginCase{"StrictLocationUserinfoToOtherOrigin", true, false, "/to-other-with-userinfo",
                   "cookie=[] auth=[]"}),
    [](const ::testing::TestParamInfo<OriginCase>& info) { return std::string(info.param.name); });

// A Secure cookie of the https origin goes back to it, and in strict mode
// never to the same host over plain http; lenient, it goes everywhere.
TEST(StrictSecureCookie, ReturnsOverHttpsOnlyInStrictMode) {
  CORVANE_SERVER_SETTING(httpsPort, "CORVANE_TLS_VALID_PORT");
  CORVANE_SERVER_SETTING(httpPort, "CORVANE_TLS_PLAIN_PORT");
  const std::string https = "https://localhost:" + httpsPort;
  const std::string http = "http://localhost:" + httpPort;
  for (bool strict : {true, false}) {
    SCOPED_TRACE(strict ? "strict" : "lenient");
    HttpClient client;
    client.SetTimeout(10);
    ASSERT_EQ(client.Config(std::string("StrictMode=") + (strict ? "true" : "false")), 0);
    // The plain port is another port of the host: server cookies would be
    // pruned when the URL moves there.
    ASSERT_EQ(client.Config("DontClearCookiesOnUrlChange=true"), 0);
    ASSERT_EQ(Fetch(client, https + "/set-cookies"), 0) << client.LastErrorText().str();
    ASSERT_EQ(Fetch(client, https + "/echo"), 0) << client.LastErrorText().str();
    EXPECT_EQ(client.TransferredData(), "cookie=[plain=1; safe=3]\n");
    ASSERT_EQ(Fetch(client, http + "/echo"), 0) << client.LastErrorText().str();
    EXPECT_EQ(client.TransferredData(), strict ? "cookie=[plain=1]\n" : "cookie=[plain=1; safe=3]\n");
  }
}

// Responses a lenient reader takes one way and another parser may take
// another, and a body past the limit: refused in strict mode.
TEST(StrictFraming, AmbiguousOrOversizedResponsesFailOnlyInStrictMode) {
  testing::PythonServer server(testing::TestsPath("http/scripted_server.py"));
  ASSERT_NE(server.port(), 0) << "scripted server did not start";
  struct {
    const char* path;
    bool strict;
    const char* error;
  } cases[] = {
      {"/long-chunk-line", true, "HTTP protocol error. A response line is longer than MaxLineLength."},
      // Split, the rest of the line is taken for chunk data.
      {"/long-chunk-line", false, "HTTP protocol error. Chunk data is not followed by CR LF."},
      {"/gzipbomb?mib=101", true, "HTTP protocol error. The response body exceeds the strict mode limit."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.strict ? " strict" : " lenient"));
    HttpClient client;
    client.SetTimeout(30);
    client.Config("AllowHTTPCompression=true");
    ASSERT_EQ(client.Config(std::string("StrictMode=") + (c.strict ? "true" : "false")), 0);
    EXPECT_EQ(Fetch(client, server.Url(c.path)), 151);
    EXPECT_EQ(client.LastErrorText().str(), c.error);
    EXPECT_LE(client.TransferredData().size(), static_cast<size_t>(HttpClient::kStrictBodyLimit));
  }
}

}  // namespace
}  // namespace corvane
