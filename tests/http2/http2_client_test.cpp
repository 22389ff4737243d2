// The HTTP/2 exchange inside the real engine, against the scripted h2
// server (tests/servers/h2/h2_server.py) on loopback. The server is started
// by each test on port 0 and speaks HTTP/2 with prior knowledge; the client
// takes "h2" as its ALPN result, which is what the TLS channel reports after
// a handshake that selected it.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corvane/events.h"
#include "http/http_enums.h"
#include "http/http_client.h"
#include "stream_failure_cases.h"
#include "support/python_server.h"

namespace corvane {
namespace {

std::string ServerScript() {
  return testing::TestsPath("servers/h2/h2_server.py");
}

// One scripted server process for the life of the object.
class ScriptedServer : public testing::PythonServer {
 public:
  explicit ScriptedServer(const std::string& mode)
      : PythonServer(ServerScript(), {"--mode", mode}) {}
};

// The engine with the ALPN result a TLS handshake would give.
class PriorKnowledgeClient : public HttpClient {
 public:
  void ReportConnected(int code) override {
    if (code == 0) negotiatedAlpn_ = "h2";
    HttpClient::ReportConnected(code);
  }
};

class Http2ClientTest : public ::testing::Test {
 protected:
  PriorKnowledgeClient client;
  void SetUp() override {
    if (access("/usr/bin/python3", X_OK) != 0 ||
        system("/usr/bin/python3 -c 'import h2' 2>/dev/null") != 0) {
      GTEST_SKIP() << "python3-h2 is not installed (scripts/packages.d/http2.txt)";
    }
    ASSERT_EQ(0, client.SetHTTPVersion("2.0"));
    client.SetTimeout(10);
  }
  int Get(const ScriptedServer& s, std::string_view path = "/") {
    EXPECT_NE(0, s.port());
    EXPECT_EQ(0, client.SetURL(s.Url(path)));
    int rc = client.Action(http::actGet);
    return rc;
  }
};

TEST_F(Http2ClientTest, GetDeliversStatusHeadersAndBody) {
  ScriptedServer s("ok");
  EXPECT_EQ(0, Get(s)) << client.LastErrorText().view();
  EXPECT_EQ(200, client.StatusCode());
  EXPECT_EQ("hello", client.TransferredData());
  EXPECT_EQ("HTTP/2.0 200 OK", client.StatusLine());
  EXPECT_NE(std::string_view::npos, client.TransferredHeaders().find("content-type: text/plain\r\n"));
  EXPECT_EQ("2.0", client.NegotiatedHTTPVersion());
  // One stream per connection: a second request opens a new one.
  EXPECT_EQ(0, Get(s));
  EXPECT_EQ("hello", client.TransferredData());
}

// Records the events of the response path in order.
class EventOrder : public RESTEvents {
 public:
  std::vector<std::string> events;
  void Status(std::string& version, int& code, std::string& text) override {
    events.push_back("Status " + version + " " + std::to_string(code) + " " + text);
  }
  void Header(std::string& field, std::string& value) override {
    events.push_back("Header " + field + ": " + value);
  }
  void StartTransfer(int& direction) override {
    events.push_back("StartTransfer " + std::to_string(direction));
  }
  void Transfer(int& direction, int64_t& bytes, int& percent, std::string& text) override {
    events.push_back("Transfer " + std::to_string(direction) + " " + std::to_string(bytes) + " " +
                     std::to_string(percent));
  }
  void EndTransfer(int& direction) override {
    events.push_back("EndTransfer " + std::to_string(direction));
  }
};

TEST_F(Http2ClientTest, EventsFollowTheHttp11Order) {
  ScriptedServer s("ok");
  EventOrder order;
  client.SetEventSink(&order);
  client.PostData() = "abc";
  ASSERT_EQ(0, client.SetURL(s.Url("/upload")));
  ASSERT_EQ(0, client.Action(http::actPost));
  // Upload percentages follow the HTTP/1.1 rule (3 of 3 + 100 bytes).
  std::vector<std::string> expected = {"StartTransfer 0",
                                       "Transfer 0 3 2",
                                       "EndTransfer 0",
                                       "Header :status: 200",
                                       "Status HTTP/2.0 200 OK",
                                       "Header content-length: 10",
                                       "StartTransfer 1",
                                       "Transfer 1 10",
                                       "EndTransfer 1"};
  // The download percentage is the HTTP layer's; only the count is checked.
  for (std::string& e : order.events) {
    if (e.rfind("Transfer 1 ", 0) == 0) e = e.substr(0, e.rfind(' '));
  }
  EXPECT_EQ(expected, order.events);
}

TEST_F(Http2ClientTest, GzipBodyIsDecodedAsOverHttp11) {
  ScriptedServer s("gzip");
  client.Config("AllowHTTPCompression=true");
  EXPECT_EQ(0, Get(s));
  std::string expected;
  for (int i = 0; i < 100; ++i) expected += "hello gzip\n";
  EXPECT_EQ(expected, client.TransferredData());
}

// Each failure of the stream leaves its own code and message, for Get and
// for Post.
TEST_F(Http2ClientTest, StreamFailuresLeaveTheirMessage) {
  for (const test::StreamFailureCase& c : test::kStreamFailureCases) {
    for (bool post : {false, true}) {
      if (!post && !c.get) continue;
      ScriptedServer s(c.mode);
      client.SetTimeout(c.code == 301 ? 2 : 10);
      client.PostData() = post ? std::string(70000, 'p') : std::string();
      ASSERT_EQ(0, client.SetURL(s.Url("/")));
      EXPECT_EQ(c.code, client.Action(post ? http::actPost : http::actGet)) << c.mode;
      EXPECT_EQ(c.message, client.LastErrorText().view()) << c.mode << (post ? " Post" : " Get");
    }
  }
}

TEST_F(Http2ClientTest, PlainUrlWithoutH2FailsWithPlaintextMessage) {
  HttpClient plain;
  ASSERT_EQ(0, plain.SetHTTPVersion("2.0"));
  plain.SetTimeout(10);
  ScriptedServer s("ok");
  ASSERT_EQ(0, plain.SetURL(s.Url("/")));
  EXPECT_EQ(161, plain.Action(http::actGet));
  EXPECT_EQ("Plaintext URLs are not supported over HTTP/2.", plain.LastErrorText().view());
  plain.Config("AllowHTTPFallback=false");
  EXPECT_EQ(161, plain.Action(http::actGet));
  EXPECT_EQ("Server does not support HTTP/2 and AllowHTTPFallback is False.",
            plain.LastErrorText().view());
}

}  // namespace
}  // namespace corvane
