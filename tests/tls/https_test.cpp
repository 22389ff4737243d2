// HttpClient over https against nginx (tests/servers/tls/start): the
// certificate cases, protocol versions, ALPN and keep-alive.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "http/event_recorder.h"
#include "http/http_client.h"
#include "socket_tls_server.h"
#include "support/servers.h"
#include "tls/channel/cert_validation.h"

namespace corvane {
namespace {

using testing::ReadFile;

class CertificateEvents : public testing::EventRecorder {
 public:
  bool overrideAccept = false;
  bool acceptAnswer = false;
  std::vector<std::string> encoded;
  void SSLServerAuthentication(std::string& cert, std::string& subject, std::string& issuer,
                               std::string& status, bool& accept) override {
    events.push_back("SSLServerAuthentication " + status + " | " + subject + " | " + issuer + " | " +
                     (accept ? "true" : "false"));
    encoded.push_back(cert);
    if (overrideAccept) accept = acceptAnswer;
  }
  void Connected(int& code, std::string& d) override {
    events.push_back("Connected " + std::to_string(code) + " " + d);
  }
};

class HttpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_.SetEventSink(&events_);
    client_.SetTimeout(10);
  }
  int Get(const std::string& url) {
    if (int rc = client_.SetURL(url); rc != 0) return rc;
    return client_.Action(http::actGet);
  }
  HttpClient client_;
  CertificateEvents events_;
};

TEST_F(HttpsTest, ValidCertificateGetOverTls) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_VALID_PORT");
  CORVANE_SERVER_SETTING(root, "CORVANE_TLS_ROOT");
  ASSERT_EQ(Get("https://localhost:" + port + "/data.json"), 0) << client_.LastErrorText().str();
  EXPECT_EQ(client_.TransferredData(), ReadFile(root + "/data.json"));
  EXPECT_TRUE(events_.Has(
      "SSLServerAuthentication OK | CN=localhost, O=Example, C=US | CN=Corvane Test CA, O=Example, C=US | true"));
  EXPECT_TRUE(events_.Has("ConnectionStatus SSL handshake complete. 0"));
  EXPECT_TRUE(events_.Has("SSLStatus Selected TLS Version: TLS1.2"));
  // By address: the certificate names 127.0.0.1 too.
  ASSERT_EQ(Get("https://127.0.0.1:" + port + "/text.txt"), 0) << client_.LastErrorText().str();
  EXPECT_EQ(client_.TransferredData(), ReadFile(root + "/text.txt"));
}

struct CertCase {
  const char* name;
  const char* portVar;
  const char* status;
};

class HttpsCertificates : public HttpsTest, public ::testing::WithParamInterface<CertCase> {};

TEST_P(HttpsCertificates, FaultyCertificateFailsWithItsStatus) {
  CORVANE_SERVER_SETTING(port, GetParam().portVar);
  EXPECT_EQ(Get("https://localhost:" + port + "/data.json"), 276);
  EXPECT_EQ(client_.LastErrorText().str(), "Server certificate verification failed. Connection aborted.");
  std::string status = GetParam().status;
  EXPECT_TRUE(events_.Has("SSLServerAuthentication " + status)) << status;
  EXPECT_TRUE(events_.Has("Error 280 error verifying server certificate: 0x" + status.substr(3, 8)));
  EXPECT_TRUE(events_.Has("SSLStatus Server certificate verification failed. Aborting connection..."));
  EXPECT_FALSE(events_.Has("ConnectionStatus SSL handshake complete."));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpsCertificates,
    ::testing::Values(
        CertCase{"SelfSigned", "CORVANE_TLS_SELFSIGNED_PORT",
                 "[0x800b0109] A certification chain processed correctly but terminated in a root certificate "
                 "not trusted by the trust provider."},
        CertCase{"Expired", "CORVANE_TLS_EXPIRED_PORT",
                 "[0x800b0101] A required certificate is not within its validity period."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HttpsTest, HandlerAcceptingASelfSignedCertificateCompletesTheRequest) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_SELFSIGNED_PORT");
  events_.overrideAccept = true;
  events_.acceptAnswer = true;
  ASSERT_EQ(Get("https://localhost:" + port + "/data.json"), 0) << client_.LastErrorText().str();
  EXPECT_EQ(client_.TransferredData().size(), 1024u);
  EXPECT_TRUE(events_.Has("SSLServerAuthentication [0x800b0109]"));
}

TEST_F(HttpsTest, AcceptedCertificateSkipsTheCheckAndTheEvent) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_SELFSIGNED_PORT");
  CORVANE_SERVER_SETTING(root, "CORVANE_TLS_ROOT");
  ASSERT_EQ(client_.SetSSLAcceptServerCertEncoded(ReadFile(root + "/../pki/selfsigned.pem")), 0);
  ASSERT_EQ(Get("https://localhost:" + port + "/data.json"), 0) << client_.LastErrorText().str();
  EXPECT_FALSE(events_.Has("SSLServerAuthentication"));
  // Another certificate is still judged.
  CORVANE_SERVER_SETTING(expired, "CORVANE_TLS_EXPIRED_PORT");
  EXPECT_EQ(Get("https://localhost:" + expired + "/data.json"), 276);
}

TEST_F(HttpsTest, EarlyLookLeftUnacceptedAbortsBeforeTheHandshakeEnds) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_TLS12_PORT");
  client_.Config("ParseSSLServerCert=true");
  EXPECT_EQ(Get("https://localhost:" + port + "/data.json"), 276);
  EXPECT_TRUE(events_.Has("SSLServerAuthentication Parsed | CN=localhost, O=Example, C=US"));
  EXPECT_FALSE(events_.Has("SSLServerAuthentication OK"));
  EXPECT_FALSE(events_.Has("ConnectionStatus SSL handshake complete."));
}

TEST_F(HttpsTest, EarlyLookAcceptedThenTheFullDecision) {
  for (const char* var : {"CORVANE_TLS_TLS12_PORT", "CORVANE_TLS_TLS13_PORT"}) {
    CORVANE_SERVER_SETTING(port, var);
    HttpClient client;
    CertificateEvents events;
    client.SetEventSink(&events);
    client.SetTimeout(10);
    client.Config("ParseSSLServerCert=true");
    client.Config("SSLEnabledProtocols=0x3C00");
    events.overrideAccept = true;
    events.acceptAnswer = true;
    ASSERT_EQ(client.SetURL("https://localhost:" + port + "/data.json"), 0);
    ASSERT_EQ(client.Action(http::actGet), 0) << var << " " << client.LastErrorText().str();
    size_t parsed = events.events.size(), ok = events.events.size();
    for (size_t i = 0; i < events.events.size(); ++i) {
      if (events.events[i].rfind("SSLServerAuthentication Parsed", 0) == 0) parsed = i;
      if (events.events[i].rfind("SSLServerAuthentication OK", 0) == 0) ok = i;
    }
    EXPECT_LT(parsed, ok) << var;
    EXPECT_LT(ok, events.events.size()) << var;
  }
}

TEST_F(HttpsTest, ProtocolVersionsFollowSSLEnabledProtocols) {
  CORVANE_SERVER_SETTING(tls12, "CORVANE_TLS_TLS12_PORT");
  CORVANE_SERVER_SETTING(tls13, "CORVANE_TLS_TLS13_PORT");
  // The default bits stop at TLS 1.2: a 1.3-only server has nothing in common.
  EXPECT_EQ(Get("https://localhost:" + tls13 + "/data.json"), 276);
  EXPECT_EQ(client_.LastErrorText().str().rfind("error during handshake[2]: 0x", 0), 0u)
      << client_.LastErrorText().str();
  client_.Config("SSLEnabledProtocols=0x3000");
  ASSERT_EQ(Get("https://localhost:" + tls13 + "/data.json"), 0) << client_.LastErrorText().str();
  EXPECT_TRUE(events_.Has("SSLStatus Enabling TLS versions: TLS1.3 "));
  EXPECT_TRUE(events_.Has("SSLStatus Selected TLS Version: TLS1.3"));
  EXPECT_EQ(Get("https://localhost:" + tls12 + "/data.json"), 276);
  client_.Config("SSLEnabledProtocols=0x0C00");
  ASSERT_EQ(Get("https://localhost:" + tls12 + "/data.json"), 0);
  // TLS 1.1 alone is not widened to the server's 1.2; the failure says why.
  ASSERT_EQ(client_.Config("SSLEnabledProtocols=0x0300"), 0);
  EXPECT_EQ(Get("https://localhost:" + tls12 + "/data.json"), 276);
  EXPECT_TRUE(events_.Has("SSLStatus Enabling TLS versions: TLS1.1 "));
  EXPECT_NE(client_.LastErrorText().str().find("(tlsv1 alert protocol version)"), std::string::npos)
      << client_.LastErrorText().str();
}

TEST_F(HttpsTest, AlpnChoiceOfTheServerIsKept) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_H2_PORT");
  client_.Config("ALPNExtension=http/1.1");
  ASSERT_EQ(Get("https://localhost:" + port + "/alpn"), 0) << client_.LastErrorText().str();
  EXPECT_EQ(client_.NegotiatedAlpn(), "http/1.1");
  EXPECT_EQ(client_.TransferredData(), "TLSv1.2 HTTP/1.1\n");

  TlsClient raw;
  raw.SetTimeout(10);
  raw.Config("ALPNExtension=h2,http/1.1");
  EXPECT_EQ(raw.ALPNExtension(), "h2,http/1.1");
  raw.SetTlsEnabled(true);
  ASSERT_EQ(raw.SetRemoteHost("localhost"), 0);
  raw.SetRemotePort(std::stoi(port));
  ASSERT_EQ(raw.ConnectAndWait(), 0) << raw.LastErrorText().str();
  EXPECT_EQ(raw.NegotiatedAlpn(), "h2");
  raw.Connect(false);
}

TEST_F(HttpsTest, KeepAliveRequestsShareOneHandshake) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_VALID_PORT");
  client_.SetKeepAlive(true);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(Get("https://localhost:" + port + "/data.json"), 0) << i;
  }
  EXPECT_EQ(events_.Count("ConnectionStatus SSL handshake complete."), 1);
  client_.PostData() = "a=1&b=2";
  ASSERT_EQ(client_.SetURL("https://localhost:" + port + "/post"), 0);
  ASSERT_EQ(client_.Action(http::actPost), 0) << client_.LastErrorText().str();
  EXPECT_EQ(client_.TransferredData(), "posted\n");
  EXPECT_EQ(events_.Count("ConnectionStatus SSL handshake complete."), 1);
}

// A body sent only once the head has been read takes the direct read: its
// records are decrypted straight into TransferredData.
TEST(HttpsDirectBody, BodyAfterTheHeadIsDecryptedIntoTransferredData) {
  std::string body(100000, 'x');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
  struct HeadWatch : testing::EventRecorder {
    std::atomic<bool> headRead{false};
    void StartTransfer(int&) override { headRead = true; }
  } events;
  testing::SocketTlsServer server([&](int, SSL* ssl) {
    for (std::string line = "-"; !line.empty() && line != "\r\n";) line = testing::SocketTlsServer::ReadLine(ssl);
    std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    SSL_write(ssl, head.data(), static_cast<int>(head.size()));
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         !events.headRead && std::chrono::steady_clock::now() < end;) {
      std::this_thread::yield();
    }
    SSL_write(ssl, body.data(), static_cast<int>(body.size()));
    testing::SocketTlsServer::ReadLine(ssl);  // until the client closes
  });
  HttpClient client;
  client.SetEventSink(&events);
  client.SetTimeout(10);
  client.Config("SSLSecurityFlags=0x10");
  ASSERT_EQ(client.SetURL("https://localhost:" + std::to_string(server.Port()) + "/"), 0);
  ASSERT_EQ(client.Action(http::actGet), 0) << client.LastErrorText().str();
  EXPECT_TRUE(client.TransferredData() == body);
  client.Connect(false);
}

}  // namespace
}  // namespace corvane
