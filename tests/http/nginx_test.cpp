// The client against a real nginx started by tests/servers/nginx/start; for
// strict mode two origins (127.0.0.1 and "localhost" on another port) and
// https and plain http on one host.
#include <gtest/gtest.h>

#include <string>

#include "http/event_recorder.h"
#include "http/http_client.h"
#include "support/servers.h"

namespace corvane {
namespace {

using testing::ReadFile;

class NginxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CORVANE_SERVER_SETTING(port, "CORVANE_NGINX_PORT");
    CORVANE_SERVER_SETTING(root, "CORVANE_NGINX_ROOT");
    base_ = "http://127.0.0.1:" + port;
    root_ = root;
    client_.SetEventSink(&events_);
    client_.SetTimeout(10);
  }
  int Run(int action, const std::string& path) {
    if (int rc = client_.SetURL(base_ + path); rc != 0) return rc;
    return client_.Action(action);
  }
  static int Fetch(HttpClient& client, const std::string& url) {
    if (int rc = client.SetURL(url); rc != 0) return rc;
    return client.Action(http::actGet);
  }
  std::string base_, root_;
  HttpClient client_;
  testing::EventRecorder events_;
};

TEST_F(NginxTest, GzipAndChunkedBodiesAreDecoded) {
  client_.Config("AllowHTTPCompression=true");
  ASSERT_EQ(Run(http::actGet, "/text.txt"), 0);
  EXPECT_TRUE(events_.Has("Header Content-Encoding: gzip"));
  EXPECT_EQ(client_.TransferredData(), ReadFile(root_ + "/text.txt"));
  EXPECT_LT(client_.BytesTransferred(), static_cast<int64_t>(client_.TransferredData().size()));

  std::string part = ReadFile(root_ + "/part.txt");
  ASSERT_EQ(Run(http::actGet, "/chunked.shtml"), 0);
  EXPECT_TRUE(events_.Has("Header Transfer-Encoding: chunked"));
  EXPECT_EQ(client_.TransferredData(), "start\n" + part + "end\n");
}

TEST_F(NginxTest, RedirectChainIsFollowed) {
  // Each status's method rule is pinned against the scripted server.
  client_.SetFollowRedirects(http::frAlways);
  ASSERT_EQ(Run(http::actGet, "/chain1"), 0) << client_.LastErrorText().str();
  EXPECT_EQ(events_.Count("Redirect "), 3);
  EXPECT_EQ(client_.ResponseContentType(), "application/xml");
}

TEST_F(NginxTest, HeadEndsAtTheHeadWithoutStartTransfer) {
  ASSERT_EQ(Run(http::actHead, "/data.json"), 0);
  EXPECT_TRUE(events_.Has("Header Content-Length: 1024"));
  EXPECT_TRUE(events_.Has("EndTransfer 1"));
  EXPECT_FALSE(events_.Has("StartTransfer 1"));
  EXPECT_EQ(client_.TransferredData(), "");
}

TEST_F(NginxTest, KeepAliveUsesOneConnectionForManyRequests) {
  client_.SetKeepAlive(true);
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(Run(i % 2 ? http::actGet : http::actPost, i % 2 ? "/data.json" : "/post"), 0)
        << i << " " << client_.LastErrorText().str();
  }
  EXPECT_EQ(events_.Count("Connected "), 1);
}

TEST_F(NginxTest, AbsoluteTimeoutStopsASlowBody) {
  client_.Config("AbsoluteTimeout=true");
  client_.SetTimeout(1);
  EXPECT_EQ(Run(http::actGet, "/slow/data.txt"), 301);
  EXPECT_EQ(client_.LastErrorText().str(), "Timeout.");
  EXPECT_GT(client_.BytesTransferred(), 0);
}

// Lenient: every cookie goes everywhere, a redirect carries the caller's
// Authorization along and userinfo in a Location becomes Basic credentials.
// Strict: RFC 6265 matching, and nothing of the first origin's (cookies,
// caller's cookies, Authorization, Location userinfo) reaches another.
TEST_F(NginxTest, StrictModeKeepsCookiesAndCredentialsToTheirOrigins) {
  CORVANE_SERVER_SETTING(otherPort, "CORVANE_NGINX_OTHER_PORT");
  const std::string all = "cookie=[mine=1; host=1; deep=2; safe=3; gone=4; foreign=5] auth=[";
  struct {
    bool strict;
    bool callerAuthorization;  // an Authorization value of the caller's
    const char* path;          // on the first origin, after /set-cookies
    std::string answer;        // the echo that finally answered
  } cases[] = {
      {false, true, "/echo", all + "Bearer caller-token]"},
      {true, true, "/echo", "cookie=[host=1; mine=1] auth=[Bearer caller-token]"},
      {true, false, "/deep/echo", "cookie=[deep=2; host=1; mine=1] auth=[]"},
      {false, true, "/to-other", all + "Bearer caller-token]"},
      {true, true, "/to-other", "cookie=[] auth=[]"},
      {false, false, "/to-self-with-userinfo", all + "Basic aW50cnVkZXI6c2VjcmV0]"},
      {true, false, "/to-self-with-userinfo", "cookie=[host=1; mine=1] auth=[]"},
      {true, false, "/to-other-with-userinfo", "cookie=[] auth=[]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.strict ? " strict" : " lenient"));
    HttpClient client;
    client.SetTimeout(10);
    client.SetFollowRedirects(http::frAlways);
    ASSERT_EQ(client.Config(std::string("StrictMode=") + (c.strict ? "true" : "false")), 0);
    if (c.callerAuthorization) client.SetAuthorization("Bearer caller-token");
    client.AddCookie("mine", "1");
    ASSERT_EQ(Fetch(client, base_ + "/set-cookies"), 0) << client.LastErrorText().str();
    ASSERT_EQ(Fetch(client, base_ + c.path), 0) << client.LastErrorText().str();
    EXPECT_EQ(client.TransferredData(), c.answer + "\n");
  }
}

// A Secure cookie of the https origin goes back to it, and in strict mode
// never to the same host over plain http; lenient, it goes everywhere.
TEST_F(NginxTest, StrictModeReturnsSecureCookiesOverHttpsOnly) {
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

}  // namespace
}  // namespace corvane
