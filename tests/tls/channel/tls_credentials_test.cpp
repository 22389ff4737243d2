#include "tls/channel/tls_credentials.h"

#include <gtest/gtest.h>

#include "tls/channel/algorithm_ids.h"
#include "tls/channel/sec_status.h"

namespace corvane::tls {
namespace {

// A changed setting making a new credential is the TLS client's test.
TEST(CredentialCache, SameSettingsShareOneCredentialWhenReuseIsOn) {
  CredentialCache cache;
  CredentialParams p;
  ASSERT_EQ(cache.Acquire(p, true), kSecEOk);
  auto first = cache.Current();
  ASSERT_EQ(cache.Acquire(p, true), kSecEOk);
  EXPECT_TRUE(cache.LastWasReused());
  EXPECT_EQ(cache.Current(), first);
  ASSERT_EQ(cache.Acquire(p, false), kSecEOk);
  EXPECT_FALSE(cache.LastWasReused());
  EXPECT_NE(cache.Current(), first);
  // Texts compare case-sensitively.
  auto second = cache.Current();
  p.provider = "microsoft unified security protocol provider";
  ASSERT_EQ(cache.Acquire(p, true), kSecEOk);
  EXPECT_NE(cache.Current(), second);
}

TEST(CredentialCache, RefusalsCarryProviderStatuses) {
  using Change = void (*)(CredentialParams&);
  const std::pair<Change, uint32_t> cases[] = {
      {[](CredentialParams& p) { p.provider = "Kerberos"; }, kSecESecpkgNotFound},
      {[](CredentialParams& p) { p.enabledProtocols = 0x30; }, kSecEAlgorithmMismatch},  // no TLS version
      {[](CredentialParams& p) { p.cipherStrength = 512; }, kSecEAlgorithmMismatch},
      {[](CredentialParams& p) { p.algorithmList = "CALG_RC4"; }, kSecEAlgorithmMismatch},
  };
  for (const auto& [change, status] : cases) {
    CredentialParams p;
    change(p);
    CredentialCache cache;
    EXPECT_EQ(cache.Acquire(p, true), status);
    EXPECT_EQ(cache.Current(), nullptr);
  }
}

TEST(CredentialCache, VersionBitsBecomeTheVersionRange) {
  struct Case {
    uint32_t bits;
    int min, max;
  };
  const Case cases[] = {
      {0x0FC0, TLS1_VERSION, TLS1_2_VERSION}, {0x3000, TLS1_3_VERSION, TLS1_3_VERSION},
      {0, TLS1_2_VERSION, TLS1_3_VERSION},    {0x03C0, TLS1_VERSION, TLS1_1_VERSION},
  };
  // A minimum strength (40 by default) narrows the suites, never the range;
  // single versions are the channel's negotiation rows.
  for (int strength : {0, 40, 256}) {
    for (const auto& c : cases) {
      CredentialParams p;
      p.enabledProtocols = c.bits;
      p.cipherStrength = strength;
      std::shared_ptr<TlsCredentials> creds;
      ASSERT_EQ(TlsCredentials::Acquire(p, creds), kSecEOk);
      EXPECT_EQ(SSL_CTX_get_min_proto_version(creds->Context()), c.min) << std::hex << c.bits << " " << strength;
      EXPECT_EQ(SSL_CTX_get_max_proto_version(creds->Context()), c.max) << std::hex << c.bits << " " << strength;
      EXPECT_EQ(creds->EffectiveProtocols(), c.bits == 0 ? 0x3C00u : c.bits);
    }
  }
  // A hole in the middle is switched off on its own.
  CredentialParams p;
  p.enabledProtocols = 0x0CC0;  // 1.0 and 1.2, not 1.1
  std::shared_ptr<TlsCredentials> creds;
  ASSERT_EQ(TlsCredentials::Acquire(p, creds), kSecEOk);
  EXPECT_TRUE(SSL_CTX_get_options(creds->Context()) & SSL_OP_NO_TLSv1_1);
}

TEST(AlgorithmList, NamesMapInOrderAndUnknownOnesAreSkipped) {
  EXPECT_EQ(ParseAlgorithmList(" CALG_AES_256 ,calg_sha_384,BOGUS,,CALG_ECDH_EPHEM"),
            (std::vector<uint32_t>{0x6610, 0x800d, 0xae06}));
  EXPECT_EQ(ParseAlgorithmList(""), std::vector<uint32_t>{});
  std::string many;
  for (int i = 0; i < 40; ++i) many += "CALG_MD5,";
  EXPECT_EQ(ParseAlgorithmList(many).size(), kMaxAlgorithms);
}

}  // namespace
}  // namespace corvane::tls
