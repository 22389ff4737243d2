// The RSA private-key blob against the TLS library's writer of the same
// layout; the DSS blob is met through the DSA key files of the store tests.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>
#include <string>

#include "tls/keys/key_blob.h"

namespace corvane::keys {
namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Bn = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

std::string Bytes(const BIGNUM* bn) {
  std::string out(static_cast<size_t>(BN_num_bytes(bn)), '\0');
  BN_bn2bin(bn, reinterpret_cast<unsigned char*>(out.data()));
  return out;
}

Bn Big(const std::string& bytes) {
  return Bn(BN_bin2bn(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()), nullptr),
            BN_free);
}

std::string Param(EVP_PKEY* key, const char* name) {
  BIGNUM* bn = nullptr;
  EVP_PKEY_get_bn_param(key, name, &bn);
  std::string out = bn != nullptr ? Bytes(bn) : std::string();
  BN_free(bn);
  return out;
}

Key NewRsaKey(unsigned bits) { return Key(EVP_RSA_gen(bits), EVP_PKEY_free); }

RsaKey PartsOf(EVP_PKEY* k) {
  return RsaKey{Param(k, OSSL_PKEY_PARAM_RSA_N),         Param(k, OSSL_PKEY_PARAM_RSA_E),
                Param(k, OSSL_PKEY_PARAM_RSA_D),         Param(k, OSSL_PKEY_PARAM_RSA_FACTOR1),
                Param(k, OSSL_PKEY_PARAM_RSA_FACTOR2),   Param(k, OSSL_PKEY_PARAM_RSA_EXPONENT1),
                Param(k, OSSL_PKEY_PARAM_RSA_EXPONENT2), Param(k, OSSL_PKEY_PARAM_RSA_COEFFICIENT1)};
}

TEST(RsaBlob, EqualsTheLibraryWriterWithExponentsDerivedOrGiven) {
  Key key = NewRsaKey(1024);
  ASSERT_NE(key, nullptr);
  RsaKey full = PartsOf(key.get());
  RsaKey partial = full;
  partial.dp.clear();
  partial.dq.clear();
  ASSERT_TRUE(CompleteRsa(partial));
  EXPECT_EQ(partial.dp, full.dp);
  EXPECT_EQ(partial.dq, full.dq);
  std::string ours;
  ASSERT_TRUE(BuildRsaBlob(partial, ours));
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
  i2b_PrivateKey_bio(bio.get(), key.get());
  char* data = nullptr;
  long n = BIO_get_mem_data(bio.get(), &data);
  EXPECT_EQ(ours, std::string(data, static_cast<size_t>(n)));
  RsaKey back;
  ASSERT_TRUE(ParseRsaBlob(ours, back));
  EXPECT_EQ(back.n, full.n);
  EXPECT_EQ(back.d, full.d);
  // The coefficient given as p^-1 mod q, as some containers carry it: the
  // primes trade places and the blob is the same key.
  RsaKey swapped = partial;
  std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> bnCtx(BN_CTX_new(), BN_CTX_free);
  Bn inv(BN_mod_inverse(nullptr, Big(full.p).get(), Big(full.q).get(), bnCtx.get()), BN_free);
  swapped.qinv = Bytes(inv.get());
  ASSERT_TRUE(CompleteRsa(swapped));
  std::string swappedBlob;
  ASSERT_TRUE(BuildRsaBlob(swapped, swappedBlob));
  const auto* at = reinterpret_cast<const unsigned char*>(swappedBlob.data());
  Key imported(b2i_PrivateKey(&at, static_cast<long>(swappedBlob.size())), EVP_PKEY_free);
  ASSERT_NE(imported, nullptr);
  EXPECT_EQ(EVP_PKEY_eq(imported.get(), key.get()), 1);
  EXPECT_EQ(Param(imported.get(), OSSL_PKEY_PARAM_RSA_FACTOR1), full.q);
}

TEST(RsaBlob, BitLengthRuleAndInconsistentKeys) {
  RsaKey k = PartsOf(NewRsaKey(2048).get());
  // The DER modulus carries a sign byte; the bit length stays 2048.
  RsaKey signed_ = k;
  signed_.n.insert(signed_.n.begin(), '\0');
  std::string blob;
  ASSERT_TRUE(BuildRsaBlob(signed_, blob));
  EXPECT_EQ(blob.substr(0, 16), std::string("\x07\x02\x00\x00\x00\xA4\x00\x00", 8) + "RSA2" + std::string("\x00\x08\x00\x00", 4));
  EXPECT_EQ(blob.size(), 20u + 256 * 2 + 128 * 5);
  RsaKey wrongPrime = k;
  wrongPrime.p.back() ^= 2;
  EXPECT_FALSE(CompleteRsa(wrongPrime));
  RsaKey wrongCoefficient = k;
  wrongCoefficient.qinv.back() ^= 1;
  EXPECT_FALSE(CompleteRsa(wrongCoefficient));
  RsaKey bigExponent = k;
  bigExponent.e = std::string("\x01\x00\x00\x00\x01", 5);
  EXPECT_FALSE(BuildRsaBlob(bigExponent, blob));
}

}  // namespace
}  // namespace corvane::keys
