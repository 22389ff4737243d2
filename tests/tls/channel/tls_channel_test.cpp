#include "tls/channel/tls_channel.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

#include "handshake_harness.h"
#include "tls/channel/tls_errors.h"

namespace corvane::tls {
namespace {

using testing::Credentials;
using testing::DecryptAll;
using testing::MemoryServer;
using testing::RunHandshake;

std::string Alphabet(size_t n) {
  std::string s(n, 'x');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

// The version is one the caller enabled, or the handshake fails naming the
// cause. TLS 1.0 and 1.1 work at the system's security level 0 and are refused,
// with the level named, above it.
TEST(TlsChannel, EnabledVersionsAreNegotiatedExactly) {
  struct Case {
    uint32_t bits;
    int serverMin, serverMax;
    int level;          // the client's security level; -1: the system's
    int expectVersion;  // 0: the handshake fails
    const char* text;   // the protocol's report word, or the failure's reason
  };
  const int system = SSL_CTX_get_security_level(SslCtxPtr(SSL_CTX_new(TLS_client_method())).get());
  const Case cases[] = {
      {0x3FC0, 0, 0, -1, TLS1_3_VERSION, "0x2000"},  // no report word of its own
      {0x0C00, 0, 0, -1, TLS1_2_VERSION, "TLS1.2"},
      {0x3FC0, 0, TLS1_2_VERSION, -1, TLS1_2_VERSION, "TLS1.2"},
      {0x0300, TLS1_VERSION, 0, 0, TLS1_1_VERSION, "TLS1.1"},
      {0x00C0, TLS1_VERSION, 0, 0, TLS1_VERSION, "TLS1"},
      {0x0300, TLS1_2_VERSION, 0, 0, 0, "protocol"},
      {0x0300, TLS1_VERSION, 0, 2, 0, "; TLS1.1 is refused at the system's OpenSSL security level 2"},
      {0x00C0, TLS1_VERSION, 0, 1, 0, "; TLS1.0 is refused at the system's OpenSSL security level 1"},
      {0x0300, TLS1_VERSION, 0, -1, system == 0 ? TLS1_1_VERSION : 0,
       system == 0 ? "TLS1.1" : "is refused at the system's OpenSSL security level"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.bits << " level " << c.level);
    MemoryServer server({.minVersion = c.serverMin, .maxVersion = c.serverMax, .securityLevel = 0});
    TlsChannel channel;
    std::string rx;
    auto credentials = Credentials(c.bits);
    if (c.level >= 0) SSL_CTX_set_security_level(credentials->Context(), c.level);
    auto run = RunHandshake(channel, credentials, server, rx);
    if (c.expectVersion == 0) {
      EXPECT_TRUE(SecFailed(run.status));
      EXPECT_NE(channel.LibraryReason().find(c.text), std::string::npos) << channel.LibraryReason();
      continue;
    }
    ASSERT_EQ(run.status, kSecEOk) << StatusHex(run.status) << " " << channel.LibraryError();
    EXPECT_TRUE(channel.Established());
    EXPECT_EQ(SSL_version(server.Ssl()), c.expectVersion);
    EXPECT_EQ(channel.NegotiatedParametersText().rfind(std::string("Negotiated SSL parameters: Protocol: ") + c.text + " ", 0),
              0u)
        << channel.NegotiatedParametersText();
  }
}

// The algorithm list narrows the suites; the report names what was chosen.
TEST(TlsChannel, AlgorithmListNarrowsTheSuitesAndTheReportNamesThem) {
  struct Case {
    const char* algorithms;
    const char* suite;
    const char* report;
  } cases[] = {
      {"CALG_AES_128,CALG_ECDH_EPHEM", "ECDHE-RSA-AES128-GCM-SHA256",
       "Negotiated SSL parameters: Protocol: TLS1.2 Cipher: AES Cipher strength: 128 Hash: SHA256 "
       "Hash strength: 256 Key exchange: ECDH Ephemeral RSA Key exchange strength: 253 "},
      {"calg_aes_256, CALG_SHA_384", "ECDHE-RSA-AES256-GCM-SHA384",
       "Negotiated SSL parameters: Protocol: TLS1.2 Cipher: AES Cipher strength: 256 Hash: SHA384 "
       "Hash strength: 384 Key exchange: ECDH Ephemeral RSA Key exchange strength: 253 "},
  };
  for (const Case& c : cases) {
    MemoryServer server;
    TlsChannel channel;
    std::string rx;
    ASSERT_EQ(RunHandshake(channel, Credentials(0x0C00, c.algorithms), server, rx).status, kSecEOk);
    EXPECT_STREQ(SSL_CIPHER_get_name(SSL_get_current_cipher(server.Ssl())), c.suite);
    EXPECT_EQ(channel.NegotiatedParametersText(), c.report);
  }
  EXPECT_EQ(NegotiatedParametersText(nullptr), "Negotiated SSL parameters: Connection info not available.");
}

// The whole server flight arrives one byte per read: every read before a
// record is whole must wait without consuming or failing.
TEST(TlsChannel, HandshakeSplitByteByByteWaitsForTheRest) {
  for (uint32_t protocols : {0x0C00u, 0x3000u}) {
    MemoryServer server;
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

// Plaintext lands in a reader's buffer of any size, a record read in part
// stays with the library, and the library keeps no view of the input.
TEST(TlsChannel, DecryptIntoFillsTheReadersBufferOfAnySize) {
  const std::pair<uint32_t, size_t> cases[] = {{0x0C00, 1}, {0x0C00, 16384}, {0x0C00, 100000}, {0x3000, 7},
                                               {0x3000, 1 << 20}};
  const std::string big = Alphabet(100000);
  for (auto [protocols, room] : cases) {
    SCOPED_TRACE(std::to_string(protocols) + " room " + std::to_string(room));
    MemoryServer server;
    TlsChannel channel;
    std::string rx;
    ASSERT_EQ(RunHandshake(channel, Credentials(protocols), server, rx).status, kSecEOk);
    server.Write(big);
    rx += server.TakeOutput();
    std::string got, out(room, '\0');
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
  MemoryServer server({.maxVersion = TLS1_2_VERSION});
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

// What follows the close_notify is left to the caller, even when it looks
// like a data record that DecryptInto would have fed along with the rest.
TEST(TlsChannel, CloseNotifyEndsTheSessionAndLeavesFollowingBytes) {
  const std::string after("\x17\x03\x03\x00\x02ok plain after close", 24);
  for (auto [protocols, into] :
       {std::pair{0x0C00u, false}, {0x3000u, false}, {0x0C00u, true}, {0x3000u, true}}) {
    SCOPED_TRACE(std::to_string(protocols) + (into ? " DecryptInto" : " Decrypt"));
    MemoryServer server;
    TlsChannel channel;
    std::string rx;
    ASSERT_EQ(RunHandshake(channel, Credentials(protocols), server, rx).status, kSecEOk);
    server.Write("last");
    server.Write(" words");
    SSL_shutdown(server.Ssl());
    rx += server.TakeOutput() + after;
    std::string plain, token;
    if (into) {
      char out[4096];
      size_t consumed = 0, produced = 0;
      uint32_t st;
      while ((st = channel.DecryptInto(rx, consumed, out, sizeof out, produced, token)) ==
             kSecEOk) {
        plain.append(out, produced);
        rx.erase(0, consumed);
      }
      EXPECT_EQ(st, kSecIContextExpired);
      plain.append(out, produced);
      rx.erase(0, consumed);
    } else {
      EXPECT_EQ(DecryptAll(channel, rx, plain, &token), kSecIContextExpired);
    }
    EXPECT_EQ(plain, "last words");
    EXPECT_EQ(rx, after);
    std::string ours;
    EXPECT_EQ(channel.Shutdown(ours), kSecEOk);
    EXPECT_FALSE(ours.empty());
    EXPECT_EQ(static_cast<uint8_t>(ours[0]), protocols == 0x0C00u ? 21 : 23);
  }
}

// A hello request is refused with a warning alert and reading goes on, or
// is answered by a second handshake.
TEST(TlsChannel, RenegotiationIsRefusedWithAnAlertOrRunsASecondHandshake) {
  for (bool accept : {false, true}) {
    MemoryServer server({.maxVersion = TLS1_2_VERSION});
    TlsChannel channel;
    std::string rx;
    ASSERT_EQ(RunHandshake(channel, Credentials(0x0C00), server, rx).status, kSecEOk);
    ASSERT_EQ(SSL_renegotiate(server.Ssl()), 1);
    SSL_do_handshake(server.Ssl());
    if (!accept) server.Write("after the request");
    rx += server.TakeOutput();
    std::string plain, token;
    size_t consumed = 0;
    ASSERT_EQ(channel.Decrypt(rx, consumed, plain, token), kSecIRenegotiate);
    EXPECT_EQ(consumed, 0u);
    if (!accept) {
      ASSERT_EQ(channel.RefuseRenegotiation(rx, consumed, token), kSecEOk);
      rx.erase(0, consumed);
      ASSERT_FALSE(token.empty());
      EXPECT_EQ(static_cast<uint8_t>(token[0]), 21);  // an encrypted alert record
      EXPECT_EQ(DecryptAll(channel, rx, plain), kSecEOk);
      EXPECT_EQ(plain, "after the request");
      server.Receive(token);
      EXPECT_EQ(server.LastReason(), static_cast<unsigned long>(SSL_R_NO_RENEGOTIATION));
      continue;
    }
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
}

TEST(TlsChannel, PausesAfterTheCertificateRecordWhenAsked) {
  MemoryServer server;
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
  MemoryServer server;
  TlsChannel first, again;
  std::string rx;
  ASSERT_EQ(RunHandshake(first, credentials, server, rx).status, kSecEOk);
  EXPECT_FALSE(first.Resumed());
  // A server that shares the first one's context knows its session.
  MemoryServer second({.context = SSL_get_SSL_CTX(server.Ssl())});
  rx.clear();
  ASSERT_EQ(RunHandshake(again, credentials, second, rx).status, kSecEOk);
  EXPECT_TRUE(again.Resumed());
}

}  // namespace
}  // namespace corvane::tls
