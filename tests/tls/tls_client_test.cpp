// TlsClient over real sockets: the connection events of a TLS connection,
// renegotiation, close_notify and a peer that leaves during the handshake.
#include "tls/tls_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "socket_tls_server.h"
#include "support/servers.h"
#include "tls/channel/sec_status.h"

namespace corvane {
namespace {

using testing::SocketTlsServer;

// Records what the layers above would see.
class RecordingClient : public TlsClient, public RESTEvents {
 public:
  RecordingClient() {
    SetEventSink(this);
    SetTimeout(10);
  }
  std::string data;
  std::vector<std::string> events;
  int authentications = 0;
  bool acceptOverride = false;
  bool accept = false;

  void DataIn(const char* d, int n, bool) override { data.append(d, static_cast<size_t>(n)); }
  std::function<void(const std::string&)> onStatus;
  void SSLStatus(std::string& m) override {
    events.push_back("SSLStatus " + m);
    if (onStatus) onStatus(m);
  }
  void Connected(int& code, std::string& d) override { events.push_back("Connected " + std::to_string(code) + " " + d); }
  void ConnectionStatus(std::string& e, int& code, std::string&) override {
    events.push_back("ConnectionStatus " + e + " " + std::to_string(code));
  }
  void Disconnected(int& code, std::string&) override { events.push_back("Disconnected " + std::to_string(code)); }
  void Error(int& code, std::string& d) override { events.push_back("Error " + std::to_string(code) + " " + d); }
  void SSLServerAuthentication(std::string&, std::string&, std::string&, std::string& status, bool& a) override {
    ++authentications;
    events.push_back("SSLServerAuthentication " + status + (a ? " true" : " false"));
    if (acceptOverride) a = accept;
  }

  int Open(int port) {
    SetTlsEnabled(true);
    if (int rc = SetRemoteHost("localhost"); rc != 0) return rc;
    SetRemotePort(port);
    return ConnectAndWait();
  }
  int Send(std::string_view text) { return SendBlocking(text.data(), static_cast<int64_t>(text.size()), false, false); }
  bool WaitFor(const std::function<bool()>& done) { return WaitUntil(done) == 0; }
  bool Has(const std::string& prefix) const { return Count(prefix) > 0; }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& e : events) n += e.compare(0, prefix.size(), prefix) == 0;
    return n;
  }
  size_t IndexOf(const std::string& prefix) const {
    for (size_t i = 0; i < events.size(); ++i) {
      if (events[i].compare(0, prefix.size(), prefix) == 0) return i;
    }
    return events.size();
  }
};

TEST(TlsClientSocket, ConnectionEventsOfATlsConnectionInOrder) {
  SocketTlsServer server([](int, SSL* ssl) {
    std::string line = SocketTlsServer::ReadLine(ssl);
    SSL_write(ssl, line.data(), static_cast<int>(line.size()));
    SocketTlsServer::ReadLine(ssl);  // until the client closes
  });
  RecordingClient c;
  c.Config("SSLSecurityFlags=0x10");  // the in-test CA is nobody's root
  ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
  EXPECT_TRUE(c.IsConnectionReady());
  const char* order[] = {
      "SSLStatus Attempting to connect to server.",
      "ConnectionStatus Remote host connection complete. 0",
      "SSLStatus Socket connection established.",
      "SSLStatus Starting secure channel handshake.",
      "SSLStatus Enabling TLS versions: TLS1.2 TLS1.1 TLS1.0 ",
      "SSLStatus Cipher Suites:\r\n    ",
      "SSLStatus Sending ",
      "SSLStatus Receiving ",
      "SSLStatus Selected TLS Version: TLS1.2",
      "SSLStatus Selected Cipher Suite: TLS_",
      "SSLServerAuthentication OK true",
      "SSLStatus Negotiated SSL parameters: Protocol: TLS1.2 ",
      "ConnectionStatus SSL handshake complete. 0",
      "Connected 0 OK",
  };
  size_t last = 0;
  for (const char* e : order) {
    size_t at = c.IndexOf(e);
    ASSERT_LT(at, c.events.size()) << "missing: " << e;
    EXPECT_GE(at, last) << e;
    last = at;
  }
  ASSERT_EQ(c.Send("echo me\n"), 0);
  ASSERT_TRUE(c.WaitFor([&] { return c.data == "echo me\n"; }));
  c.Connect(false);
  EXPECT_FALSE(c.IsConnected());
}

TEST(TlsClientSocket, RefusedRenegotiationAnswersWithAnAlertAndReadsOn) {
  unsigned long serverSaw = 0;
  {
    SocketTlsServer server(
        [&](int, SSL* ssl) {
          SocketTlsServer::ReadLine(ssl);
          SSL_renegotiate(ssl);
          SSL_do_handshake(ssl);  // sends the hello request
          SSL_write(ssl, "after\n", 6);
          SocketTlsServer::ReadLine(ssl);  // meets the alert
          serverSaw = ERR_GET_REASON(ERR_peek_last_error());
        },
        TLS1_2_VERSION);
    RecordingClient c;
  c.Config("SSLSecurityFlags=0x10");
  c.Config("SSLEnableRenegotiation=false");
  ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
  ASSERT_EQ(c.Send("hello\n"), 0);
  ASSERT_TRUE(c.WaitFor([&] { return c.data == "after\n"; })) << c.LastErrorText().str();
  EXPECT_TRUE(c.Has("SSLStatus Renegotiate is disabled. Send NO_RENEGOTIATION alert message."));
  // (The server then fails the session with a fatal alert; that may already
  // have arrived.)
  }
  // The library's server gives up on a refused renegotiation; what matters
  // here is that it was told so.
  EXPECT_EQ(serverSaw, static_cast<unsigned long>(SSL_R_NO_RENEGOTIATION));
}

TEST(TlsClientSocket, AcceptedRenegotiationRunsASecondHandshake) {
  SocketTlsServer server(
      [](int, SSL* ssl) {
        SocketTlsServer::ReadLine(ssl);
        SSL_renegotiate(ssl);
        SSL_do_handshake(ssl);
        std::string again = SocketTlsServer::ReadLine(ssl);  // the new handshake runs in here
        std::string reply = SSL_renegotiate_pending(ssl) ? "still pending\n" : "renegotiated " + again;
        SSL_write(ssl, reply.data(), static_cast<int>(reply.size()));
        SocketTlsServer::ReadLine(ssl);
      },
      TLS1_2_VERSION);
  RecordingClient c;
  c.Config("SSLSecurityFlags=0x10");
  ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
  ASSERT_EQ(c.Send("hello\n"), 0);
  ASSERT_TRUE(c.WaitFor([&] { return c.Count("SSLStatus Negotiated SSL parameters") == 2; }));
  ASSERT_EQ(c.Send("again\n"), 0);
  ASSERT_TRUE(c.WaitFor([&] { return c.data == "renegotiated again\n"; })) << c.data;
  EXPECT_EQ(c.Count("Connected "), 1);
  c.Connect(false);
}

// The server swaps in a certificate for another host and renegotiates. By
// default the connection goes on; with the re-check (StrictMode) the new
// certificate is decided like the first and the connection fails.
TEST(TlsClientSocket, RenegotiatedCertificateIsCheckedAgainWhenAsked) {
  for (bool recheck : {false, true}) {
    std::string serverSaw;
    {
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
      c.Config("SSLSecurityFlags=0x10");
      c.Tls().recheckCertificateOnRenegotiation = recheck;
      ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
      ASSERT_EQ(c.Send("hello\n"), 0);
      ASSERT_TRUE(c.WaitFor([&] { return c.Count("SSLStatus Negotiated SSL parameters") == 2 || !c.IsConnected(); }));
      if (recheck) {
        EXPECT_FALSE(c.IsConnected());
        EXPECT_TRUE(c.Has("SSLStatus Server certificate verification failed. Aborting connection..."));
      } else {
        ASSERT_EQ(c.Send("again\n"), 0);
        ASSERT_TRUE(c.WaitFor([&] { return c.data == "renegotiated\n"; })) << c.data;
        EXPECT_EQ(serverSaw, "again\n");
        c.Connect(false);
      }
    }
  }
}

// The server's last records and the plain bytes behind them come after the
// handshake, or in the same read as its end while the connect still waits
// and the layer above takes nothing: that plaintext must not be lost when
// TLS ends.
TEST(TlsClientSocket, CloseNotifyTurnsTheConnectionBackIntoPlainTcp) {
  for (bool withHandshakeEnd : {false, true}) {
    SCOPED_TRACE(withHandshakeEnd ? "with the handshake's end" : "after the handshake");
    std::atomic<bool> sent{false};
    SocketTlsServer server([&](int fd, SSL* ssl) {
      if (!withHandshakeEnd) SocketTlsServer::ReadLine(ssl);
      SSL_write(ssl, "secure\n", 7);
      SSL_shutdown(ssl);
      ::send(fd, "plain after close\n", 18, MSG_NOSIGNAL);
      sent = true;
      char buf[64];
      ::recv(fd, buf, sizeof buf, 0);  // our close_notify
      ::recv(fd, buf, sizeof buf, 0);  // until the client closes
    });
    RecordingClient c;
    c.Config("SSLSecurityFlags=0x10");
    // Our last handshake flight is out: hold on until the server has sent
    // everything, so that it comes with the end of the handshake.
    if (withHandshakeEnd) {
      c.onStatus = [&](const std::string& m) {
        if (m.find("handshake bytes.") != std::string::npos) {
          while (!sent) std::this_thread::yield();
        }
      };
    }
    ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
    if (!withHandshakeEnd) {
      ASSERT_EQ(c.Send("go\n"), 0);
    }
    ASSERT_TRUE(c.WaitFor([&] { return c.data == "secure\nplain after close\n"; })) << c.data;
    EXPECT_TRUE(c.Has("SSLStatus Server signaled end of session."));
    EXPECT_FALSE(c.TlsActive());
    EXPECT_TRUE(c.IsConnected());
    // Nothing meant for the TLS connection goes out in the clear.
    int accepted = -1;
    EXPECT_EQ(c.SendPlain("GET /", 5, accepted), 10057);
    EXPECT_EQ(accepted, 0);
    c.Connect(false);
  }
}

// A reader that takes the body through ReadInto, as the HTTP layer does:
// records are decrypted straight into its buffer until the server's
// close_notify, after which the ordinary read delivers the plain bytes.
class DirectReader : public RecordingClient {
 public:
  bool direct = false;
  std::string body;
  int DoRead(int mode) override {
    // Plain bytes after the close_notify take the ordinary read path.
    if (direct && mode == rmNotify) {
      char buf[3000];  // smaller than a record: the library keeps the rest
      while (TlsActive()) {
        int n = 0;
        int rc = ReadInto(buf, sizeof buf, n);
        if (rc == 10035) return 0;
        if (rc != 0) break;
        body.append(buf, static_cast<size_t>(n));
      }
    }
    return RecordingClient::DoRead(mode);
  }
};

TEST(TlsClientSocket, ReadIntoDecryptsIntoTheReadersBufferUntilTheEndOfTls) {
  std::string big(100000, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  for (int version : {TLS1_2_VERSION, TLS1_3_VERSION}) {
    SCOPED_TRACE(version);
    SocketTlsServer server(
        [&](int fd, SSL* ssl) {
          SSL_write(ssl, "head\n", 5);
          SocketTlsServer::ReadLine(ssl);  // the reader switched over
          SSL_write(ssl, big.data(), static_cast<int>(big.size()));
          SSL_shutdown(ssl);
          ::send(fd, "after\n", 6, MSG_NOSIGNAL);
          char buf[64];
          ::recv(fd, buf, sizeof buf, 0);
          ::recv(fd, buf, sizeof buf, 0);
        },
        version);
    DirectReader c;
    c.Config("SSLSecurityFlags=0x10");
    ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
    ASSERT_TRUE(c.WaitFor([&] { return c.data == "head\n"; })) << c.data;
    c.direct = true;
    ASSERT_EQ(c.Send("go\n"), 0);
    ASSERT_TRUE(c.WaitFor([&] { return c.data == "head\nafter\n"; })) << c.data;
    EXPECT_EQ(c.body, big);
    EXPECT_FALSE(c.TlsActive());
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
  c.Config("SSLSecurityFlags=0x10");
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
  SocketTlsServer server([](int fd, SSL* ssl) { SocketTlsServer::ReadLine(ssl); });
  RecordingClient c;
  c.Config("SSLSecurityFlags=0x10");
  ASSERT_EQ(c.Open(server.Port()), 0) << c.LastErrorText().str();
  c.SetError(162, "HTTP/2 Protocol Error: Stream reset.");
  c.SetLastErrorCode(162);
  EXPECT_EQ(c.Connect(false), 0);
  EXPECT_FALSE(c.IsConnected());
  EXPECT_EQ(c.LastErrorText().str(), "HTTP/2 Protocol Error: Stream reset.");
  EXPECT_EQ(c.LastErrorCode(), 162);
}

TEST(TlsClientSocket, PeerLeavingDuringTheHandshakeFailsTheConnection) {
  SocketTlsServer server(
      [](int fd, SSL*) {
        char buf[512];
        ::recv(fd, buf, sizeof buf, 0);  // the client hello, then goodbye
      },
      0, true);
  RecordingClient c;
  EXPECT_EQ(c.Open(server.Port()), 276);
  EXPECT_EQ(c.LastErrorText().str(), "Server disconnected before handshake completion [0xffffffff].");
  EXPECT_TRUE(c.Has("Error 276 Server disconnected before handshake completion [0xffffffff]."));
  EXPECT_TRUE(c.Has("ConnectionStatus SSL handshake failed."));
  EXPECT_TRUE(c.Has("Connected 276"));
  EXPECT_FALSE(c.IsConnectionReady());
}

// A plain-text answer to the client hello (a plain HTTP server on the port)
// fails the handshake as soon as it arrives: its first bytes read as a
// record of 20 KB that would never come. The server keeps the connection
// open, so only the check ends the wait before Timeout.
TEST(TlsClientSocket, PlainTextAnswerFailsTheHandshakeAtOnce) {
  SocketTlsServer server(
      [](int fd, SSL*) {
        char buf[4096];
        ::recv(fd, buf, sizeof buf, 0);
        const char answer[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
        ::send(fd, answer, sizeof answer - 1, MSG_NOSIGNAL);
        while (::recv(fd, buf, sizeof buf, 0) > 0) {
        }
      },
      0, true);
  RecordingClient c;
  c.SetTimeout(60);
  EXPECT_EQ(c.Open(server.Port()), 276);
  EXPECT_EQ(c.LastErrorText().str(),
            "error during handshake[2]: 0x80090326 (the server's answer is not TLS (\"HTTP/1.1 400 Bad\"))");
  EXPECT_FALSE(c.IsConnectionReady());
}

// A SHA-1 signature is refused with the bad-signature status, which no
// SSLSecurityFlags bit lets pass; the handler's answer still decides.
TEST(TlsClientSocket, WeakCertificateIsRefusedUnlessTheHandlerAccepts) {
  for (bool accept : {false, true}) {
    SocketTlsServer server([](int, SSL* ssl) { SocketTlsServer::ReadLine(ssl); }, 0, false,
                           tls::testing::TestPki::Get().sha1Signed.get());
    RecordingClient c;
    c.Config("SSLSecurityFlags=0x800000FF");
    c.acceptOverride = true;
    c.accept = accept;
    EXPECT_EQ(c.Open(server.Port()), accept ? 0 : 276) << c.LastErrorText().str();
    EXPECT_TRUE(c.Has("SSLServerAuthentication [0x80096004] The signature of the certificate cannot be verified. false"));
    c.Connect(false);
  }
}

TEST(TlsClientSocket, CredentialKeptForTheSameSettingsWithReuse) {
  for (int round = 0; round < 2; ++round) {
    SocketTlsServer first([](int, SSL* ssl) { SocketTlsServer::ReadLine(ssl); });
    SocketTlsServer second([](int, SSL* ssl) { SocketTlsServer::ReadLine(ssl); });
    RecordingClient c;
    c.Config("SSLSecurityFlags=0x10");
    c.Config("ReuseSSLSession=true");
    ASSERT_EQ(c.Open(first.Port()), 0);
    auto credential = c.Credential();
    c.Connect(false);
    if (round == 1) c.Config("SSLCipherStrength=128");
    ASSERT_EQ(c.Open(second.Port()), 0);
    EXPECT_EQ(c.Credential() == credential, round == 0);
    c.Connect(false);
  }
}

TEST(TlsClientConfig, UnknownProviderFailsCredentialAcquisition) {
  RecordingClient c;
  c.Config("SSLProvider=Nobody's Provider");
  EXPECT_EQ(c.Open(443), 273);
  EXPECT_EQ(c.LastErrorText().str(), "Could not acquire security credentials: error 0x80090305.");
}

}  // namespace
}  // namespace corvane
