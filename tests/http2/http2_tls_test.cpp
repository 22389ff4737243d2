// HTTP/2 over TLS with ALPN against real peers on loopback: nghttpd
// (tests/servers/nghttpd), the nginx http2 port and an HTTP/1.1-only port
// (tests/servers/tls), and the scripted h2 server with a certificate.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "corvane/events.h"
#include "http/http_enums.h"
#include "http/http_client.h"
#include "stream_failure_cases.h"
#include "support/python_server.h"
#include "support/servers.h"

namespace corvane {
namespace {

constexpr int kTlsUnavailable = 270;

// Accepts the test servers' certificates and keeps the status messages.
class Listener : public RESTEvents {
 public:
  std::vector<std::string> sslStatus;
  void SSLServerAuthentication(std::string&, std::string&, std::string&, std::string&,
                               bool& accept) override {
    accept = true;
  }
  void SSLStatus(std::string& message) override { sslStatus.push_back(message); }
};

class Http2TlsTest : public ::testing::Test {
 protected:
  HttpClient client;
  Listener listener;
  void SetUp() override {
    client.SetEventSink(&listener);
    ASSERT_EQ(0, client.SetHTTPVersion("2.0"));
    client.SetTimeout(20);
  }
  // Runs the action; a build whose TLS channel cannot connect yet skips.
  int Run(const std::string& url, int action) {
    EXPECT_EQ(0, client.SetURL(url));
    int rc = client.Action(action);
    if (rc == kTlsUnavailable) skip_ = true;
    return rc;
  }
  bool skip_ = false;
};

#define SKIP_WITHOUT_TLS()                                                   \
  do {                                                                       \
    if (skip_) GTEST_SKIP() << "the TLS channel cannot connect in this build"; \
  } while (0)

TEST_F(Http2TlsTest, GetFromNghttpd) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NGHTTPD_PORT");
  int rc = Run("https://127.0.0.1:" + port + "/hello.txt", http::actGet);
  SKIP_WITHOUT_TLS();
  ASSERT_EQ(0, rc) << client.LastErrorText().view();
  EXPECT_EQ("hello over h2\n", client.TransferredData());
  EXPECT_EQ("2.0", client.NegotiatedHTTPVersion());
  EXPECT_EQ("HTTP/2.0 200 OK", client.StatusLine());
  // A missing file is an HTTP error as over HTTP/1.1.
  rc = Run("https://127.0.0.1:" + port + "/missing", http::actGet);
  EXPECT_EQ(151, rc);
  EXPECT_EQ("HTTP protocol error. 404 Not Found.", client.LastErrorText().view());
}

TEST_F(Http2TlsTest, PostLargerThanTheInitialWindowIsEchoedByNghttpd) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NGHTTPD_PORT");
  std::string body;
  for (int i = 0; body.size() < 150000; ++i) body += std::to_string(i) + ",";
  client.PostData() = body;
  int rc = Run("https://127.0.0.1:" + port + "/echo", http::actPost);
  SKIP_WITHOUT_TLS();
  ASSERT_EQ(0, rc) << client.LastErrorText().view();
  EXPECT_EQ(body, client.TransferredData());
}

TEST_F(Http2TlsTest, GetFromTheNginxHttp2Port) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_H2_PORT");
  int rc = Run("https://localhost:" + port + "/text.txt", http::actGet);
  SKIP_WITHOUT_TLS();
  ASSERT_EQ(0, rc) << client.LastErrorText().view();
  EXPECT_EQ("2.0", client.NegotiatedHTTPVersion());
  EXPECT_EQ(32000u, client.TransferredData().size());
}

// With KeepAlive the requests share one connection and one handshake,
// nginx seeing streams 1, 3, 5; an HTTP/1.1 request after them gets a
// connection of its own.
TEST_F(Http2TlsTest, KeepAliveRequestsShareOneNginxConnection) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_H2_PORT");
  client.SetKeepAlive(true);
  const std::string url = "https://localhost:" + port + "/text.txt";
  for (int i = 0; i < 3; ++i) {
    int rc = Run(url, http::actGet);
    SKIP_WITHOUT_TLS();
    ASSERT_EQ(0, rc) << i << ": " << client.LastErrorText().view();
    EXPECT_EQ("2.0", client.NegotiatedHTTPVersion());
    EXPECT_EQ(32000u, client.TransferredData().size());
  }
  auto handshakes = [&] {
    return std::count(listener.sslStatus.begin(), listener.sslStatus.end(), "Starting secure channel handshake.");
  };
  EXPECT_EQ(1, handshakes());
  ASSERT_EQ(0, client.SetHTTPVersion("1.1"));
  ASSERT_EQ(0, Run(url, http::actGet)) << client.LastErrorText().view();
  EXPECT_EQ("1.1", client.NegotiatedHTTPVersion());
  EXPECT_EQ(32000u, client.TransferredData().size());
  EXPECT_EQ(2, handshakes());
}

TEST_F(Http2TlsTest, Http11OnlyServerFallsBackWithStatusMessage) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_VALID_PORT");
  int rc = Run("https://localhost:" + port + "/text.txt", http::actGet);
  SKIP_WITHOUT_TLS();
  ASSERT_EQ(0, rc) << client.LastErrorText().view();
  EXPECT_EQ("1.1", client.NegotiatedHTTPVersion());
  EXPECT_NE(std::find(listener.sslStatus.begin(), listener.sslStatus.end(),
                      "Server does not support ALPN protocol h2. Falling back to HTTP/1.1"),
            listener.sslStatus.end());

  client.Config("AllowHTTPFallback=false");
  EXPECT_EQ(161, Run("https://localhost:" + port + "/text.txt", http::actGet));
  EXPECT_EQ("Server does not support HTTP/2 and AllowHTTPFallback is False.",
            client.LastErrorText().view());
}

// Every failure of the stream keeps its own message over TLS, for Get and
// for Post: the TLS close that follows the failure must not lose it.
TEST(Http2TlsFailures, MessageOfEveryStreamFailureSurvivesTheTlsClose) {
  CORVANE_SERVER_SETTING(cert, "CORVANE_NGHTTPD_CERT_FILE");
  std::string key = cert.substr(0, cert.rfind('/')) + "/server.key";
  std::string script = testing::TestsPath("servers/h2/h2_server.py");
  for (const test::StreamFailureCase& c : test::kStreamFailureCases) {
    for (bool post : {false, true}) {
      if (!post && !c.get) continue;
      testing::PythonServer server(script, {"--mode", c.mode, "--cert", cert, "--key", key});
      ASSERT_NE(server.port(), 0) << c.mode;
      HttpClient client;
      Listener listener;
      client.SetEventSink(&listener);
      ASSERT_EQ(0, client.SetHTTPVersion("2.0"));
      client.SetTimeout(c.code == 301 ? 2 : 20);
      client.PostData() = post ? std::string(70000, 'p') : std::string();
      ASSERT_EQ(0, client.SetURL("https://127.0.0.1:" + std::to_string(server.port()) + "/"));
      int rc = client.Action(post ? http::actPost : http::actGet);
      EXPECT_EQ(rc, c.code) << c.mode << (post ? " Post" : " Get") << ": " << client.LastErrorText().view();
      EXPECT_EQ(c.message, client.LastErrorText().view()) << c.mode << (post ? " Post" : " Get");
    }
  }
}

}  // namespace
}  // namespace corvane
