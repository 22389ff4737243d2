// HTTP/2 inside the engine against peers on loopback: the scripted h2 server
// (tests/servers/h2/h2_server.py) with prior knowledge over TCP and with a
// certificate over TLS, nghttpd (tests/servers/nghttpd), and nginx's http2
// and HTTP/1.1-only TLS ports (tests/servers/tls).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "http/event_recorder.h"
#include "http/http_client.h"
#include "http/http_enums.h"
#include "support/python_server.h"
#include "support/servers.h"

namespace corvane {
namespace {

// Speaks HTTP/2 with prior knowledge: takes "h2" as its ALPN result, which
// is what the TLS channel reports after a handshake that selected it.
class PriorKnowledgeClient : public HttpClient {
 public:
  void ReportConnected(int code) override {
    if (code == 0) negotiatedAlpn_ = "h2";
    HttpClient::ReportConnected(code);
  }
};

// Accepts the test servers' certificates.
struct Listener : testing::EventRecorder {
  void SSLServerAuthentication(std::string&, std::string&, std::string&, std::string&,
                               bool& accept) override {
    accept = true;
  }
};

std::unique_ptr<testing::PythonServer> H2Server(const std::string& mode,
                                                std::vector<std::string> tls = {}) {
  std::vector<std::string> args = {"--mode", mode};
  args.insert(args.end(), tls.begin(), tls.end());
  auto server =
      std::make_unique<testing::PythonServer>(testing::TestsPath("servers/h2/h2_server.py"), args);
  EXPECT_NE(0, server->port()) << mode;
  return server;
}

class Http2PeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (HttpClient* c : {static_cast<HttpClient*>(&prior), &client}) {
      c->SetEventSink(&listener);
      ASSERT_EQ(0, c->SetHTTPVersion("2.0"));
      c->SetTimeout(20);
    }
  }
  int Run(HttpClient& c, const std::string& url, int action = http::actGet) {
    EXPECT_EQ(0, c.SetURL(url));
    return c.Action(action);
  }

  PriorKnowledgeClient prior;
  HttpClient client;
  Listener listener;
};

TEST_F(Http2PeerTest, PriorKnowledgeGetPostAndGzipFillTheFieldsAndEventsOfHttp11) {
  auto s = H2Server("ok");
  ASSERT_EQ(0, Run(prior, s->Url("/"))) << prior.LastErrorText().view();
  EXPECT_EQ(200, prior.StatusCode());
  EXPECT_EQ("hello", prior.TransferredData());
  EXPECT_EQ("HTTP/2.0 200 OK", prior.StatusLine());
  EXPECT_NE(std::string_view::npos,
            prior.TransferredHeaders().find("content-type: text/plain\r\n"));
  EXPECT_EQ("2.0", prior.NegotiatedHTTPVersion());

  // One stream per connection: the next request opens a new one.
  listener.events.clear();
  prior.PostData() = "abc";
  ASSERT_EQ(0, Run(prior, s->Url("/upload"), http::actPost)) << prior.LastErrorText().view();
  // Upload percentages follow the HTTP/1.1 rule (3 of 3 + 100 bytes).
  EXPECT_TRUE(
      listener.InOrder({"StartTransfer 0", "Transfer 0 3 2", "EndTransfer 0", "Header :status: 200",
                        "Status HTTP/2.0 200 OK", "Header content-length: 10", "StartTransfer 1",
                        "Transfer 1 10", "EndTransfer 1"}));

  auto g = H2Server("gzip");
  prior.PostData().clear();
  prior.Config("AllowHTTPCompression=true");
  ASSERT_EQ(0, Run(prior, g->Url("/"))) << prior.LastErrorText().view();
  std::string expected;
  for (int i = 0; i < 100; ++i) expected += "hello gzip\n";
  EXPECT_EQ(expected, prior.TransferredData());
}

// Each failure the scripted server provokes leaves its own code and message:
// the TLS close that follows it must not lose them, also under a Post body.
TEST_F(Http2PeerTest, EveryStreamFailureKeepsItsMessageOverTls) {
  CORVANE_SERVER_SETTING(cert, "CORVANE_NGHTTPD_CERT_FILE");
  const std::string key = cert.substr(0, cert.rfind('/')) + "/server.key";
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
    auto s = H2Server(c.mode, {"--cert", cert, "--key", key});
    client.SetTimeout(c.code == 301 ? 2 : 20);
    client.PostData() = c.post ? std::string(70000, 'p') : std::string();
    EXPECT_EQ(c.code, Run(client, "https://127.0.0.1:" + std::to_string(s->port()) + "/",
                          c.post ? http::actPost : http::actGet));
    EXPECT_NE(std::string_view::npos, client.LastErrorText().view().find(c.word))
        << client.LastErrorText().view();
  }
}

TEST_F(Http2PeerTest, NghttpdServesGetPostAndErrorStatus) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NGHTTPD_PORT");
  const std::string base = "https://127.0.0.1:" + port;
  ASSERT_EQ(0, Run(client, base + "/hello.txt")) << client.LastErrorText().view();
  EXPECT_EQ("hello over h2\n", client.TransferredData());
  EXPECT_EQ("2.0", client.NegotiatedHTTPVersion());
  EXPECT_EQ("HTTP/2.0 200 OK", client.StatusLine());
  // A missing file is an HTTP error as over HTTP/1.1.
  EXPECT_EQ(151, Run(client, base + "/missing"));
  EXPECT_EQ("HTTP protocol error. 404 Not Found.", client.LastErrorText().view());
  // A body larger than the initial window comes back whole.
  std::string body;
  for (int i = 0; body.size() < 150000; ++i) body += std::to_string(i) + ",";
  client.PostData() = body;
  ASSERT_EQ(0, Run(client, base + "/echo", http::actPost)) << client.LastErrorText().view();
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
    ASSERT_EQ(0, Run(client, url)) << version << ": " << client.LastErrorText().view();
    EXPECT_EQ(version, client.NegotiatedHTTPVersion());
    EXPECT_EQ(32000u, client.TransferredData().size());
    EXPECT_EQ(std::string(version) == "2.0" ? 1 : 2,
              listener.Count("SSLStatus Starting secure channel handshake."));
  }
}

TEST_F(Http2PeerTest, Http11OnlyServerFallsBackWithStatusMessage) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_VALID_PORT");
  const std::string url = "https://localhost:" + port + "/text.txt";
  ASSERT_EQ(0, Run(client, url)) << client.LastErrorText().view();
  EXPECT_EQ("1.1", client.NegotiatedHTTPVersion());
  EXPECT_TRUE(
      listener.Has("SSLStatus Server does not support ALPN protocol h2. Falling back to HTTP/1.1"));
  client.Config("AllowHTTPFallback=false");
  EXPECT_EQ(161, Run(client, url));
  EXPECT_EQ("Server does not support HTTP/2 and AllowHTTPFallback is False.",
            client.LastErrorText().view());
}

}  // namespace
}  // namespace corvane
