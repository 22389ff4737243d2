// TlsClient over real sockets against a scripted TLS server.
#include "tls/tls_client.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "socket_tls_server.h"
#include "support/event_recorder.h"

namespace corvane {
namespace {

using testing::SocketTlsServer;

struct TlsEvents : testing::EventRecorder {
  std::function<void(const std::string&)> onStatus;
  void SSLStatus(std::string& m) override {
    EventRecorder::SSLStatus(m);
    if (onStatus) onStatus(m);
  }
  void SSLServerAuthentication(std::string&, std::string&, std::string&, std::string& status, bool& a) override {
    events.push_back("SSLServerAuthentication " + status + (a ? " true" : " false"));
  }
};

class RecordingClient : public TlsClient {
 public:
  RecordingClient() {
    SetEventSink(&events);
    SetTimeout(10);
    Config("SSLSecurityFlags=0x10");  // the in-test CA is nobody's root
  }
  TlsEvents events;
  std::string data;

  bool readInto = false;  // take TLS data through ReadInto, into body
  std::string body;

  void DataIn(const char* d, int n, bool) override { data.append(d, static_cast<size_t>(n)); }
  int DoRead(int mode) override {
    char buf[3000];
    for (int n = 0, rc = 0; readInto && mode == rmNotify && TlsActive() && rc == 0;) {
      if ((rc = ReadInto(buf, sizeof buf, n)) == 10035) return 0;
      if (rc == 0) body.append(buf, static_cast<size_t>(n));
    }
    return TlsClient::DoRead(mode);
  }
  int Open(int port) {
    SetTlsEnabled(true);
    if (int rc = SetRemoteHost("localhost"); rc != 0) return rc;
    SetRemotePort(port);
    return ConnectAndWait();
  }
  int Send(std::string_view text) { return SendBlocking(text.data(), static_cast<int64_t>(text.size()), false, false); }
  bool WaitFor(const std::function<bool()>& done) { return WaitUntil(done) == 0; }
};

TEST(TlsClientSocket, ConnectionEventsOfATlsConnectionInOrder) {
  SocketTlsServer server([](int, SSL* ssl) {
    std::string line = SocketTlsServer::ReadLine(ssl);
    SSL_write(ssl, line.data(), static_cast<int>(line.size()));
    SocketTlsServer::ReadLine(ssl);  // until the client closes
  });
  RecordingClient c;
  ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
  EXPECT_TRUE(c.IsConnectionReady());
  // The milestones in order; the status texts between them are the channel's own.
  EXPECT_TRUE(c.events.InOrder({
      "SSLStatus Attempting to connect to server.",
      "ConnectionStatus Remote host connection complete. 0",
      "SSLStatus Starting secure channel handshake.",
      "SSLServerAuthentication OK true",
      "ConnectionStatus SSL handshake complete. 0",
      "Connected 0",
  }));
  ASSERT_EQ(c.Send("echo me\n"), 0);
  ASSERT_TRUE(c.WaitFor([&] { return c.data == "echo me\n"; }));
  c.Connect(false);
  EXPECT_FALSE(c.IsConnected());
}

// A certificate for another host comes in a renegotiation: by default the
// connection goes on; with the re-check (StrictMode) it fails.
TEST(TlsClientSocket, RenegotiatedCertificateIsCheckedAgainWhenAsked) {
  for (bool recheck : {false, true}) {
    std::string serverSaw;
    SocketTlsServer server(
        [&](int, SSL* ssl) {
          SocketTlsServer::ReadLine(ssl);
          SSL_use_certificate(ssl, tls::testing::TestPki::Get().otherHost.get());
          SSL_set_options(ssl, SSL_OP_NO_SESSION_RESUMPTION_ON_RENEGOTIATION);
          SSL_renegotiate(ssl);
          SSL_do_handshake(ssl);
          serverSaw = SocketTlsServer::ReadLine(ssl);  // the new handshake runs in here
          SSL_write(ssl, "renegotiated\n", 13);
          SocketTlsServer::ReadLine(ssl);
        },
        TLS1_2_VERSION);
    RecordingClient c;
    c.Tls().recheckCertificateOnRenegotiation = recheck;
    ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
    ASSERT_EQ(c.Send("hello\n"), 0);
    ASSERT_TRUE(c.WaitFor(
        [&] { return c.events.Count("SSLStatus Negotiated SSL parameters") == 2 || !c.IsConnected(); }));
    if (recheck) {
      EXPECT_FALSE(c.IsConnected());
      EXPECT_TRUE(c.events.Has("SSLStatus Server certificate verification failed. Aborting connection..."));
      continue;
    }
    ASSERT_EQ(c.Send("again\n"), 0);
    ASSERT_TRUE(c.WaitFor([&] { return c.data == "renegotiated\n"; })) << c.data;
    EXPECT_EQ(serverSaw, "again\n");
    EXPECT_EQ(c.events.Count("Connected "), 1);
    c.Connect(false);
  }
}

// The server's last records and plain bytes come after the handshake, or with
// its end while the connect still waits: none may be lost when TLS ends. A
// reader using ReadInto (a buffer smaller than a record) gets the records
// decrypted into it and the plain bytes by the ordinary read.
TEST(TlsClientSocket, CloseNotifyTurnsTheConnectionBackIntoPlainTcp) {
  std::string big(100000, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  struct Case {
    const char* name;
    bool withHandshakeEnd, readInto;
    int version;
  } cases[] = {{"after the handshake", false, false, 0},
               {"with the handshake's end", true, false, 0},
               {"read into, TLS 1.2", false, true, TLS1_2_VERSION},
               {"read into, TLS 1.3", false, true, TLS1_3_VERSION}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const std::string secure = k.readInto ? big : "secure\n";
    std::atomic<bool> sent{false};
    SocketTlsServer server(
        [&](int fd, SSL* ssl) {
          if (!k.withHandshakeEnd) SocketTlsServer::ReadLine(ssl);
          SSL_write(ssl, secure.data(), static_cast<int>(secure.size()));
          SSL_shutdown(ssl);
          testing::SendAll(fd, "plain after close\n");
          sent = true;
          testing::ReadToEnd(fd);
        },
        k.version);
    RecordingClient c;
    // Our last handshake flight is out: hold on until the server has sent
    // everything, so that it comes with the end of the handshake.
    if (k.withHandshakeEnd) {
      c.events.onStatus = [&](const std::string& m) {
        if (m.find("handshake bytes.") != std::string::npos) {
          while (!sent) std::this_thread::yield();
        }
      };
    }
    ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
    c.readInto = k.readInto;
    if (!k.withHandshakeEnd) {
      ASSERT_EQ(c.Send("go\n"), 0);
    }
    const std::string plain = (k.readInto ? "" : secure) + "plain after close\n";
    ASSERT_TRUE(c.WaitFor([&] { return c.data == plain; })) << c.data;
    EXPECT_EQ(c.body, k.readInto ? big : "");
    EXPECT_TRUE(c.events.Has("SSLStatus Server signaled end of session."));
    EXPECT_FALSE(c.TlsActive());
    EXPECT_TRUE(c.IsConnected());
    // Nothing meant for the TLS connection goes out in the clear.
    int accepted = -1;
    EXPECT_EQ(c.SendPlain("GET /", 5, accepted), 10057);
    EXPECT_EQ(accepted, 0);
    c.Connect(false);
  }
}

TEST(TlsClientSocket, CloseWithPendingCiphertextWaitsUnderLinger) {
  SocketTlsServer server([](int fd, SSL*) {
    // Reads nothing until the client is gone, so the socket fills up.
    pollfd p{fd, POLLRDHUP, 0};
    ::poll(&p, 1, 10000);
  });
  RecordingClient c;
  c.Config("OutBufferSize=8192");
  ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
  std::string big(8 << 20, 'x');
  int accepted = 0;
  ASSERT_EQ(c.SendPlain(big.data(), static_cast<int>(big.size()), accepted), 10035);
  EXPECT_GT(accepted, 0);
  EXPECT_EQ(c.Connect(false), 10035);
  EXPECT_EQ(c.LastErrorText().str(), "Operation would block (to force disconnection, set Linger to FALSE).");
  EXPECT_TRUE(c.IsConnected());
  c.Config("Linger=false");
  EXPECT_EQ(c.Connect(false), 0);
  EXPECT_FALSE(c.IsConnected());
}

// A layer above fails a request and then closes: the close_notify on the way
// out must not wipe the failure's message (a plain TCP close keeps it too).
TEST(TlsClientSocket, CloseAfterAFailureKeepsItsMessage) {
  SocketTlsServer server([](int, SSL* ssl) { SocketTlsServer::ReadLine(ssl); });
  RecordingClient c;
  ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
  c.SetError(162, "HTTP/2 Protocol Error: Stream reset.");
  c.SetLastErrorCode(162);
  EXPECT_EQ(c.Connect(false), 0);
  EXPECT_FALSE(c.IsConnected());
  EXPECT_EQ(c.LastErrorText().str(), "HTTP/2 Protocol Error: Stream reset.");
  EXPECT_EQ(c.LastErrorCode(), 162);
}

// With ReuseSSLSession the next connection resumes the session, unless a
// changed setting made a new credential. Both servers share one context, so
// the second knows the first one's sessions; TLS 1.2 settles the session
// within the handshake.
TEST(TlsClientSocket, SessionResumedForTheSameSettingsWithReuse) {
  const tls::SslCtxPtr context = SocketTlsServer::Context(TLS1_2_VERSION);
  auto serve = [&](int fd, bool* resumed) {
    tls::SslPtr ssl(SSL_new(context.get()));
    SSL_set_fd(ssl.get(), fd);
    if (SSL_accept(ssl.get()) != 1) return;
    if (resumed != nullptr) *resumed = SSL_session_reused(ssl.get()) == 1;
    SocketTlsServer::ReadLine(ssl.get());
  };
  for (bool sameSettings : {true, false}) {
    bool resumed = !sameSettings;
    SocketTlsServer first([&](int fd, SSL*) { serve(fd, nullptr); }, 0, true);
    RecordingClient c;
    c.Config("ReuseSSLSession=true");
    ASSERT_EQ(c.Open(first.Port()), 0);
    c.Connect(false);
    if (!sameSettings) c.Config("SSLCipherStrength=128");
    {
      SocketTlsServer second([&](int fd, SSL*) { serve(fd, &resumed); }, 0, true);
      ASSERT_EQ(c.Open(second.Port()), 0);
      c.Connect(false);
    }
    EXPECT_EQ(resumed, sameSettings);
  }
}

// A peer that leaves after the client hello, and a plain-text answer (a
// plain HTTP server on the port): its first bytes read as a record of 20 KB
// that would never come, and the server keeps the connection open, so only
// that check ends the wait before Timeout.
TEST(TlsClientSocket, PeerThatIsNoTlsServerFailsTheHandshake) {
  struct Case {
    const char* answer;  // null: close
    const char* text;
  } cases[] = {
      {nullptr, "Server disconnected before handshake completion [0xffffffff]."},
      {"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n",
       "error during handshake[2]: 0x80090326 (the server's answer is not TLS (\"HTTP/1.1 400 Bad\"))"},
  };
  for (const Case& c : cases) {
    SocketTlsServer server(
        [&](int fd, SSL*) {
          char buf[4096];
          ::recv(fd, buf, sizeof buf, 0);  // the client hello
          if (c.answer != nullptr) {
            testing::SendAll(fd, c.answer);
            testing::ReadToEnd(fd);
          }
        },
        0, true);
    RecordingClient client;
    client.SetTimeout(60);
    EXPECT_EQ(client.Open(server.Port()), 276);
    EXPECT_EQ(client.LastErrorText().str(), c.text);
    EXPECT_TRUE(client.events.Has(std::string("Error 276 ") + c.text));
    EXPECT_TRUE(client.events.Has("ConnectionStatus SSL handshake failed."));
    EXPECT_TRUE(client.events.Has("Connected 276"));
    EXPECT_FALSE(client.IsConnectionReady());
  }
}

}  // namespace
}  // namespace corvane
