// Multi-precision division against OpenSSL's BN_div over random sizes, and
// the rare quotient-digit correction (add back) on inputs found by
// simulating the algorithm.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/rand.h>

#include <cctype>
#include <memory>
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
  using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;
  auto bn = [](const std::string& bytes) {
    return Bn(BN_bin2bn(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()), nullptr),
              BN_free);
  };
  auto hex = [](const Bn& v) {
    char* h = BN_bn2hex(v.get());
    std::string s(h);
    OPENSSL_free(h);
    for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    size_t nz = s.find_first_not_of('0');
    return nz == std::string::npos ? std::string("0") : s.substr(nz);
  };
  std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
  for (int round = 0; round < 300; ++round) {
    std::string a(1 + round % 290, '\0'), m(1 + (round * 7) % 150, '\0'), e(1 + round % 40, '\0');
    for (std::string* v : {&a, &m, &e}) RAND_bytes(reinterpret_cast<unsigned char*>(v->data()), static_cast<int>(v->size()));
    if (round % 5 == 0) m[0] = '\xff';  // a full top word in the divisor
    m.back() |= 1;                       // never a zero divisor
    Bn ba = bn(a), bm = bn(m), be = bn(e), bq = bn(""), br = bn(""), bp = bn("");
    BN_div(bq.get(), br.get(), ba.get(), bm.get(), ctx.get());
    BigInteger q, r;
    ASSERT_TRUE(BigInteger::DivMod(BigInteger::FromBytes(a), BigInteger::FromBytes(m), &q, &r));
    EXPECT_EQ(ToHex(q), hex(bq)) << round;
    EXPECT_EQ(ToHex(r), hex(br)) << round;
    if (round % 10 == 0) {
      BN_mod_exp(bp.get(), ba.get(), be.get(), bm.get(), ctx.get());
      EXPECT_EQ(ToHex(BigInteger::PowMod(BigInteger::FromBytes(a), BigInteger::FromBytes(e), BigInteger::FromBytes(m))),
                hex(bp))
          << round;
    }
  }
}

}  // namespace
}  // namespace corvane
