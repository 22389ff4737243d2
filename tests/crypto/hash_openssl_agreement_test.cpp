// Random messages of random lengths, fed in random pieces, must give the
// digest and HMAC that OpenSSL computes for the whole message.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <random>
#include <string>
#include <vector>

#include "crypto/cpu_features.h"
#include "crypto/hmac_context.h"
#include "crypto_test_util.h"
#include "openssl_provider.h"

namespace corvane {
namespace {

struct Named {
  int id;
  const char* openssl;
};

// MD2 and the pre-standard Keccak are not offered by OpenSSL 3.
constexpr Named kDigests[] = {{haSHA1, "SHA1"},     {haMD5, "MD5"},         {haSHA256, "SHA256"},
                              {haSHA224, "SHA224"}, {haSHA512, "SHA512"},   {haSHA384, "SHA384"},
                              {haRIPEMD160, "RIPEMD160"}, {haMD4, "MD4"}, {haMD5SHA1, "MD5-SHA1"}};

std::string OpenSslDigest(const char* name, const std::string& msg) {
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  EXPECT_NE(md, nullptr) << name;
  if (md == nullptr) return {};
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  EVP_Digest(msg.data(), msg.size(), out, &len, md, nullptr);
  EVP_MD_free(md);
  return std::string(reinterpret_cast<char*>(out), len);
}

std::string OpenSslHmac(const char* name, const std::string& key, const std::string& msg) {
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  if (md == nullptr) return {};
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int len = 0;
  HMAC(md, key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(msg.data()),
       msg.size(), out, &len);
  EVP_MD_free(md);
  return std::string(reinterpret_cast<char*>(out), len);
}

// Splits msg at random points and feeds the pieces to update.
template <class F>
void FeedInPieces(std::mt19937& rng, const std::string& msg, F&& update) {
  size_t pos = 0;
  while (pos < msg.size()) {
    size_t left = msg.size() - pos;
    size_t n = rng() % 4 == 0 ? left : rng() % (left < 300 ? left + 1 : 300);
    update(msg.data() + pos, static_cast<int>(n));
    pos += n;
  }
}

class OpenSslAgreement : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    test::LoadOpenSslProviders();
    detail::ForcePortable(GetParam());
  }
  void TearDown() override { detail::ForcePortable(false); }
};

TEST_P(OpenSslAgreement, DigestsOfRandomMessagesInRandomPieces) {
  std::mt19937 rng(1234);
  for (const auto& d : kDigests) {
    for (int round = 0; round < 60; ++round) {
      const size_t len = round < 40 ? rng() % 300 : rng() % 5000;
      const std::string msg = test::RandomBytes(rng, len);
      HashContext h(d.id);
      FeedInPieces(rng, msg, [&](const char* p, int n) { ASSERT_EQ(h.Update(p, n), 0); });
      ASSERT_EQ(h.Final(), 0);
      ASSERT_EQ(test::Hex(h.Digest().view()), test::Hex(OpenSslDigest(d.openssl, msg)))
          << d.openssl << " length " << len;
    }
  }
}

// Lengths around every block end and length field (64- and 128-byte blocks,
// the Keccak rates): each cut of the message gives the one-call digest, which
// is OpenSSL's where OpenSSL has the algorithm.
TEST_P(OpenSslAgreement, DigestsAtPaddingBoundariesInTwoPieces) {
  std::vector<size_t> lengths = {0, 1, 55, 56, 57, 63, 64, 65, 71, 72, 103, 104, 135, 136, 143, 144, 191, 192};
  for (size_t n = 111; n <= 129; ++n) lengths.push_back(n);
  std::mt19937 rng(7);
  for (int id = 0; id < kHashAlgorithmCount; ++id) {
    const char* openssl = nullptr;
    for (const auto& d : kDigests) {
      if (d.id == id) openssl = d.openssl;
    }
    for (size_t n : lengths) {
      const std::string msg = test::RandomBytes(rng, n);
      HashContext whole(id);
      ASSERT_EQ(whole.Update(msg.data(), static_cast<int>(n)), 0);
      ASSERT_EQ(whole.Final(), 0);
      if (openssl != nullptr) {
        EXPECT_EQ(test::Hex(whole.Digest().view()), test::Hex(OpenSslDigest(openssl, msg))) << openssl << " length " << n;
      }
      for (size_t cut = 0; cut <= n; cut += (n > 20 ? 7 : 1)) {
        HashContext h(id);
        h.Update(msg.data(), static_cast<int>(cut));
        h.Update(msg.data() + cut, static_cast<int>(n - cut));
        h.Final();
        ASSERT_EQ(h.Digest().view(), whole.Digest().view()) << "id " << id << " length " << n << " cut " << cut;
      }
    }
  }
}

TEST_P(OpenSslAgreement, HmacsOfRandomKeysAndMessages) {
  std::mt19937 rng(99);
  for (const auto& d : kDigests) {
    if (d.id == haMD5SHA1) continue;
    HmacContext h;
    std::string key;
    for (int round = 0; round < 30; ++round) {
      // Every third MAC reuses the previous key without setting it again.
      if (round % 3 != 1) {
        key = test::RandomBytes(rng, rng() % 200);
        h.SetKey(d.id, key.data(), static_cast<int>(key.size()));
      }
      const std::string msg = test::RandomBytes(rng, rng() % 3000);
      FeedInPieces(rng, msg, [&](const char* p, int n) { ASSERT_EQ(h.Update(p, n), 0); });
      ASSERT_EQ(h.Final(), 0);
      ASSERT_EQ(test::Hex(h.Result().view()), test::Hex(OpenSslHmac(d.openssl, key, msg)))
          << d.openssl << " key " << key.size() << " length " << msg.size();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothBlockFunctions, OpenSslAgreement, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Portable" : "Native"; });

}  // namespace
}  // namespace corvane
