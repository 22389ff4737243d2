// HTTP/2 inside the engine against peers on loopback: the scripted h2 server
// (tests/servers/h2/h2_server.py) over TLS, nghttpd (tests/servers/nghttpd),
// and nginx's http2 and HTTP/1.1-only TLS ports (tests/servers/tls).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "http/http_client.h"
#include "http/http_enums.h"
#include "support/event_recorder.h"
#include "support/python_server.h"
#include "support/servers.h"

namespace corvane {
namespace {

// Accepts the test servers' certificates.
struct Listener : testing::EventRecorder {
  void SSLServerAuthentication(std::string&, std::string&, std::string&, std::string&,
                               bool& accept) override {
    accept = true;
  }
};

// The scripted server in one mode, with nghttpd's test certificate.
std::unique_ptr<testing::PythonServer> H2Server(const std::string& mode, const std::string& cert) {
  const std::string key = cert.substr(0, cert.rfind('/')) + "/server.key";
  auto server = std::make_unique<testing::PythonServer>(
      testing::TestsPath("servers/h2/h2_server.py"),
      std::vector<std::string>{"--mode", mode, "--cert", cert, "--key", key});
  EXPECT_NE(0, server->port()) << mode;
  return server;
}

class Http2PeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client.SetEventSink(&listener);
    ASSERT_EQ(0, client.SetHTTPVersion("2.0"));
    client.SetTimeout(20);
  }
  int Run(const std::string& url, int action = http::actGet) {
    EXPECT_EQ(0, client.SetURL(url));
    return client.Action(action);
  }
  static std::string Url(const testing::PythonServer& s, const std::string& path) {
    return "https://127.0.0.1:" + std::to_string(s.port()) + path;
  }

  HttpClient client;
  Listener listener;
};

TEST_F(Http2PeerTest, GetPostAndGzipFillTheFieldsAndEventsOfHttp11) {
  CORVANE_SERVER_SETTING(cert, "CORVANE_NGHTTPD_CERT_FILE");
  auto s = H2Server("ok", cert);
  ASSERT_EQ(0, Run(Url(*s, "/"))) << client.LastErrorText().view();
  EXPECT_EQ(200, client.StatusCode());
  EXPECT_EQ("hello", client.TransferredData());
  EXPECT_NE(std::string_view::npos,
            client.TransferredHeaders().find("content-type: text/plain\r\n"));

  // One stream per connection: the next request opens a new one.
  listener.events.clear();
  client.PostData() = "abc";
  ASSERT_EQ(0, Run(Url(*s, "/upload"), http::actPost)) << client.LastErrorText().view();
  // Upload percentages follow the HTTP/1.1 rule (3 of 3 + 100 bytes).
  EXPECT_TRUE(
      listener.InOrder({"StartTransfer 0", "Transfer 0 3 2", "EndTransfer 0", "Header :status: 200",
                        "Status HTTP/2.0 200 OK", "Header content-length: 10", "StartTransfer 1",
                        "Transfer 1 10", "EndTransfer 1"}));

  auto g = H2Server("gzip", cert);
  client.PostData().clear();
  client.Config("AllowHTTPCompression=true");
  ASSERT_EQ(0, Run(Url(*g, "/"))) << client.LastErrorText().view();
  std::string expected;
  for (int i = 0; i < 100; ++i) expected += "hello gzip\n";
  EXPECT_EQ(expected, client.TransferredData());
}

// Each failure the scripted server provokes leaves its own code and message:
// the TLS close that follows it must not lose them, also under a Post body.
TEST_F(Http2PeerTest, EveryStreamFailureKeepsItsMessageOverTls) {
  CORVANE_SERVER_SETTING(cert, "CORVANE_NGHTTPD_CERT_FILE");
  const struct {
    const char* mode;
    bool post;  // a zero window only holds a body
    int code;
    const char* word;  // of the message
  } cases[] = {
      {"rst_cancel", false, 162, "(CANCEL)"},
      {"rst_cancel", true, 162, "(CANCEL)"},
      {"push", false, 1, "PushPromise"},
      {"big_headers", false, 9, "262144 bytes"},
      {"crlf_cookie", false, 1, "set-cookie contains a CR"},
      {"window0", true, 301, "Timeout."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + (c.post ? " Post" : " Get"));
    auto s = H2Server(c.mode, cert);
    client.SetTimeout(c.code == 301 ? 2 : 20);
    client.PostData() = c.post ? std::string(70000, 'p') : std::string();
    EXPECT_EQ(c.code, Run(Url(*s, "/"), c.post ? http::actPost : http::actGet));
    EXPECT_NE(std::string_view::npos, client.LastErrorText().view().find(c.word))
        << client.LastErrorText().view();
  }
}

TEST_F(Http2PeerTest, NghttpdServesGetPostAndErrorStatus) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NGHTTPD_PORT");
  const std::string base = "https://127.0.0.1:" + port;
  ASSERT_EQ(0, Run(base + "/hello.txt")) << client.LastErrorText().view();
  EXPECT_EQ("hello over h2\n", client.TransferredData());
  EXPECT_EQ("2.0", client.NegotiatedHTTPVersion());
  EXPECT_EQ("HTTP/2.0 200 OK", client.StatusLine());
  // A missing file is an HTTP error as over HTTP/1.1.
  EXPECT_EQ(151, Run(base + "/missing"));
  EXPECT_EQ("HTTP protocol error. 404 Not Found.", client.LastErrorText().view());
  // A body larger than the initial window comes back whole.
  std::string body;
  for (int i = 0; body.size() < 150000; ++i) body += std::to_string(i) + ",";
  client.PostData() = body;
  ASSERT_EQ(0, Run(base + "/echo", http::actPost)) << client.LastErrorText().view();
  EXPECT_EQ(body, client.TransferredData());
}

// With KeepAlive the requests share one connection and one handshake, nginx
// seeing streams 1, 3, 5; an HTTP/1.1 request after them gets a connection
// of its own.
TEST_F(Http2PeerTest, KeepAliveRequestsShareOneNginxConnection) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_H2_PORT");
  client.SetKeepAlive(true);
  const std::string url = "https://localhost:" + port + "/text.txt";
  for (const char* version : {"2.0", "2.0", "2.0", "1.1"}) {
    ASSERT_EQ(0, client.SetHTTPVersion(version));
    ASSERT_EQ(0, Run(url)) << version << ": " << client.LastErrorText().view();
    EXPECT_EQ(version, client.NegotiatedHTTPVersion());
    EXPECT_EQ(32000u, client.TransferredData().size());
    EXPECT_EQ(std::string(version) == "2.0" ? 1 : 2,
              listener.Count("SSLStatus Starting secure channel handshake."));
  }
}

TEST_F(Http2PeerTest, Http11OnlyServerFallsBackWithStatusMessage) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_VALID_PORT");
  const std::string url = "https://localhost:" + port + "/text.txt";
  ASSERT_EQ(0, Run(url)) << client.LastErrorText().view();
  EXPECT_EQ("1.1", client.NegotiatedHTTPVersion());
  EXPECT_TRUE(
      listener.Has("SSLStatus Server does not support ALPN protocol h2. Falling back to HTTP/1.1"));
  client.Config("AllowHTTPFallback=false");
  EXPECT_EQ(161, Run(url));
  EXPECT_EQ("Server does not support HTTP/2 and AllowHTTPFallback is False.",
            client.LastErrorText().view());
}

}  // namespace
}  // namespace corvane
