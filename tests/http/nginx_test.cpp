// The client against a real nginx started by tests/servers/nginx/start.
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

}  // namespace
}  // namespace corvane
