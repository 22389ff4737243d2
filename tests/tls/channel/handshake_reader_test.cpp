#include "tls/channel/handshake_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "core/base64.h"
#include "handshake_harness.h"
#include "tls/channel/cert_validation.h"
#include "tls/channel/cipher_suite_names.h"

namespace corvane::tls {
namespace {

using testing::Credentials;
using testing::MemoryServer;
using testing::RunHandshake;
using testing::TestPki;

// The enabled-versions words and known suites are met in every handshake's
// status lines; the older versions and unknown codes only here.
TEST(VersionWords, OlderVersionsAndUnknownCodes) {
  const std::pair<uint32_t, const char*> versions[] = {
      {0x0300, "SSL3.0"}, {0x0301, "TLS1.0"}, {0x0302, "TLS1.1"}, {0x7f1c, "Unknown (32540)"}};
  for (const auto& [version, name] : versions) EXPECT_EQ(TlsVersionName(version), name);
  EXPECT_EQ(CipherSuiteText(0x1234), "Unknown (4660)");
  EXPECT_EQ(EnabledVersionsText(0x0800), "Enabling TLS versions: TLS1.2 ");  // either bit of a pair counts
}

TEST(HelloReaders, ClientHelloListsOfferedSuites) {
  TlsChannel channel;
  std::string token;
  ASSERT_EQ(channel.Start(Credentials(0x0C00, "CALG_AES_128,CALG_ECDH_EPHEM,CALG_RSA_SIGN"), "localhost", {}, token),
            kSecIContinueNeeded);
  std::string text;
  ASSERT_TRUE(ReadClientHelloSuites(token, text));
  EXPECT_EQ(text,
            "Cipher Suites:\r\n    TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256 (0xc02f);\r\n"
            "    TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA256 (0xc027);\r\n"
            "    TLS_ECDHE_RSA_WITH_AES_128_CBC_SHA (0xc013);\r\n"
            "    TLS_EMPTY_RENEGOTIATION_INFO_SCSV (0x00ff)");
}

// The ALPN list goes out as given (none for an empty setting); the choice is in
// the plain server hello in TLS 1.2, in the encrypted extensions in TLS 1.3.
TEST(HelloReaders, ServerHelloGivesVersionSuiteAndProtocol) {
  struct Case {
    uint32_t protocols;
    const char* offer;
    const char* chosen;
    uint32_t version;
    const char* helloAlpn;
  } cases[] = {
      {0x0C00, "h2,http/1.1", "h2", 0x0303, "h2"},
      {0x3000, "h2,http/1.1", "http/1.1", 0x0304, ""},
      {0x0C00, "", "", 0x0303, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.protocols);
    MemoryServer server({.alpnSelect = *c.chosen ? c.chosen : "h2"});
    TlsChannel channel;
    std::string rx;
    const std::string wire = AlpnWireList(c.offer);
    auto run = RunHandshake(channel, Credentials(c.protocols), server, rx, wire);
    ASSERT_EQ(run.status, kSecEOk);
    EXPECT_EQ(server.AlpnCallbackRan(), !wire.empty());
    EXPECT_EQ(server.OfferedAlpn(), wire);
    EXPECT_EQ(channel.NegotiatedAlpn(), c.chosen);
    ServerHelloInfo hello;
    ASSERT_TRUE(StartsWithServerHello(run.firstServerFlight));
    ASSERT_TRUE(ReadServerHello(run.firstServerFlight, hello));
    EXPECT_EQ(hello.version, c.version);
    EXPECT_EQ(hello.suite, SSL_CIPHER_get_protocol_id(SSL_get_current_cipher(server.Ssl())));
    EXPECT_EQ(hello.alpn, c.helloAlpn);
  }
}

// Every prefix of real hellos is read whole or declined, never past its end
// (under ASan each prefix sits in a buffer of exactly its size).
TEST(HelloReaders, EveryTruncationIsDeclinedWithoutOverread) {
  MemoryServer server;
  TlsChannel channel;
  std::string rx;
  auto run = RunHandshake(channel, Credentials(0x0C00), server, rx);
  ASSERT_EQ(run.status, kSecEOk);
  size_t helloLength = 5 + ((static_cast<uint8_t>(run.firstServerFlight[3]) << 8) |
                            static_cast<uint8_t>(run.firstServerFlight[4]));
  for (size_t n = 0; n < run.clientHello.size(); ++n) {
    std::unique_ptr<char[]> copy(new char[n + 1]);
    std::memcpy(copy.get(), run.clientHello.data(), n);
    std::string text;
    EXPECT_FALSE(ReadClientHelloSuites({copy.get(), n}, text) && n < 46);
  }
  for (size_t n = 0; n <= run.firstServerFlight.size(); ++n) {
    std::unique_ptr<char[]> copy(new char[n + 1]);
    std::memcpy(copy.get(), run.firstServerFlight.data(), n);
    ServerHelloInfo hello;
    EXPECT_EQ(ReadServerHello({copy.get(), n}, hello), n >= helloLength) << n;
    std::string der;
    int r = FindCertificateInHandshake({copy.get(), n}, der);
    EXPECT_TRUE(r == 0 || r == 281);
  }
}

TEST(HelloReaders, CertificateFoundInPlainHandshakeRecords) {
  MemoryServer server;
  TlsChannel channel;
  std::string rx;
  auto run = RunHandshake(channel, Credentials(0x0C00), server, rx);
  ASSERT_EQ(run.status, kSecEOk);
  CertificateReport report;
  ASSERT_EQ(ParseCertificateFromHandshake(run.firstServerFlight, report), 0);
  EXPECT_EQ(report.status, "Parsed");
  EXPECT_EQ(report.subject, "CN=localhost, O=Example, C=US");
  EXPECT_EQ(report.issuer, "CN=Corvane Test CA, O=Example, C=US");
  EXPECT_EQ(report.encoded.find("-----"), std::string::npos);
  std::string der;
  ASSERT_TRUE(Base64Decode(report.encoded, der));
  EXPECT_EQ(der, CertificateDer(TestPki::Get().valid.get()));
  // A Certificate message whose certificate length runs past its record.
  std::string bad = run.firstServerFlight;
  size_t at = bad.find(std::string("\x0b", 1), 5);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(ParseCertificateFromHandshake(std::string_view(bad).substr(0, at + 9), report), 281);
}

TEST(HelloReaders, AlpnWireListSkipsEmptyAndOverlongNames) {
  EXPECT_EQ(AlpnWireList("h2,http/1.1"), std::string("\x02h2\x08http/1.1"));
  EXPECT_EQ(AlpnWireList(""), "");
  EXPECT_EQ(AlpnWireList(",h2,,"), std::string("\x02h2"));
  std::string longName(256, 'a');
  EXPECT_EQ(AlpnWireList(longName + ",h2"), std::string("\x02h2"));
  EXPECT_EQ(AlpnWireList(std::string(255, 'b')).size(), 256u);
}

TEST(HelloReaders, RecordStartsThatCannotBeTlsAreRefusedFromTheirFirstBytes) {
  struct Case {
    std::string bytes;
    bool plausible;
  } cases[] = {
      {"", true},
      {std::string("\x16", 1), true},
      {std::string("\x16\x03\x03\x00\x7a", 5), true},
      {std::string("\x17\x03\x03\x48\x00", 5), true},  // 16384 + 2048, the largest
      {std::string("\x17\x03\x03\x48\x01", 5), false},
      {std::string("\x16\x02", 2), false},
      {"HTTP/1.1 400 Bad Request\r\n", false},
      {std::string("\x13\x03\x03\x00\x01", 5), false},
  };
  for (const Case& c : cases) EXPECT_EQ(PlausibleRecordStart(c.bytes), c.plausible) << c.bytes.size();
}

// A run is the first whole record, then whole data records whose payloads
// together fit the room.
TEST(HelloReaders, DataRecordRunTakesWholeDataRecordsThatFitTheRoom) {
  auto record = [](uint8_t type, size_t length) {
    std::string r{static_cast<char>(type), 3, 3, static_cast<char>(length >> 8),
                  static_cast<char>(length & 0xFF)};
    return r + std::string(length, 'x');
  };
  const std::string data100 = record(23, 100), data200 = record(23, 200);
  struct Case {
    std::string input;
    size_t room;
    size_t run;
  } cases[] = {
      {"", 1000, 0},
      {data100.substr(0, 50), 1000, 0},
      {data100 + data200 + data100, 1000, 415},
      {data100 + data200 + data100, 300, 310},         // the third would overflow the room
      {data100 + data200, 10, 105},                    // the first goes alone, room or not
      {data100 + record(21, 2) + data100, 1000, 105},  // an alert ends the run
      {record(22, 4) + data100, 1000, 9},              // so does a handshake record, alone
      {data100 + data200.substr(0, 100), 1000, 105},   // an incomplete record waits
      {data100 + std::string("\x17\x02\x03\x00\x01x", 6), 1000, 105},  // not a record
      {data100 + record(23, 18433), 100000, 105},  // longer than any record may be
  };
  for (const Case& c : cases)
    EXPECT_EQ(DataRecordRun(c.input, c.room), c.run) << c.input.size() << " " << c.room;
}

}  // namespace
}  // namespace corvane::tls
