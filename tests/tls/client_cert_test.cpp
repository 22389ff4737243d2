// The client certificate in the handshake with real servers asking for one
// (tests/servers/tls/start); reading each store type and key kind is the
// selection's own test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <cstring>
#include <string>

#include "http/http_client.h"
#include "socket_tls_server.h"
#include "support/event_recorder.h"
#include "support/servers.h"
#include "tls/channel/cert_store.h"

namespace corvane {
namespace {

struct Store {
  int type;
  const char* file;  // under CORVANE_CLIENT_KEYS; "" for none
  const char* password;
  const char* subject;
};
constexpr Store kAlice{tls::cstPFXFile, "alice.pfx", "secret", "*"};

// Returns what selecting the subject returned.
int UseStore(HttpClient& client, const std::string& dir, const Store& s) {
  auto& certs = client.ClientCertificates();
  certs.SetStoreType(s.type);
  certs.SetPassword(s.password);
  EXPECT_EQ(certs.SetStore(dir + "/" + s.file), 0);
  return certs.SetSubject(s.subject);
}

TEST(ClientCertHandshake, ServerSeesTheSubjectOrRefuses) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  struct Case {
    const char* name;
    const char* portVar;
    Store store;
    int selected;      // what selecting the subject returns
    int code;          // of the request
    const char* seen;  // the subject nginx reports, the failure's text or a part of the refusal
  } cases[] = {
      {"pfx, TLS 1.2", "CORVANE_TLS_CLIENT12_PORT", kAlice, 0, 0, "CN=alice,O=Example,C=US"},
      {"pem, TLS 1.3", "CORVANE_TLS_CLIENT13_PORT", {tls::cstPEMKeyFile, "alice-pbes2.pem", "secret", "*"}, 0, 0,
       "CN=alice,O=Example,C=US"},
      // A key without a certificate goes out under the temporary one,
      // which only a server taking any certificate lets through.
      {"ppk, temporary certificate", "CORVANE_TLS_CLIENT_ANY_PORT", {tls::cstPPKFile, "alice-enc.ppk", "secret", "*"},
       0, 0, "CN=pem_cert"},
      // The server refuses; we say it asked.
      {"no certificate", "CORVANE_TLS_CLIENT_PORT", {tls::cstPFXFile, "", "", ""}, 0, 151,
       "No required SSL certificate was sent"},
      {"store that did not load", "CORVANE_TLS_CLIENT_PORT", {tls::cstPFXFile, "alice.pfx", "wrong", "*"}, 271, 271,
       "The certificate store could not be opened (0x80070056)."},
      {"certificate without its key", "CORVANE_TLS_CLIENT_PORT", {tls::cstP7BFile, "alice.p7b", "", "alice"}, 0, 273,
       "Could not acquire security credentials: error 0x8009030e."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CORVANE_SERVER_SETTING(port, c.portVar);
    HttpClient client;
    testing::EventRecorder events;
    client.SetEventSink(&events);
    client.SetTimeout(10);
    client.Config("SSLEnabledProtocols=0x3C00");  // TLS 1.2 and 1.3
    if (*c.store.file != '\0') {
      EXPECT_EQ(UseStore(client, dir, c.store), c.selected);
    }
    ASSERT_EQ(client.SetURL("https://localhost:" + port + "/"), 0);
    const int code = client.Action(http::actGet);
    std::string why = client.LastErrorText().str();
    for (const auto& e : events.events) {
      if (e.starts_with("Log") || e.starts_with("Error")) why += "\n  " + e;  // e.g. why a certificate was refused
    }
    ASSERT_EQ(code, c.code) << why;
    if (c.code == 0) {
      EXPECT_EQ(client.TransferredData(), c.seen);
      continue;
    }
    if (c.code == 151) {
      EXPECT_NE(client.TransferredData().find(c.seen), std::string::npos);
    } else {
      EXPECT_EQ(client.LastErrorText().str(), c.seen);
    }
    // Only the refusal by the server comes after a connection.
    EXPECT_EQ(events.Has("SSLStatus Client certificate requested from server."), c.code == 151);
    EXPECT_EQ(events.Has("Connected 0"), c.code == 151);
  }
}

// A TLS 1.3 server asking for the certificate after the handshake gets it
// from the same credential: the request comes with the response head.
TEST(ClientCertPostHandshake, CertificateGoesOutWhenTheServerAsksLater) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  testing::SocketTlsServer server([](int fd, SSL* ssl) {
    for (std::string line = "-"; !line.empty() && line != "\r\n";) line = testing::SocketTlsServer::ReadLine(ssl);
    SSL_set_verify(ssl, SSL_VERIFY_PEER, [](int, X509_STORE_CTX*) { return 1; });
    SSL_verify_client_post_handshake(ssl);
    SSL_write(ssl, "HTTP/1.1 200 OK\r\n", 17);
    // The certificate comes in while the client reads; no data follows it.
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    char c;
    for (pollfd p{fd, POLLIN, 0}; !SSL_get0_peer_certificate(ssl) && ::poll(&p, 1, 5000) == 1;) SSL_read(ssl, &c, 1);
    char name[256] = "none";
    if (X509* cert = SSL_get0_peer_certificate(ssl)) X509_NAME_oneline(X509_get_subject_name(cert), name, sizeof name);
    std::string rest = "Content-Length: " + std::to_string(strlen(name)) + "\r\nConnection: close\r\n\r\n" + name;
    SSL_write(ssl, rest.data(), static_cast<int>(rest.size()));
  });
  HttpClient client;
  client.SetTimeout(10);
  client.Config("SSLSecurityFlags=0x10");  // the in-test CA is nobody's root
  client.Config("SSLEnabledProtocols=0x3000");
  ASSERT_EQ(UseStore(client, dir, kAlice), 0);
  ASSERT_EQ(client.SetURL("https://localhost:" + std::to_string(server.Port()) + "/"), 0);
  ASSERT_EQ(client.Action(http::actGet), 0) << client.LastErrorText().str();
  EXPECT_EQ(client.TransferredData(), "/C=US/O=Example/CN=alice");
}

// Apache asks for the certificate only for /cert/, by a second handshake
// on the TLS 1.2 connection that already carries the request.
TEST(ClientCertRenegotiation, CertificateGoesOutInTheSecondHandshake) {
  CORVANE_SERVER_SETTING(dir, "CORVANE_CLIENT_KEYS");
  CORVANE_SERVER_SETTING(port, "CORVANE_TLS_RENEGOTIATE_PORT");
  struct Case {
    const char* name;
    bool certificate;
    bool renegotiation;
    int code;
    const char* body;
    std::string error;
  } cases[] = {
      {"certificate held", true, true, 0, "subject=CN=alice,O=Example,C=US\n", ""},
      // Apache ends the second handshake with a handshake_failure alert.
      {"no certificate", false, true, 276, "", "error during handshake[2]: 0x80090331 (sslv3 alert handshake failure)"},
      // It takes the no_renegotiation warning as the end and says so in an alert.
      {"renegotiation refused", true, false, 284, "", "error decrypting data (error 0x80090331)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HttpClient client;
    testing::EventRecorder events;
    client.SetEventSink(&events);
    client.SetTimeout(10);
    client.Config(std::string("SSLEnableRenegotiation=") + (c.renegotiation ? "true" : "false"));
    if (c.certificate) {
      ASSERT_EQ(UseStore(client, dir, kAlice), 0);
    }
    ASSERT_EQ(client.SetURL("https://localhost:" + port + "/cert/"), 0);
    EXPECT_EQ(client.Action(http::actGet), c.code) << client.LastErrorText().str();
    EXPECT_EQ(client.TransferredData(), c.body);
    EXPECT_EQ(events.Has("SSLStatus Renegotiate is disabled. Send NO_RENEGOTIATION alert message."),
              !c.renegotiation);
    if (c.code != 0) {
      EXPECT_EQ(client.LastErrorText().str(), c.error);
      EXPECT_TRUE(events.Has(std::string("Disconnected ") + std::to_string(c.code)));
      EXPECT_FALSE(events.Has(std::string("Connected ") + std::to_string(c.code)));
    }
  }
}

}  // namespace
}  // namespace corvane
