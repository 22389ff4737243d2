// Random keys, IVs and messages of random lengths, processed in random
// pieces where the mode allows, must match OpenSSL's EVP ciphers.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <cstdio>
#include <random>
#include <string>

#include "crypto/cipher_context.h"
#include "crypto/cpu_features.h"
#include "crypto_test_util.h"
#include "openssl_provider.h"

namespace corvane {
namespace {

struct Pairing {
  const char* openssl;
  int algorithm;
  int mode;
  int feedback;
  int keyLength;
};

constexpr Pairing kPairings[] = {
    {"AES-128-CBC", caAES, cmCBC, 0, 16},       {"AES-192-CBC", caAES, cmCBC, 0, 24},
    {"AES-256-CBC", caAES, cmCBC, 0, 32},       {"AES-128-ECB", caAES, cmECB, 0, 16},
    {"AES-256-ECB", caAES, cmECB, 0, 32},       {"AES-128-OFB", caAES, cmOFB, 0, 16},
    {"AES-192-CFB", caAES, cmCFB, 0, 24},       {"AES-256-CFB8", caAES, cmCFB, 8, 32},
    {"DES-CBC", caDES, cmCBC, 0, 8},            {"DES-ECB", caDES, cmECB, 0, 8},
    {"DES-OFB", caDES, cmOFB, 0, 8},            {"DES-CFB", caDES, cmCFB, 0, 8},
    {"DES-EDE3-CBC", caTripleDES, cmCBC, 0, 24}, {"DES-EDE-CBC", caTripleDES, cmCBC, 0, 16},
    {"DES-EDE3-CFB", caTripleDES, cmCFB, 0, 24}, {"DES-EDE3-CFB8", caTripleDES, cmCFB, 8, 24},
    {"DES-EDE3-OFB", caTripleDES, cmOFB, 0, 24}, {"DES-EDE3-ECB", caTripleDES, cmECB, 0, 24},
    {"CAST5-CBC", caCAST128, cmCBC, 0, 16},     {"CAST5-ECB", caCAST128, cmECB, 0, 10},
    {"BF-CBC", caBlowfish, cmCBC, 0, 16},       {"BF-ECB", caBlowfish, cmECB, 0, 56},
    {"BF-CFB", caBlowfish, cmCFB, 0, 5},        {"IDEA-CBC", caIDEA, cmCBC, 0, 16},
    {"IDEA-OFB", caIDEA, cmOFB, 0, 16},         {"RC2-CBC", caRC2, cmCBC, 0, 16},
    {"RC2-ECB", caRC2, cmECB, 0, 7},            {"RC4", caRC4, cmCBC, 0, 16},
    {"RC4", caRC4, cmCBC, 0, 5},
};

std::string OpenSsl(const Pairing& p, bool encrypt, bool pad, const std::string& key, const std::string& iv,
                    const std::string& in) {
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, p.openssl, nullptr);
  EXPECT_NE(cipher, nullptr) << p.openssl;
  if (cipher == nullptr) return {};

  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex2(ctx, cipher, nullptr, nullptr, encrypt ? 1 : 0, nullptr);
  EVP_CIPHER_CTX_set_key_length(ctx, static_cast<int>(key.size()));
  if (p.algorithm == caRC2) EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_SET_RC2_KEY_BITS, static_cast<int>(key.size()) * 8, nullptr);
  EVP_CipherInit_ex2(ctx, nullptr, reinterpret_cast<const unsigned char*>(key.data()),
                     iv.empty() ? nullptr : reinterpret_cast<const unsigned char*>(iv.data()), encrypt ? 1 : 0,
                     nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0);
  std::string out(in.size() + 32, '\0');
  int n1 = 0, n2 = 0;
  EVP_CipherUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &n1,
                   reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()));
  EVP_CipherFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + n1, &n2);
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  out.resize(static_cast<size_t>(n1 + n2));
  return out;
}

class CipherOpenSslAgreement : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    test::LoadOpenSslProviders();
    detail::ForcePortable(GetParam());
  }
  void TearDown() override { detail::ForcePortable(false); }
};

TEST_P(CipherOpenSslAgreement, RandomMessagesInRandomPieces) {
  std::mt19937 rng(2024);
  for (const auto& p : kPairings) {
    // Some distributions build OpenSSL without IDEA; the published vector
    // still covers it then.
    if (EVP_CIPHER* probe = EVP_CIPHER_fetch(nullptr, p.openssl, nullptr)) {
      EVP_CIPHER_free(probe);
    } else {
      std::printf("OpenSSL offers no %s here; skipped\n", p.openssl);
      continue;
    }
    const bool blockMode = p.algorithm != caRC4 && (p.mode == cmCBC || p.mode == cmECB);
    const int block = p.algorithm == caAES ? 16 : 8;
    for (int round = 0; round < 24; ++round) {
      const std::string key = test::RandomBytes(rng, static_cast<size_t>(p.keyLength));
      const std::string iv = p.mode == cmECB || p.algorithm == caRC4 ? "" : test::RandomBytes(rng, static_cast<size_t>(block));
      size_t len = rng() % 700;
      const bool pad = blockMode && round % 2 == 1;
      if (blockMode && !pad) len -= len % static_cast<size_t>(block);
      const std::string plain = test::RandomBytes(rng, len);
      const std::string expected = OpenSsl(p, true, pad, key, iv, plain);

      // Padded messages go in one call (every call pads); the others in
      // random pieces, whole blocks where the mode needs them.
      auto run = [&](bool decrypt, const std::string& in, ByteBuffer& out) {
        CipherContext c;
        c.SetAlgorithm(p.algorithm);
        c.SetMode(p.mode);
        c.SetFeedbackSize(p.feedback);
        c.SetPadding(pad ? cpPKCS7 : cpNone);
        c.SetDecrypting(decrypt);
        ASSERT_EQ(c.SetKey(key.data(), p.keyLength, iv.data(), static_cast<int>(iv.size())), 0);
        for (size_t pos = 0; pos < in.size() || (pos == 0 && pad);) {
          size_t n = pad ? in.size() : rng() % (in.size() - pos + 1);
          if (blockMode && !pad) n -= n % static_cast<size_t>(block);
          if (n == 0 && !pad) n = std::min(in.size() - pos, static_cast<size_t>(blockMode ? block : 1));
          ASSERT_EQ(decrypt ? c.Decrypt(in.data(), static_cast<int>(pos), static_cast<int>(n), out)
                            : c.Encrypt(in.data(), static_cast<int>(pos), static_cast<int>(n), out),
                    0);
          pos += n;
          if (pad) break;
        }
      };
      ByteBuffer out, back;
      run(false, plain, out);
      ASSERT_EQ(test::Hex(out.view()), test::Hex(expected)) << p.openssl << " length " << len << " pad " << pad;
      run(true, expected, back);
      ASSERT_EQ(back.view(), plain) << p.openssl;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothImplementations, CipherOpenSslAgreement, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Portable" : "Native"; });

}  // namespace
}  // namespace corvane
