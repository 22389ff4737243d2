#include <gtest/gtest.h>

#include <string>

#include "crypto/des.h"
#include "support/hex.h"

namespace corvane {
namespace {

using testing::Hex;
using testing::Unhex;

struct BlockVector {
  const char* source;
  const char* key;
  const char* plain;
  const char* cipher;
};

constexpr BlockVector kDesVectors[] = {
    {"FIPS 81 appendix B (\"Now is t\")", "0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"},
    {"Classic worked example (FIPS 46 walkthrough)", "133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
    {"NIST SP 800-20 variable plaintext, round 1", "0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},
    {"NIST SP 800-20 variable plaintext, round 2", "0101010101010101", "4000000000000000", "dd7f121ca5015619"},
    {"NIST SP 800-20 variable plaintext, round 3", "0101010101010101", "2000000000000000", "2e8653104f3834ea"},
    {"NIST SP 800-20 variable key, round 1", "8001010101010101", "0000000000000000", "95a8d72813daa94d"},
    {"NIST SP 800-20 variable key, round 2", "4001010101010101", "0000000000000000", "0eec1487dd8c26d5"},
    {"LM hash constant for an empty password", "0101010101010101", "4b47532140232425", "aad3b435b51404ee"},
};

TEST(Des, EncryptsAndDecryptsPublishedVectors) {
  for (const auto& v : kDesVectors) {
    SCOPED_TRACE(v.source);
    const std::string key = Unhex(v.key), plain = Unhex(v.plain);
    Des enc, dec;
    enc.SetKey(reinterpret_cast<const uint8_t*>(key.data()), false);
    dec.SetKey(reinterpret_cast<const uint8_t*>(key.data()), true);
    uint8_t out[8], back[8];
    enc.CryptBlock(reinterpret_cast<const uint8_t*>(plain.data()), out);
    EXPECT_EQ(Hex(out, 8), v.cipher);
    dec.CryptBlock(out, back);
    EXPECT_EQ(Hex(back, 8), v.plain);
  }
}

TEST(Des, EncryptBlockAppendsEightBytes) {
  ByteBuffer out("x");
  ASSERT_EQ(DesEncryptBlock(Unhex("0123456789abcdef").data(), "Now is t", out), 0);
  EXPECT_EQ(Hex(out.view()), "78" "3fa40e8a984d4815");
}

TEST(Des, SevenByteKeyExpansionSetsOddParity) {
  uint8_t key8[8];
  DesExpandKey56(Unhex("00000000000000").data(), key8);
  EXPECT_EQ(Hex(key8, 8), "0101010101010101");
  DesExpandKey56(Unhex("ffffffffffffff").data(), key8);
  EXPECT_EQ(Hex(key8, 8), "fefefefefefefefe");
  // 0x80 0x00 ...: the first byte takes bits 1-7 = 1000000 -> 0x80, parity bit 0.
  DesExpandKey56(Unhex("80000000000000").data(), key8);
  EXPECT_EQ(Hex(key8, 8), "8001010101010101");
  DesExpandKey56(Unhex("0123456789abcd").data(), key8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(__builtin_popcount(key8[i]) % 2, 1) << i;
}

TEST(TripleDes, SixteenByteKeyIsK1K2K1AndEqualKeysAreSingleDes) {
  const std::string k1 = Unhex("0123456789abcdef"), k2 = Unhex("fedcba9876543210");
  const std::string two = k1 + k2, three = k1 + k2 + k1, same = k1 + k1 + k1;
  TripleDes a, b, c;
  ASSERT_TRUE(a.SetKey(reinterpret_cast<const uint8_t*>(two.data()), 16, false));
  ASSERT_TRUE(b.SetKey(reinterpret_cast<const uint8_t*>(three.data()), 24, false));
  ASSERT_TRUE(c.SetKey(reinterpret_cast<const uint8_t*>(same.data()), 24, false));
  EXPECT_FALSE(c.SetKey(reinterpret_cast<const uint8_t*>(same.data()), 8, false));
  uint8_t x[8], y[8], z[8];
  a.CryptBlock(reinterpret_cast<const uint8_t*>("Now is t"), x);
  b.CryptBlock(reinterpret_cast<const uint8_t*>("Now is t"), y);
  c.CryptBlock(reinterpret_cast<const uint8_t*>("Now is t"), z);
  EXPECT_EQ(Hex(x, 8), Hex(y, 8));
  EXPECT_EQ(Hex(z, 8), "3fa40e8a984d4815");
}

}  // namespace
}  // namespace corvane
