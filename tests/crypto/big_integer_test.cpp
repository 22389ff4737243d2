// Multi-precision division against OpenSSL's BN_div over random sizes, and
// the rare quotient-digit correction (add back) on inputs found by
// simulating the algorithm.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/rand.h>

#include <cctype>
#include <string>

#include "core/base64.h"
#include "crypto/big_integer.h"

namespace corvane {
namespace {

BigInteger FromHex(const std::string& hex) {
  std::string bytes;
  std::string even = hex.size() % 2 != 0 ? "0" + hex : hex;
  EXPECT_TRUE(HexDecode(even, bytes));
  return BigInteger::FromBytes(bytes);
}

std::string ToHex(const BigInteger& v) {
  std::string hex = HexEncode(v.ToBytes());
  size_t nz = hex.find_first_not_of('0');
  return nz == std::string::npos ? "0" : hex.substr(nz);
}

TEST(BigInteger, DivisionAddsBackWhenTheQuotientDigitIsOneTooLarge) {
  struct Case {
    const char *a, *m, *q, *r;
  } cases[] = {
      {"2fffffffefffffffe8000000080000000", "20000000200000002", "17ffffffdffffffff", "18000000680000002"},
      {"7fffffff800000018000000000000000", "8000000000000001ffffffff", "fffffffe", "7fffffff80000004fffffffe"},
      {"800000000000000000000002", "20000000000000002", "3fffffff", "1ffffffff80000004"},
      {"ffffffff800000017ffffffffffffffe", "ffffffff8000000180000001", "ffffffff", "ffffffff800000007fffffff"},
  };
  for (const auto& c : cases) {
    BigInteger q, r;
    ASSERT_TRUE(BigInteger::DivMod(FromHex(c.a), FromHex(c.m), &q, &r));
    EXPECT_EQ(ToHex(q), c.q) << c.a;
    EXPECT_EQ(ToHex(r), c.r) << c.a;
  }
}

TEST(BigInteger, DivModAndPowModAgreeWithTheLibrary) {
  BN_CTX* ctx = BN_CTX_new();
  for (int round = 0; round < 300; ++round) {
    unsigned char buf[3][300];
    int sizes[3] = {1 + round % 290, 1 + (round * 7) % 150, 1 + round % 40};
    RAND_bytes(&buf[0][0], sizeof buf);
    if (round % 5 == 0) buf[1][0] = 0xFF;  // a full top word in the divisor
    buf[1][sizes[1] - 1] |= 1;              // never a zero divisor
    std::string a(reinterpret_cast<char*>(buf[0]), static_cast<size_t>(sizes[0]));
    std::string m(reinterpret_cast<char*>(buf[1]), static_cast<size_t>(sizes[1]));
    std::string e(reinterpret_cast<char*>(buf[2]), static_cast<size_t>(sizes[2]));
    BIGNUM* ba = BN_bin2bn(buf[0], sizes[0], nullptr);
    BIGNUM* bm = BN_bin2bn(buf[1], sizes[1], nullptr);
    BIGNUM* be = BN_bin2bn(buf[2], sizes[2], nullptr);
    BIGNUM *bq = BN_new(), *br = BN_new(), *bp = BN_new();
    BN_div(bq, br, ba, bm, ctx);
    BN_mod_exp(bp, ba, be, bm, ctx);
    auto hex = [](const BIGNUM* v) {
      char* h = BN_bn2hex(v);
      std::string s(h);
      OPENSSL_free(h);
      for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
      size_t nz = s.find_first_not_of('0');
      return nz == std::string::npos ? std::string("0") : s.substr(nz);
    };
    BigInteger q, r;
    ASSERT_TRUE(BigInteger::DivMod(BigInteger::FromBytes(a), BigInteger::FromBytes(m), &q, &r));
    EXPECT_EQ(ToHex(q), hex(bq)) << round;
    EXPECT_EQ(ToHex(r), hex(br)) << round;
    if (round % 10 == 0) {
      BigInteger p = BigInteger::PowMod(BigInteger::FromBytes(a), BigInteger::FromBytes(e), BigInteger::FromBytes(m));
      EXPECT_EQ(ToHex(p), hex(bp)) << round;
    }
    BN_free(ba);
    BN_free(bm);
    BN_free(be);
    BN_free(bq);
    BN_free(br);
    BN_free(bp);
  }
  BN_CTX_free(ctx);
}

}  // namespace
}  // namespace corvane
