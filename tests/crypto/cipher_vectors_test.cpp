// Known-answer tests for every cipher through CipherContext, from the
// algorithms' own publications.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cpu_features.h"
#include "crypto/cipher_context.h"
#include "support/hex.h"

namespace corvane {
namespace {

using testing::Hex;
using testing::Unhex;

struct CipherVector {
  const char* source;
  int algorithm, mode;
  const char *key, *iv, *plain, *cipher;
  int effectiveBits = 0;  // RC2 only
  int feedback = 0;
};

const char* const kSp80038aPlain =
    "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710";

const std::vector<CipherVector>& Vectors() {
  static const std::vector<CipherVector> v = {
      {"FIPS 197 C.1", caAES, cmECB, "000102030405060708090a0b0c0d0e0f", "", "00112233445566778899aabbccddeeff",
       "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"FIPS 197 C.2", caAES, cmECB, "000102030405060708090a0b0c0d0e0f1011121314151617", "",
       "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"FIPS 197 C.3", caAES, cmECB, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "",
       "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
      {"NIST SP 800-38A F.1.1 ECB-AES128", caAES, cmECB, "2b7e151628aed2a6abf7158809cf4f3c", "", kSp80038aPlain,
       "3ad77bb40d7a3660a89ecaf32466ef97f5d3d58503b9699de785895a96fdbaaf"
       "43b1cd7f598ece23881b00e3ed0306887b0c785e27e8ad3f8223207104725dd4"},
      {"NIST SP 800-38A F.2.1 CBC-AES128", caAES, cmCBC, "2b7e151628aed2a6abf7158809cf4f3c",
       "000102030405060708090a0b0c0d0e0f", kSp80038aPlain,
       "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
       "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
      {"NIST SP 800-38A F.3.13 CFB128-AES128", caAES, cmCFB, "2b7e151628aed2a6abf7158809cf4f3c",
       "000102030405060708090a0b0c0d0e0f", kSp80038aPlain,
       "3b3fd92eb72dad20333449f8e83cfb4ac8a64537a0b3a93fcde3cdad9f1ce58b"
       "26751f67a3cbb140b1808cf187a4f4dfc04b05357c5d1c0eeac4c66f9ff7f2e6"},
      {"NIST SP 800-38A F.3.7 CFB8-AES128", caAES, cmCFB, "2b7e151628aed2a6abf7158809cf4f3c",
       "000102030405060708090a0b0c0d0e0f", "6bc1bee22e409f96e93d7e117393172aae2d", "3b79424c9c0dd436bace9e0ed4586a4f32b9",
       0, 8},
      {"NIST SP 800-38A F.4.1 OFB-AES128", caAES, cmOFB, "2b7e151628aed2a6abf7158809cf4f3c",
       "000102030405060708090a0b0c0d0e0f", kSp80038aPlain,
       "3b3fd92eb72dad20333449f8e83cfb4a7789508d16918f03f53c52dac54ed825"
       "9740051e9c5fecf64344f7a82260edcc304c6528f659c77866a510d9c1d6ae5e"},
      {"FIPS 81 appendix B", caDES, cmECB, "0123456789abcdef", "", "4e6f772069732074", "3fa40e8a984d4815"},
      {"FIPS 46 worked example", caDES, cmECB, "133457799bbcdff1", "", "0123456789abcdef", "85e813540f0ab405"},
      {"NIST SP 800-20 variable plaintext 1", caDES, cmECB, "0101010101010101", "", "8000000000000000", "95f8a5e5dd31d900"},
      {"NIST SP 800-20 variable plaintext 2", caDES, cmECB, "0101010101010101", "", "4000000000000000", "dd7f121ca5015619"},
      {"NIST SP 800-20 variable plaintext 3", caDES, cmECB, "0101010101010101", "", "2000000000000000", "2e8653104f3834ea"},
      {"NIST SP 800-20 variable key 1", caDES, cmECB, "8001010101010101", "", "0000000000000000", "95a8d72813daa94d"},
      {"NIST SP 800-20 variable key 2", caDES, cmECB, "4001010101010101", "", "0000000000000000", "0eec1487dd8c26d5"},
      {"LM hash constant, empty password", caDES, cmECB, "0101010101010101", "", "4b47532140232425", "aad3b435b51404ee"},
      {"FIPS 81 appendix C (CBC)", caDES, cmCBC, "0123456789abcdef", "1234567890abcdef",
       "4e6f77206973207468652074696d6520666f7220616c6c20",
       "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6"},
      {"NIST SP 800-67 Rev. 1 B.1", caTripleDES, cmECB, "0123456789abcdef23456789abcdef01456789abcdef0123", "",
       "5468652071756663 6b2062726f776e20 666f78206a756d70",
       "a826fd8ce53b855fcce21c8112256fe668d5c05dd9b6b900"},
      {"RFC 2144 B.1, 128-bit key", caCAST128, cmECB, "0123456712345678234567893456789a", "", "0123456789abcdef",
       "238b4fe5847e44b2"},
      {"RFC 2144 B.1, 80-bit key", caCAST128, cmECB, "01234567123456782345", "", "0123456789abcdef",
       "eb6a711a2c02271b"},
      {"RFC 2144 B.1, 40-bit key", caCAST128, cmECB, "0123456712", "", "0123456789abcdef", "7ac816d16e9b302e"},
      {"Schneier's Blowfish vectors", caBlowfish, cmECB, "0000000000000000", "", "0000000000000000", "4ef997456198dd78"},
      {"Schneier's Blowfish vectors", caBlowfish, cmECB, "ffffffffffffffff", "", "ffffffffffffffff", "51866fd5b85ecb8a"},
      {"Schneier's Blowfish vectors", caBlowfish, cmECB, "3000000000000000", "", "1000000000000001", "7d856f9a613063f2"},
      {"Schneier's Blowfish vectors", caBlowfish, cmECB, "1111111111111111", "", "1111111111111111", "2466dd878b963c9d"},
      {"Schneier's Blowfish vectors", caBlowfish, cmECB, "0123456789abcdef", "", "1111111111111111", "61f9c3802281b096"},
      {"Schneier's Blowfish vectors", caBlowfish, cmECB, "fedcba9876543210", "", "0123456789abcdef", "0acea b0fc6a0a28d"},
      {"Twofish paper, 128-bit zero key", caTwofish, cmECB, "00000000000000000000000000000000", "",
       "00000000000000000000000000000000", "9f589f5cf6122c32b6bfec2f2ae8c35a"},
      {"Twofish paper, 192-bit key", caTwofish, cmECB, "0123456789abcdeffedcba98765432100011223344556677", "",
       "00000000000000000000000000000000", "cfd1d2e5a9be9cdf501f13b892bd2248"},
      {"Twofish paper, 256-bit key", caTwofish, cmECB,
       "0123456789abcdeffedcba987654321000112233445566778899aabbccddeeff", "", "00000000000000000000000000000000",
       "37527be0052334b89f0cfccae87cfa20"},
      {"IDEA (Lai, Massey) test vector", caIDEA, cmECB, "00010002000300040005000600070008", "", "0000000100020003",
       "11fbed2b01986de5"},
      {"RC4 \"Key\"/\"Plaintext\"", caRC4, cmCBC, "4b6579", "", "506c61696e74657874", "bbf316e8d940af0ad3"},
      {"RC4 \"Wiki\"/\"pedia\"", caRC4, cmCBC, "57696b69", "", "7065646961", "1021bf0420"},
      {"RC4 \"Secret\"/\"Attack at dawn\"", caRC4, cmCBC, "536563726574", "", "41747461636b206174206461776e",
       "45a01f645fc35b383552544b9bf5"},
      {"RFC 2268 5, 63 effective bits", caRC2, cmECB, "0000000000000000", "", "0000000000000000", "ebb773f993278eff", 63},
      {"RFC 2268 5", caRC2, cmECB, "ffffffffffffffff", "", "ffffffffffffffff", "278b27e42e2f0d49", 64},
      {"RFC 2268 5", caRC2, cmECB, "3000000000000000", "", "1000000000000001", "30649edf9be7d2c2", 64},
      {"RFC 2268 5", caRC2, cmECB, "88", "", "0000000000000000", "61a8a244adacccf0", 64},
      {"RFC 2268 5", caRC2, cmECB, "88bca90e90875a", "", "0000000000000000", "6ccf4308974c267f", 64},
      {"RFC 2268 5", caRC2, cmECB, "88bca90e90875a7f0f79c384627bafb2", "", "0000000000000000", "1a807d272bbe5db1", 64},
      {"RFC 2268 5", caRC2, cmECB, "88bca90e90875a7f0f79c384627bafb2", "", "0000000000000000", "2269552ab0f85ca6", 128},
      {"RFC 2268 5, 129 effective bits", caRC2, cmECB,
       "88bca90e90875a7f0f79c384627bafb216f80a6f85920584c42fceb0be255daf1e", "", "0000000000000000",
       "5b78d3a43dfff1f1", 129},
      {"TEA (Wheeler, Needham), zero key and block", caTEA, cmECB, "00000000000000000000000000000000", "",
       "0000000000000000", "41ea3a0a94baa940"},
      {"XTEA (Needham, Wheeler 1997)", caXTEA, cmECB, "000102030405060708090a0b0c0d0e0f", "", "4142434445464748",
       "497df3d072612cb5"},
      // Block TEA as printed in the "Correction to xtea" report, on big-endian
      // words; the round count depends on the word count.
      {"XXTEA, 2 words", caXXTEA, cmECB, "000102030405060708090a0b0c0d0e0f", "", "010e1b2835424f5c", "4af947fb0d0a66a4"},
      {"XXTEA, 3 words", caXXTEA, cmECB, "000102030405060708090a0b0c0d0e0f", "", "010e1b2835424f5c69768390",
       "ef0c07cd18ebfc2f1c68074d"},
      {"XXTEA, 5 words", caXXTEA, cmECB, "000102030405060708090a0b0c0d0e0f", "", "010e1b2835424f5c697683909daab7c4d1deebf8",
       "5c2a7e49432c2fdc007344e9eadb5a9f11790b98"},
  };
  return v;
}

std::string Crypt(const CipherVector& v, bool decrypt, const std::string& input) {
  CipherContext c;
  c.SetAlgorithm(v.algorithm);
  c.SetMode(v.mode);
  c.SetDecrypting(decrypt);
  c.SetEffectiveKeyBits(v.effectiveBits);
  c.SetFeedbackSize(v.feedback);
  const std::string key = Unhex(v.key), iv = Unhex(v.iv);
  EXPECT_EQ(c.SetKey(key.data(), static_cast<int>(key.size()), iv.data(), static_cast<int>(iv.size())), 0);
  ByteBuffer out;
  const int rc = decrypt ? c.Decrypt(input.data(), 0, static_cast<int>(input.size()), out)
                         : c.Encrypt(input.data(), 0, static_cast<int>(input.size()), out);
  EXPECT_EQ(rc, 0);
  return out.str();
}

class CipherVectors : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { detail::ForcePortable(GetParam()); }
  void TearDown() override { detail::ForcePortable(false); }
};

TEST_P(CipherVectors, EncryptAndDecryptPublishedKnownAnswers) {
  for (const auto& v : Vectors()) {
    SCOPED_TRACE(std::string(v.source) + " key " + v.key);
    const std::string plain = Unhex(v.plain), cipher = Unhex(v.cipher);
    EXPECT_EQ(Hex(Crypt(v, false, plain)), Hex(cipher));
    EXPECT_EQ(Hex(Crypt(v, true, cipher)), Hex(plain));
  }
}

INSTANTIATE_TEST_SUITE_P(BothImplementations, CipherVectors, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Portable" : "Native"; });

}  // namespace
}  // namespace corvane
