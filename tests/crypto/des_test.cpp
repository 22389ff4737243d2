#include <gtest/gtest.h>

#include <string>

#include "crypto/des.h"
#include "support/hex.h"

namespace corvane {
namespace {

using testing::Hex;
using testing::Unhex;

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
