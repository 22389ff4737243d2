#include "tls/channel/tls_channel.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

#include "handshake_harness.h"
#include "tls/channel/tls_errors.h"
#include "tls/channel/handshake_reader.h"

namespace corvane::tls {
namespace {

using testing::Credentials;
using testing::DecryptAll;
using testing::MemoryServer;
using testing::RunHandshake;
using testing::TestPki;

TEST(TlsChannel, HandshakeCompletesAndCarriesDataBothWays) {
  struct Case {
    uint32_t protocols;
    int serverMax;
    int expectVersion;
  } cases[] = {{0x3FC0, 0, TLS1_3_VERSION},
               {0x0C00, 0, TLS1_2_VERSION},
               {0x0FC0, 0, TLS1_2_VERSION},  // the default bits
               {0x3FC0, TLS1_2_VERSION, TLS1_2_VERSION}};
  std::string big(100000, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.protocols);
    MemoryServer server(MemoryServer::Versions(0, c.serverMax));
    TlsChannel channel;
    std::string rx;
    auto run = RunHandshake(channel, Credentials(c.protocols), server, rx);
    ASSERT_EQ(run.status, kSecEOk) << StatusHex(run.status) << " " << channel.LibraryError();
    EXPECT_TRUE(channel.Established());
    EXPECT_EQ(SSL_version(server.Ssl()), c.expectVersion);
    std::string records;
    ASSERT_EQ(channel.Encrypt("GET / HTTP/1.1\r\n\r\n", records), kSecEOk);
    server.Receive(records);
    EXPECT_EQ(server.Received(), "GET / HTTP/1.1\r\n\r\n");
    server.Write(big);
    rx += server.TakeOutput();
    std::string plain;
    EXPECT_EQ(DecryptAll(channel, rx, plain), kSecEOk);
    EXPECT_EQ(plain, big);
  }
}

// The whole server flight arrives one byte per read: every read before a
// record is whole must wait without consuming or failing.
TEST(TlsChannel, HandshakeSplitByteByByteWaitsForTheRest) {
  for (uint32_t protocols : {0x0C00u, 0x3000u}) {
    MemoryServer server(MemoryServer::Options{});
    TlsChannel channel;
    std::string rx;
    auto run = RunHandshake(channel, Credentials(protocols), server, rx, {}, 1);
    ASSERT_EQ(run.status, kSecEOk) << StatusHex(run.status);
    EXPECT_GT(run.incompleteSteps, 100);
    server.Write("after the split handshake");
    rx += server.TakeOutput();
    std::string plain;
    EXPECT_EQ(DecryptAll(channel, rx, plain), kSecEOk);
    EXPECT_EQ(plain, "after the split handshake");
  }
}

TEST(TlsChannel, IncompleteRecordIsNotConsumed) {
  MemoryServer server(MemoryServer::Options{});
  TlsChannel channel;
  std::string rx;
  ASSERT_EQ(RunHandshake(channel, Credentials(), server, rx).status, kSecEOk);
  std::string tickets;
  DecryptAll(channel, rx, tickets);
  server.Write("payload");
  std::string record = server.TakeOutput();
  for (size_t cut = 0; cut < record.size(); ++cut) {
    size_t consumed = 99;
    std::string plain, token;
    EXPECT_EQ(channel.Decrypt(std::string_view(record).substr(0, cut), consumed, plain, token),
              kSecEIncompleteMessage);
    EXPECT_EQ(consumed, 0u);
    EXPECT_TRUE(plain.empty());
  }
  size_t consumed = 0;
  std::string plain, token;
  EXPECT_EQ(channel.Decrypt(record + "\x17\x03", consumed, plain, token), kSecEOk);
  EXPECT_EQ(consumed, record.size());
  EXPECT_EQ(plain, "payload");
}

// Plaintext lands in the reader's buffer of any size; a record read in
// part stays with the library (also for Decrypt), and the input buffer may
// be reused as soon as a call returns: the library keeps no view of it.
TEST(TlsChannel, DecryptIntoFillsTheReadersBufferOfAnySize) {
  struct Case {
    uint32_t protocols;
    size_t room;
  };
  const Case cases[] = {{0x0C00, 1}, {0x0C00, 7}, {0x0C00, 16384}, {0x0C00, 100000},
                        {0x3000, 1}, {0x3000, 5000}, {0x3000, 1 << 20}};
  std::string big(100000, 'x');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 26);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.protocols) + " room " + std::to_string(c.room));
    MemoryServer server(MemoryServer::Options{});
    TlsChannel channel;
    std::string rx;
    ASSERT_EQ(RunHandshake(channel, Credentials(c.protocols), server, rx).status, kSecEOk);
    server.Write(big);
    rx += server.TakeOutput();
    std::string got, out(c.room, '\0');
    bool viaDecrypt = false;
    for (int guard = 0; got.size() < big.size() && guard < 200000; ++guard) {
      size_t consumed = 0, produced = 0;
      std::string token;
      uint32_t st;
      if (viaDecrypt) {
        st = channel.Decrypt(rx, consumed, got, token);
      } else {
        st = channel.DecryptInto(rx, consumed, out.data(), out.size(), produced, token);
        got.append(out.data(), produced);
      }
      ASSERT_EQ(st, kSecEOk) << StatusHex(st);
      // The bytes just used are scribbled over, as a reused buffer would be.
      std::fill(rx.begin(), rx.begin() + static_cast<long>(consumed), '\0');
      rx.erase(0, consumed);
      viaDecrypt = !viaDecrypt && got.size() == 3;  // once: Decrypt finishes a record begun by DecryptInto
    }
    EXPECT_EQ(got, big);
    EXPECT_TRUE(rx.empty());
    size_t consumed = 0, produced = 0;
    std::string token;
    EXPECT_EQ(channel.DecryptInto(rx, consumed, out.data(), out.size(), produced, token), kSecEIncompleteMessage);
  }
}

TEST(TlsChannel, DecryptIntoStopsBeforeAHandshakeRecordAndAtTheEnd) {
  MemoryServer server(MemoryServer::Versions(0, TLS1_2_VERSION));
  TlsChannel channel;
  std::string rx;
  ASSERT_EQ(RunHandshake(channel, Credentials(0x0C00), server, rx).status, kSecEOk);
  server.Write("data");
  rx += server.TakeOutput();
  const size_t dataRecord = rx.size();
  rx += std::string("\x16\x03\x03\x00\x04\x00\x00\x00\x00", 9);  // hello request
  char out[64];
  size_t consumed = 0, produced = 0;
  std::string token;
  ASSERT_EQ(channel.DecryptInto(rx, consumed, out, sizeof out, produced, token), kSecEOk);
  EXPECT_EQ(std::string(out, produced), "data");
  EXPECT_EQ(consumed, dataRecord);
  rx.erase(0, consumed);
  EXPECT_EQ(channel.DecryptInto(rx, consumed, out, sizeof out, produced, token), kSecIRenegotiate);
  EXPECT_EQ(consumed, 0u);
  SSL_shutdown(server.Ssl());
  std::string closing = server.TakeOutput();
  EXPECT_EQ(channel.DecryptInto(closing, consumed, out, sizeof out, produced, token), kSecIContextExpired);
}

TEST(TlsChannel, AlpnOffersNamesInTheOrderGiven) {
  MemoryServer server(MemoryServer::Alpn("h2"));
  TlsChannel channel;
  std::string rx;
  auto run = RunHandshake(channel, Credentials(0x0C00), server, rx, AlpnWireList("h2,http/1.1"));
  ASSERT_EQ(run.status, kSecEOk);
  EXPECT_EQ(server.OfferedAlpn(), std::string("\x02h2\x08http/1.1"));
  EXPECT_EQ(channel.NegotiatedAlpn(), "h2");
  // TLS 1.2 carries the choice in the plain server hello.
  ServerHelloInfo hello;
  ASSERT_TRUE(ReadServerHello(run.firstServerFlight, hello));
  EXPECT_EQ(hello.alpn, "h2");
}

TEST(TlsChannel, EmptyAlpnSettingSendsNoExtension) {
  MemoryServer server(MemoryServer::Alpn("h2"));
  TlsChannel channel;
  std::string rx;
  ASSERT_EQ(RunHandshake(channel, Credentials(), server, rx, AlpnWireList("")).status, kSecEOk);
  EXPECT_FALSE(server.AlpnCallbackRan());
  EXPECT_EQ(channel.NegotiatedAlpn(), "");
}

// Credentials as a system whose policy sets the given security level would
// give them (-1: this system's own).
std::shared_ptr<TlsCredentials> CredentialsAtLevel(uint32_t bits, int level) {
  auto creds = Credentials(bits);
  if (level >= 0) SSL_CTX_set_security_level(creds->Context(), level);
  return creds;
}

int SystemSecurityLevel() {
  SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
  int level = SSL_CTX_get_security_level(ctx);
  SSL_CTX_free(ctx);
  return level;
}

// The version that comes out is one the caller enabled, or the handshake
// fails naming the cause; it never moves to another version. TLS 1.0 and 1.1
// work where the system's security level is 0 and are refused, with the level
// named, where it is higher.
TEST(TlsChannel, EnabledVersionsAreNegotiatedExactly) {
  struct Case {
    uint32_t bits;
    int serverMin;
    int level;          // the client's security level; -1: the system's
    int expectVersion;  // 0: the handshake fails
    const char* reason;
  };
  const int system = SystemSecurityLevel();
  const Case cases[] = {
      {0x0300, TLS1_VERSION, 0, TLS1_1_VERSION, ""},
      {0x00C0, TLS1_VERSION, 0, TLS1_VERSION, ""},
      {0x03C0, TLS1_VERSION, 0, TLS1_1_VERSION, ""},
      {0x0FC0, TLS1_VERSION, 0, TLS1_2_VERSION, ""},
      {0x0300, TLS1_2_VERSION, 0, 0, "protocol"},
      {0x0300, TLS1_VERSION, 2, 0, "; TLS1.1 is refused at the system's OpenSSL security level 2"},
      {0x00C0, TLS1_VERSION, 1, 0, "; TLS1.0 is refused at the system's OpenSSL security level 1"},
      {0x0C00, TLS1_VERSION, -1, TLS1_2_VERSION, ""},
      {0x0300, TLS1_VERSION, -1, system == 0 ? TLS1_1_VERSION : 0,
       system == 0 ? "" : "is refused at the system's OpenSSL security level"},
  };
  for (const auto& c : cases) {
    MemoryServer server(MemoryServer::Versions(c.serverMin, 0, 0));
    TlsChannel channel;
    std::string rx;
    auto run = RunHandshake(channel, CredentialsAtLevel(c.bits, c.level), server, rx);
    if (c.expectVersion == 0) {
      EXPECT_TRUE(SecFailed(run.status)) << std::hex << c.bits << " level " << c.level;
      EXPECT_NE(channel.LibraryReason().find(c.reason), std::string::npos)
          << std::hex << c.bits << " level " << c.level << ": " << channel.LibraryReason();
      continue;
    }
    ASSERT_EQ(run.status, kSecEOk) << std::hex << c.bits << " " << channel.LibraryError();
    EXPECT_EQ(SSL_version(server.Ssl()), c.expectVersion) << std::hex << c.bits;
  }
}

TEST(TlsChannel, Tls10UnderAPermissivePolicyReportsItsWords) {
  MemoryServer server(MemoryServer::Versions(TLS1_VERSION, TLS1_VERSION, 0));
  TlsChannel channel;
  std::string rx;
  ASSERT_EQ(RunHandshake(channel, CredentialsAtLevel(0x0FC0, 0), server, rx).status, kSecEOk)
      << channel.LibraryError();
  ConnectionInfo info;
  ASSERT_TRUE(channel.QueryConnectionInfo(info));
  EXPECT_EQ(info.protocol, kProtTls10Client);
  EXPECT_EQ(channel.NegotiatedParametersText().rfind("Negotiated SSL parameters: Protocol: TLS1 ", 0), 0u);
}

TEST(TlsChannel, NegotiatedParametersUseTheReportWords) {
  MemoryServer server(MemoryServer::Options{});
  TlsChannel channel;
  std::string rx;
  ASSERT_EQ(RunHandshake(channel, Credentials(0x0C00, 40, "CALG_AES_128,CALG_ECDH_EPHEM"), server, rx).status,
            kSecEOk);
  EXPECT_EQ(channel.NegotiatedParametersText(),
            "Negotiated SSL parameters: Protocol: TLS1.2 Cipher: AES Cipher strength: 128 Hash: SHA256 "
            "Hash strength: 256 Key exchange: ECDH Ephemeral RSA Key exchange strength: 253 ");
  EXPECT_EQ(NegotiatedParametersText(nullptr), "Negotiated SSL parameters: Connection info not available.");
}

TEST(TlsChannel, AlgorithmListNarrowsTheSuites) {
  MemoryServer server(MemoryServer::Options{});
  TlsChannel channel;
  std::string rx;
  ASSERT_EQ(RunHandshake(channel, Credentials(0x0C00, 40, "calg_aes_256, CALG_SHA_384"), server, rx).status,
            kSecEOk);
  EXPECT_STREQ(SSL_CIPHER_get_name(SSL_get_current_cipher(server.Ssl())), "ECDHE-RSA-AES256-GCM-SHA384");
}

TEST(TlsChannel, CloseNotifyEndsTheSessionAndLeavesFollowingBytes) {
  for (uint32_t protocols : {0x0C00u, 0x3000u}) {
    MemoryServer server(MemoryServer::Options{});
    TlsChannel channel;
    std::string rx;
    ASSERT_EQ(RunHandshake(channel, Credentials(protocols), server, rx).status, kSecEOk);
    server.Write("last words");
    SSL_shutdown(server.Ssl());
    rx += server.TakeOutput() + "plain after close";
    std::string plain, token;
    EXPECT_EQ(DecryptAll(channel, rx, plain, &token), kSecIContextExpired);
    EXPECT_EQ(plain, "last words");
    EXPECT_EQ(rx, "plain after close");
    std::string ours;
    EXPECT_EQ(channel.Shutdown(ours), kSecEOk);
    EXPECT_FALSE(ours.empty());
    EXPECT_EQ(static_cast<uint8_t>(ours[0]), protocols == 0x0C00u ? 21 : 23);
  }
}

TEST(TlsChannel, RefusedRenegotiationSendsAlertAndKeepsReading) {
  MemoryServer server(MemoryServer::Versions(0, TLS1_2_VERSION));
  TlsChannel channel;
  std::string rx;
  ASSERT_EQ(RunHandshake(channel, Credentials(0x0C00), server, rx).status, kSecEOk);
  ASSERT_EQ(SSL_renegotiate(server.Ssl()), 1);
  SSL_do_handshake(server.Ssl());
  server.Write("after the request");
  rx += server.TakeOutput();
  std::string plain, token;
  size_t consumed = 0;
  ASSERT_EQ(channel.Decrypt(rx, consumed, plain, token), kSecIRenegotiate);
  EXPECT_EQ(consumed, 0u);
  ASSERT_EQ(channel.RefuseRenegotiation(rx, consumed, token), kSecEOk);
  rx.erase(0, consumed);
  // A warning alert record: type 21, encrypted.
  ASSERT_FALSE(token.empty());
  EXPECT_EQ(static_cast<uint8_t>(token[0]), 21);
  EXPECT_EQ(DecryptAll(channel, rx, plain), kSecEOk);
  EXPECT_EQ(plain, "after the request");
  server.Receive(token);
  EXPECT_EQ(server.LastReason(), static_cast<unsigned long>(SSL_R_NO_RENEGOTIATION));
}

TEST(TlsChannel, AcceptedRenegotiationRunsASecondHandshake) {
  MemoryServer server(MemoryServer::Versions(0, TLS1_2_VERSION));
  TlsChannel channel;
  std::string rx;
  ASSERT_EQ(RunHandshake(channel, Credentials(0x0C00), server, rx).status, kSecEOk);
  ASSERT_EQ(SSL_renegotiate(server.Ssl()), 1);
  SSL_do_handshake(server.Ssl());
  rx += server.TakeOutput();
  std::string plain, token;
  size_t consumed = 0;
  ASSERT_EQ(channel.Decrypt(rx, consumed, plain, token), kSecIRenegotiate);
  uint32_t st = kSecIContinueNeeded;
  for (int round = 0; round < 10 && st != kSecEOk; ++round) {
    std::string out;
    st = channel.Step(rx, consumed, out);
    ASSERT_FALSE(SecFailed(st) && st != kSecEIncompleteMessage) << StatusHex(st);
    rx.erase(0, consumed);
    server.Receive(out);
    rx += server.TakeOutput();
  }
  EXPECT_EQ(st, kSecEOk);
  EXPECT_GE(SSL_num_renegotiations(server.Ssl()), 1);
  server.Write("renegotiated");
  rx += server.TakeOutput();
  EXPECT_EQ(DecryptAll(channel, rx, plain), kSecEOk);
  EXPECT_EQ(plain, "renegotiated");
}

TEST(TlsChannel, PausesAfterTheCertificateRecordWhenAsked) {
  MemoryServer server(MemoryServer::Options{});
  TlsChannel channel;
  channel.SetPauseOnCertificate(true);
  std::string token, rx;
  ASSERT_EQ(channel.Start(Credentials(0x3000), "localhost", {}, token), kSecIContinueNeeded);
  server.Receive(token);
  rx = server.TakeOutput();
  size_t consumed = 0;
  uint32_t st = kSecIContinueNeeded;
  while (!channel.CertificateArrived()) {
    std::string out;
    st = channel.Step(rx, consumed, out);
    ASSERT_EQ(st, kSecIContinueNeeded);
    rx.erase(0, consumed);
  }
  EXPECT_FALSE(channel.Established());
  EXPECT_NE(channel.PeerCertificate(), nullptr);
  EXPECT_FALSE(rx.empty());  // certificate verify and finished still to come
  std::string out;
  while ((st = channel.Step(rx, consumed, out)) == kSecIContinueNeeded) rx.erase(0, consumed);
  EXPECT_EQ(st, kSecEOk);
}

TEST(TlsChannel, ReusedCredentialResumesTheSession) {
  auto credentials = Credentials(0x0C00);
  std::string rx;
  {
    MemoryServer server(MemoryServer::Options{});
    TlsChannel first;
    ASSERT_EQ(RunHandshake(first, credentials, server, rx).status, kSecEOk);
    EXPECT_FALSE(first.Resumed());
    // A second server object shares nothing, so let the first one's session
    // be resumed by handing its context to the second.
    SSL_CTX* serverCtx = SSL_get_SSL_CTX(server.Ssl());
    SSL_CTX_up_ref(serverCtx);
    SslPtr second(SSL_new(serverCtx));
    SSL_CTX_free(serverCtx);
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(in, -1);
    SSL_set_bio(second.get(), in, out);
    SSL_set_accept_state(second.get());
    TlsChannel again;
    std::string token;
    ASSERT_EQ(again.Start(credentials, "localhost", {}, token), kSecIContinueNeeded);
    uint32_t st = kSecIContinueNeeded;
    for (int round = 0; round < 10 && st != kSecEOk; ++round) {
      BIO_write(in, token.data(), static_cast<int>(token.size()));
      SSL_do_handshake(second.get());
      char* data = nullptr;
      long n = BIO_get_mem_data(out, &data);
      std::string reply(data, static_cast<size_t>(n));
      (void)BIO_reset(out);
      size_t consumed = 0;
      token.clear();
      st = again.Step(reply, consumed, token);
    }
    ASSERT_EQ(st, kSecEOk);
    EXPECT_TRUE(again.Resumed());
  }
  ERR_clear_error();
}

}  // namespace
}  // namespace corvane::tls
