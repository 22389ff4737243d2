#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <string>
#include <vector>

#include "crypto/crypto_errors.h"
#include "crypto/hmac_context.h"
#include "crypto/key_derivation.h"
#include "support/hex.h"

namespace corvane {
namespace {

using testing::Hex;
using testing::Unhex;

struct HmacVector {
  const char* source;
  int id;
  std::string key, data;
  const char* mac;
};

const std::string kLongKeyText = "Test Using Larger Than Block-Size Key - Hash Key First";
const std::string kLongKeyAndData =
    "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data";
const std::string kRfc4231Case7 =
    "This is a test using a larger than block-size key and a larger than block-size data. The key "
    "needs to be hashed before being used by the HMAC algorithm.";

const std::vector<HmacVector>& HmacVectors() {
  static const std::vector<HmacVector> v = {
      {"RFC 2202 HMAC-MD5 case 1", haMD5, std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
      {"RFC 2202 HMAC-MD5 case 2", haMD5, "Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
      {"RFC 2202 HMAC-MD5 case 3", haMD5, std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
      {"RFC 2202 HMAC-MD5 case 6", haMD5, std::string(80, '\xaa'), kLongKeyText, "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
      {"RFC 2202 HMAC-MD5 case 7", haMD5, std::string(80, '\xaa'), kLongKeyAndData, "6f630fad67cda0ee1fb1f562db3aa53e"},
      {"RFC 2202 HMAC-SHA1 case 1", haSHA1, std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00"},
      {"RFC 2202 HMAC-SHA1 case 2", haSHA1, "Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {"RFC 2202 HMAC-SHA1 case 3", haSHA1, std::string(20, '\xaa'), std::string(50, '\xdd'), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {"RFC 2202 HMAC-SHA1 case 6", haSHA1, std::string(80, '\xaa'), kLongKeyText, "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {"RFC 2202 HMAC-SHA1 case 7", haSHA1, std::string(80, '\xaa'), kLongKeyAndData, "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
      {"RFC 4231 4.2", haSHA224, std::string(20, '\x0b'), "Hi There", "896fb1128abbdf196832107cd49df33f47b4b1169912ba4f53684b22"},
      {"RFC 4231 4.2", haSHA256, std::string(20, '\x0b'), "Hi There", "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {"RFC 4231 4.2", haSHA384, std::string(20, '\x0b'), "Hi There",
       "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8b2fa9cb6"},
      {"RFC 4231 4.2", haSHA512, std::string(20, '\x0b'), "Hi There",
       "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274eaea3f4e4"
       "be9d914eeb61f1702e696c203a126854"},
      {"RFC 4231 4.3", haSHA224, "Jefe", "what do ya want for nothing?", "a30e01098bc6dbbf45690f3a7e9e6d0f8bbea2a39e6148008fd05e44"},
      {"RFC 4231 4.3", haSHA256, "Jefe", "what do ya want for nothing?", "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {"RFC 4231 4.3", haSHA384, "Jefe", "what do ya want for nothing?",
       "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ecfab21649"},
      {"RFC 4231 4.3", haSHA512, "Jefe", "what do ya want for nothing?",
       "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65f8f0e6fd"
       "caeab1a34d4a6b4b636e070a38bce737"},
      {"RFC 4231 4.7", haSHA224, std::string(131, '\xaa'), kLongKeyText, "95e9a0db962095adaebe9b2d6f0dbce2d499f112f2d2b7273fa6870e"},
      {"RFC 4231 4.7", haSHA256, std::string(131, '\xaa'), kLongKeyText, "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {"RFC 4231 4.7", haSHA384, std::string(131, '\xaa'), kLongKeyText,
       "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c60c2ef6ab4030fe8296248df163f44952"},
      {"RFC 4231 4.7", haSHA512, std::string(131, '\xaa'), kLongKeyText,
       "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd2215d6a1e52"
       "95e64f73f63f0aec8b915a985d786598"},
      {"RFC 4231 4.8", haSHA224, std::string(131, '\xaa'), kRfc4231Case7, "3a854166ac5d9f023f54d517d0b39dbd946770db9c2b95c9f6f565d1"},
      {"RFC 4231 4.8", haSHA256, std::string(131, '\xaa'), kRfc4231Case7, "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
      {"RFC 4231 4.8", haSHA384, std::string(131, '\xaa'), kRfc4231Case7,
       "6617178e941f020d351e2f254e8fd32c602420feb0b8fb9adccebb82461e99c5a678cc31e799176d3860e6110c46523e"},
      {"RFC 4231 4.8", haSHA512, std::string(131, '\xaa'), kRfc4231Case7,
       "e37b6a775dc87dbaa4dfa9f96e5e3ffddebd71f8867289865df5a32d20cdc944b6022cac3c4982b10d5eeb55c3e4de15"
       "134676fb6de0446065c97440fa8c6a58"},
  };
  return v;
}

std::string Mac(HmacContext& h, const std::string& data) {
  EXPECT_EQ(h.Update(data.data(), static_cast<int>(data.size())), 0);
  EXPECT_EQ(h.Final(), 0);
  return Hex(h.Result().view());
}

// A second MAC with the same key, after an unrelated one, must not see
// anything of the first.
TEST(Hmac, MatchesRfc2202AndRfc4231AndRepeatsWithOneKey) {
  for (const auto& v : HmacVectors()) {
    SCOPED_TRACE(v.source);
    HmacContext h;
    ASSERT_EQ(h.SetKey(v.id, v.key.data(), static_cast<int>(v.key.size())), 0);
    EXPECT_EQ(Mac(h, v.data), v.mac);
    Mac(h, "something else");
    EXPECT_EQ(Mac(h, v.data), v.mac);
  }
}

TEST(Hmac, LongKeyEqualsItsDigestAtEachBlockSizeThreshold) {
  for (int id = 0; id < kHashAlgorithmCount; ++id) {
    const int block = HmacBlockSize(id);
    for (int len : {block, block + 1}) {
      std::string key(static_cast<size_t>(len), '\x5a');
      HashContext digest(id);
      digest.Update(key.data(), len);
      digest.Final();
      HmacContext withKey, withDigest;
      withKey.SetKey(id, key.data(), len);
      withDigest.SetKey(id, digest.Digest().data(), digest.Digest().size());
      const bool hashed = len > block;
      EXPECT_EQ(Mac(withKey, "data") == Mac(withDigest, "data"), hashed) << "id " << id << " key " << len;
    }
  }
}

// A negative key length counts as an empty key; the one-shot appends.
TEST(Hmac, EmptyKeysUnknownIdsAndTheOneShot) {
  HmacContext a, b, unknown;
  a.SetKey(haSHA256, "ignored", -5);
  b.SetKey(haSHA256, "", 0);
  ASSERT_EQ(a.Final(), 0);
  ASSERT_EQ(b.Final(), 0);
  EXPECT_EQ(Hex(a.Result().view()), "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");
  EXPECT_EQ(a.Result().view(), b.Result().view());
  unknown.SetKey(99, "k", 1);
  EXPECT_EQ(unknown.Update("a", 1), kErrUnknownCipher);
  ByteBuffer out("x");
  ASSERT_EQ(HmacMd5("Jefe", "what do ya want for nothing?", out), 0);
  EXPECT_EQ(Hex(out.view()), "78" "750c783e6ab0b503eaa86e310a5db738");
}

TEST(Pbkdf2, MatchesRfc6070) {
  const struct {
    const char* source;
    std::string password, salt;
    int iterations, length;
    const char* key;
  } vectors[] = {
      {"RFC 6070 case 1", "password", "salt", 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {"RFC 6070 case 2", "password", "salt", 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {"RFC 6070 case 3", "password", "salt", 4096, 20, "4b007901b765489abead49d926f721d065a429c1"},
      {"RFC 6070 case 5", "passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
       "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {"RFC 6070 case 6", std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16,
       "56fa6aa75548099dcc37d7f03425e0c3"},
  };
  for (const auto& v : vectors) {
    SCOPED_TRACE(v.source);
    HmacContext h;
    ByteBuffer out;
    ASSERT_EQ(Pbkdf2(h, haSHA1, v.password.data(), static_cast<int>(v.password.size()), v.salt.data(),
                     static_cast<int>(v.salt.size()), v.iterations, v.length * 8, out),
              0);
    EXPECT_EQ(Hex(out.view()), v.key);
  }
}

// Zero iterations give zero blocks; 29 blocks is the longest key.
TEST(Pbkdf2, IterationAndLengthLimits) {
  HmacContext h;
  ByteBuffer out;
  ASSERT_EQ(Pbkdf2(h, haSHA1, "p", 1, "s", 1, 0, 160, out), 0);
  EXPECT_EQ(out.view(), std::string(20, '\0'));
  EXPECT_EQ(Pbkdf2(h, haSHA256, "p", 1, "s", 1, 2, 29 * 32 * 8, out), 0);
  std::string expected(29 * 32, '\0');
  PKCS5_PBKDF2_HMAC("p", 1, reinterpret_cast<const unsigned char*>("s"), 1, 2, EVP_sha256(),
                    static_cast<int>(expected.size()), reinterpret_cast<unsigned char*>(expected.data()));
  EXPECT_EQ(out.view(), expected);
  EXPECT_EQ(Pbkdf2(h, haSHA256, "p", 1, "s", 1, 2, (29 * 32 + 1) * 8, out), 200);
}

TEST(DeriveKeyFromPassword, HmacNamesSelectPbkdf2WithTheirPrf) {
  struct Case {
    const char* name;
    const EVP_MD* md;
  } cases[] = {{"hmacWithSHA1", EVP_sha1()},     {"hmacWithSHA224", EVP_sha224()},
               {"hmacWithSHA256", EVP_sha256()}, {"HMACWITHSHA384", EVP_sha384()},
               {"hmacWithSHA512", EVP_sha512()}, {"hmac-md5", EVP_md5()}};
  for (const auto& c : cases) {
    ByteBuffer out;
    ASSERT_EQ(DeriveKeyFromPassword(3, c.name, "secret", "saltsalt", 8, 40, false, out), 0) << c.name;
    std::string expected(40, '\0');
    PKCS5_PBKDF2_HMAC("secret", 6, reinterpret_cast<const unsigned char*>("saltsalt"), 8, 3, c.md, 40,
                      reinterpret_cast<unsigned char*>(expected.data()));
    EXPECT_EQ(out.view(), expected) << c.name;
  }
}

// The PRF text must come after the first character; an empty name is MD5.
TEST(DeriveKeyFromPassword, NameRules) {
  const std::pair<const char*, int> cases[] = {{"HMAC", kErrUnknownDigest}, {"sha1hmac", 3001}, {"SHA256", 3001},
                                               {"md5 ", 3001}, {"md5", 0}, {"Sha1", 0}, {"MD2", 0}};
  ByteBuffer out, md5;
  for (const auto& [name, rc] : cases) EXPECT_EQ(DeriveKeyFromPassword(1, name, "p", "s", 1, 16, false, out), rc) << name;
  ASSERT_EQ(DeriveKeyFromPassword(1, "", "p", "s", 1, 16, false, out), 0);
  DeriveKeyFromPassword(1, "MD5", "p", "s", 1, 16, false, md5);
  EXPECT_EQ(out.view(), md5.view());
}

TEST(DeriveKeyFromPassword, IteratedDigestMatchesEvpBytesToKey) {
  const unsigned char salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (int iterations : {1, 2, 5}) {
    for (int keyLength : {8, 16, 24, 40}) {
      for (const char* name : {"MD5", "SHA1"}) {
        ByteBuffer out;
        ASSERT_EQ(DeriveKeyFromPassword(iterations, name, "passphrase", salt, 8, keyLength, false, out), 0);
        ASSERT_EQ(out.size(), keyLength);
        // EVP_BytesToKey's key then IV are the first 48 derived bytes.
        unsigned char keyAndIv[48];
        EVP_BytesToKey(EVP_aes_256_cbc(), std::string(name) == "MD5" ? EVP_md5() : EVP_sha1(), salt,
                       reinterpret_cast<const unsigned char*>("passphrase"), 10, iterations, keyAndIv,
                       keyAndIv + 32);
        EXPECT_EQ(out.view(), std::string(reinterpret_cast<char*>(keyAndIv), static_cast<size_t>(keyLength)))
            << name << " iterations " << iterations << " length " << keyLength;
      }
    }
  }
}

TEST(DeriveKeyFromPassword, PasswordFirstWithoutSaltChainsMd5) {
  ByteBuffer out;
  ASSERT_EQ(DeriveKeyFromPassword(1, "MD5", "pw", nullptr, 0, 32, true, out), 0);
  ByteBuffer d1, d2;
  Md5Digest("pw", 2, d1);
  std::string m = "pw" + d1.str();
  Md5Digest(m.data(), static_cast<int>(m.size()), d2);
  EXPECT_EQ(out.view(), d1.str() + d2.str());
}

}  // namespace
}  // namespace corvane
