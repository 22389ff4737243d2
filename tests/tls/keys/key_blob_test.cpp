// The private-key blobs: the RSA layout byte for byte against the TLS
// library's writer of the same layout, the bit-length rule, the CRT
// exponents derived for formats that leave them out, and the DSS blob.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <string>

#include "tls/keys/key_blob.h"

namespace corvane::keys {
namespace {

std::string Bytes(const BIGNUM* bn) {
  std::string out(static_cast<size_t>(BN_num_bytes(bn)), '\0');
  BN_bn2bin(bn, reinterpret_cast<unsigned char*>(out.data()));
  return out;
}

std::string Param(EVP_PKEY* key, const char* name) {
  BIGNUM* bn = nullptr;
  EVP_PKEY_get_bn_param(key, name, &bn);
  std::string out = bn != nullptr ? Bytes(bn) : std::string();
  BN_free(bn);
  return out;
}

EVP_PKEY* NewKey(const char* type, unsigned bits) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_from_name(nullptr, type, nullptr);
  EVP_PKEY* key = nullptr;
  if (std::string(type) == "RSA") {
    EVP_PKEY_keygen_init(ctx);
    EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, static_cast<int>(bits));
    EVP_PKEY_keygen(ctx, &key);
  }
  EVP_PKEY_CTX_free(ctx);
  return key;
}

RsaKey PartsOf(EVP_PKEY* k) {
  return RsaKey{Param(k, OSSL_PKEY_PARAM_RSA_N),         Param(k, OSSL_PKEY_PARAM_RSA_E),
                Param(k, OSSL_PKEY_PARAM_RSA_D),         Param(k, OSSL_PKEY_PARAM_RSA_FACTOR1),
                Param(k, OSSL_PKEY_PARAM_RSA_FACTOR2),   Param(k, OSSL_PKEY_PARAM_RSA_EXPONENT1),
                Param(k, OSSL_PKEY_PARAM_RSA_EXPONENT2), Param(k, OSSL_PKEY_PARAM_RSA_COEFFICIENT1)};
}

std::string LibraryBlob(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  i2b_PrivateKey_bio(bio, key);
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  std::string out(data, static_cast<size_t>(n));
  BIO_free(bio);
  return out;
}

TEST(RsaBlob, EqualsTheLibraryWriterWithExponentsDerivedOrGiven) {
  for (unsigned bits : {512u, 1024u, 2048u, 3072u}) {
    EVP_PKEY* key = NewKey("RSA", bits);
    ASSERT_NE(key, nullptr);
    RsaKey full = PartsOf(key);
    RsaKey partial = full;
    partial.dp.clear();
    partial.dq.clear();
    ASSERT_TRUE(CompleteRsa(full));
    ASSERT_TRUE(CompleteRsa(partial));
    EXPECT_EQ(partial.dp, full.dp) << bits;
    EXPECT_EQ(partial.dq, full.dq) << bits;
    // The coefficient given as p^-1 mod q, as some containers carry it: the
    // primes trade places and the blob is the same key.
    RsaKey swapped = full;
    swapped.dp.clear();
    swapped.dq.clear();
    BIGNUM *p = BN_bin2bn(reinterpret_cast<const unsigned char*>(full.p.data()), static_cast<int>(full.p.size()), nullptr),
           *q = BN_bin2bn(reinterpret_cast<const unsigned char*>(full.q.data()), static_cast<int>(full.q.size()), nullptr);
    BN_CTX* ctx = BN_CTX_new();
    BIGNUM* inv = BN_mod_inverse(nullptr, p, q, ctx);
    swapped.qinv = Bytes(inv);
    ASSERT_TRUE(CompleteRsa(swapped));
    std::string ours, swappedBlob;
    ASSERT_TRUE(BuildRsaBlob(partial, ours));
    ASSERT_TRUE(BuildRsaBlob(swapped, swappedBlob));
    EXPECT_EQ(ours, LibraryBlob(key)) << bits;
    const auto* at = reinterpret_cast<const unsigned char*>(swappedBlob.data());
    EVP_PKEY* imported = b2i_PrivateKey(&at, static_cast<long>(swappedBlob.size()));
    ASSERT_NE(imported, nullptr);
    EXPECT_EQ(EVP_PKEY_eq(imported, key), 1) << bits;
    EXPECT_EQ(Param(imported, OSSL_PKEY_PARAM_RSA_FACTOR1), full.q) << bits;
    EVP_PKEY_free(imported);
    RsaKey back;
    ASSERT_TRUE(ParseRsaBlob(ours, back));
    EXPECT_EQ(back.n, full.n);
    EXPECT_EQ(back.d, full.d);
    BN_free(inv);
    BN_free(p);
    BN_free(q);
    BN_CTX_free(ctx);
    EVP_PKEY_free(key);
  }
}

TEST(RsaBlob, HeaderAndBitLengthRule) {
  EVP_PKEY* key = NewKey("RSA", 2048);
  RsaKey k = PartsOf(key);
  // The DER modulus carries a sign byte; the bit length stays 2048.
  k.n.insert(k.n.begin(), '\0');
  std::string blob;
  ASSERT_TRUE(BuildRsaBlob(k, blob));
  EXPECT_EQ(blob.substr(0, 16), std::string("\x07\x02\x00\x00\x00\xA4\x00\x00", 8) + "RSA2" + std::string("\x00\x08\x00\x00", 4));
  EXPECT_EQ(blob.size(), 20u + 256 * 2 + 128 * 5);
  EVP_PKEY_free(key);
}

TEST(RsaBlob, InconsistentKeysAreRefused) {
  EVP_PKEY* key = NewKey("RSA", 1024);
  RsaKey k = PartsOf(key);
  RsaKey wrongPrime = k;
  wrongPrime.p.back() ^= 2;
  EXPECT_FALSE(CompleteRsa(wrongPrime));
  RsaKey wrongCoefficient = k;
  wrongCoefficient.qinv.back() ^= 1;
  EXPECT_FALSE(CompleteRsa(wrongCoefficient));
  RsaKey bigExponent = k;
  bigExponent.e = std::string("\x01\x00\x00\x00\x01", 5);
  std::string blob;
  EXPECT_FALSE(BuildRsaBlob(bigExponent, blob));
  EVP_PKEY_free(key);
}

TEST(DssBlob, CarriesJAndRoundTrips) {
  EVP_PKEY_CTX* pctx = EVP_PKEY_CTX_new_from_name(nullptr, "DSA", nullptr);
  EVP_PKEY* params = nullptr;
  EVP_PKEY_paramgen_init(pctx);
  EVP_PKEY_CTX_set_dsa_paramgen_bits(pctx, 1024);
  EVP_PKEY_CTX_set_dsa_paramgen_q_bits(pctx, 160);
  ASSERT_EQ(EVP_PKEY_paramgen(pctx, &params), 1);
  EVP_PKEY_CTX* kctx = EVP_PKEY_CTX_new(params, nullptr);
  EVP_PKEY* key = nullptr;
  EVP_PKEY_keygen_init(kctx);
  ASSERT_EQ(EVP_PKEY_keygen(kctx, &key), 1);
  DsaKey k{Param(key, OSSL_PKEY_PARAM_FFC_P), Param(key, OSSL_PKEY_PARAM_FFC_Q), Param(key, OSSL_PKEY_PARAM_FFC_G),
           "", Param(key, OSSL_PKEY_PARAM_PRIV_KEY)};
  ASSERT_TRUE(CompleteDsa(k));  // y from x
  EXPECT_EQ(k.y, Param(key, OSSL_PKEY_PARAM_PUB_KEY));
  std::string blob;
  ASSERT_TRUE(BuildDssBlob(k, blob));
  EXPECT_EQ(blob.substr(0, 12), std::string("\x07\x03\x00\x00\x00\x22\x00\x00", 8) + "DSS4");
  DsaKey back;
  ASSERT_TRUE(ParseDssBlob(blob, back));
  EXPECT_EQ(back.p, k.p);
  EXPECT_EQ(back.y, k.y);
  EXPECT_EQ(back.x, k.x);
  DsaKey wrongY = k;
  wrongY.y.back() ^= 1;
  EXPECT_FALSE(CompleteDsa(wrongY));
  EVP_PKEY_free(key);
  EVP_PKEY_free(params);
  EVP_PKEY_CTX_free(kctx);
  EVP_PKEY_CTX_free(pctx);
}

}  // namespace
}  // namespace corvane::keys
