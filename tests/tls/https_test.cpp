// HttpClient over https against nginx (tests/servers/tls/start).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "http/http_client.h"
#include "socket_tls_server.h"
#include "support/event_recorder.h"
#include "support/servers.h"

namespace corvane {
namespace {

using testing::ReadFile;

struct CertificateEvents : testing::EventRecorder {
  std::optional<bool> answer;  // the handler's decision, if it makes one
  void SSLServerAuthentication(std::string&, std::string& subject, std::string& issuer, std::string& status,
                               bool& accept) override {
    events.push_back("SSLServerAuthentication " + status + " | " + subject + " | " + issuer + " | " +
                     (accept ? "true" : "false"));
    if (answer) accept = *answer;
  }
};

struct Https {
  HttpClient client;
  CertificateEvents events;
  Https() {
    client.SetEventSink(&events);
    client.SetTimeout(10);
  }
  int Get(const std::string& port, const char* path = "/data.json") {
    if (int rc = client.SetURL("https://localhost:" + port + path); rc != 0) return rc;
    return client.Action(http::actGet);
  }
};

// The policy texts behind each status are the error table's.
TEST(Https, FaultyCertificateFailsWithItsStatus) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_EXPIRED_PORT");
  Https h;
  EXPECT_EQ(h.Get(port), 276);
  EXPECT_EQ(h.client.LastErrorText().str(), "Server certificate verification failed. Connection aborted.");
  EXPECT_TRUE(h.events.Has("SSLServerAuthentication [0x800b0101] A "));
  EXPECT_TRUE(h.events.Has("Error 280 error verifying server certificate: 0x800b0101"));
  EXPECT_TRUE(h.events.Has("SSLStatus Server certificate verification failed. Aborting connection..."));
  EXPECT_FALSE(h.events.Has("ConnectionStatus SSL handshake complete."));
}

// The handler may accept a certificate the check refused; one accepted in
// advance skips the check and the event, and only that one.
TEST(Https, CertificateAcceptedByTheHandlerOrInAdvance) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_SELFSIGNED_PORT");
  CORVANE_SERVER_SETTING(expired, "CORVANE_TLS_EXPIRED_PORT");
  CORVANE_SERVER_SETTING(root, "CORVANE_TLS_ROOT");
  Https byHandler;
  byHandler.events.answer = true;
  ASSERT_EQ(byHandler.Get(port), 0) << byHandler.client.LastErrorText().str();
  EXPECT_EQ(byHandler.client.TransferredData().size(), 1024u);
  EXPECT_TRUE(byHandler.events.Has("SSLServerAuthentication [0x800b0109]"));
  Https inAdvance;
  ASSERT_EQ(inAdvance.client.SetSSLAcceptServerCertEncoded(ReadFile(root + "/../pki/selfsigned.pem")), 0);
  ASSERT_EQ(inAdvance.Get(port), 0) << inAdvance.client.LastErrorText().str();
  EXPECT_FALSE(inAdvance.events.Has("SSLServerAuthentication"));
  EXPECT_EQ(inAdvance.Get(expired), 276);
}

// ParseSSLServerCert: a look at the certificate before the handshake ends;
// unless the handler accepts it there the connection is aborted.
TEST(Https, EarlyLookAtTheCertificate) {
  const std::pair<const char*, bool> cases[] = {
      {"CORVANE_TLS_TLS12_PORT", false}, {"CORVANE_TLS_TLS12_PORT", true}, {"CORVANE_TLS_TLS13_PORT", true}};
  for (const auto& [portVar, accept] : cases) {
    SCOPED_TRACE(std::string(portVar) + (accept ? " accepted" : ""));
    CORVANE_SERVER_SETTING(port, portVar);
    Https h;
    h.client.Config("ParseSSLServerCert=true");
    h.client.Config("SSLEnabledProtocols=0x3C00");
    if (accept) h.events.answer = true;
    ASSERT_EQ(h.Get(port), accept ? 0 : 276) << h.client.LastErrorText().str();
    EXPECT_TRUE(h.events.InOrder({"SSLServerAuthentication Parsed | CN=localhost, O=Example, C=US",
                                  accept ? "SSLServerAuthentication OK" : "SSLStatus Server certificate verification"}));
    EXPECT_EQ(h.events.Has("SSLServerAuthentication OK"), accept);
  }
}

TEST(Https, AlpnChoiceOfTheServerIsKept) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_H2_PORT");
  Https h;
  h.client.Config("ALPNExtension=http/1.1");
  ASSERT_EQ(h.Get(port, "/alpn"), 0) << h.client.LastErrorText().str();
  EXPECT_EQ(h.client.NegotiatedAlpn(), "http/1.1");
  EXPECT_EQ(h.client.TransferredData(), "TLSv1.2 HTTP/1.1\n");
}

TEST(Https, KeepAliveRequestsShareOneHandshake) {
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_VALID_PORT");
  CORVANE_SERVER_SETTING(root, "CORVANE_TLS_ROOT");
  Https h;
  h.client.SetKeepAlive(true);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(h.Get(port), 0) << i;
    EXPECT_EQ(h.client.TransferredData(), ReadFile(root + "/data.json"));
  }
  h.client.PostData() = "a=1&b=2";
  ASSERT_EQ(h.client.SetURL("https://localhost:" + port + "/post"), 0);
  ASSERT_EQ(h.client.Action(http::actPost), 0) << h.client.LastErrorText().str();
  EXPECT_EQ(h.client.TransferredData(), "posted\n");
  EXPECT_EQ(h.events.Count("ConnectionStatus SSL handshake complete."), 1);
}

// A body sent only once the head has been read takes the direct read: its
// records are decrypted straight into TransferredData.
TEST(Https, BodyAfterTheHeadIsDecryptedIntoTransferredData) {
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
