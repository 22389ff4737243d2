// Known-answer tests for every digest, run through HashContext and (where the
// machine has them) both the accelerated and the portable block functions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cpu_features.h"
#include "crypto/crypto_errors.h"
#include "crypto/hash_context.h"
#include "crypto/sha1.h"
#include "support/every_split.h"
#include "support/hex.h"

namespace corvane {
namespace {

using testing::Hex;

struct DigestVector {
  const char* source;
  int id;
  std::string message;
  const char* digest;
};

const std::string kAlnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const std::string kDigits80 =
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
const std::string kTwoBlock = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string kTwoBlock512 =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";
const std::string kMillionA(1000000, 'a');
const std::string kFox = "The quick brown fox jumps over the lazy dog";

const std::vector<DigestVector>& Vectors() {
  static const std::vector<DigestVector> v = {
      {"RFC 1319 A.5", haMD2, "", "8350e5a3e24c153df2275c9f80692773"},
      {"RFC 1319 A.5", haMD2, "a", "32ec01ec4a6dac72c0ab96fb34c0b5d1"},
      {"RFC 1319 A.5", haMD2, "abc", "da853b0d3f88d99b30283a69e6ded6bb"},
      {"RFC 1319 A.5", haMD2, "message digest", "ab4f496bfb2a530b219ff33031fe06b0"},
      {"RFC 1319 A.5", haMD2, "abcdefghijklmnopqrstuvwxyz", "4e8ddff3650292ab5a4108c3aa47940b"},
      {"RFC 1319 A.5", haMD2, kAlnum, "da33def2a42df13975352846c30338cd"},
      {"RFC 1319 A.5", haMD2, kDigits80, "d5976f79d83d3a0dc9806c3c66f3efd8"},

      {"RFC 1320 A.5", haMD4, "", "31d6cfe0d16ae931b73c59d7e0c089c0"},
      {"RFC 1320 A.5", haMD4, "a", "bde52cb31de33e46245e05fbdbd6fb24"},
      {"RFC 1320 A.5", haMD4, "abc", "a448017aaf21d8525fc10ae87aa6729d"},
      {"RFC 1320 A.5", haMD4, "message digest", "d9130a8164549fe818874806e1c7014b"},
      {"RFC 1320 A.5", haMD4, "abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
      {"RFC 1320 A.5", haMD4, kAlnum, "043f8582f241db351ce627e153e7f0e4"},
      {"RFC 1320 A.5", haMD4, kDigits80, "e33b4ddc9c38f2199c3e7b164fcc0536"},

      {"RFC 1321 A.5", haMD5, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {"RFC 1321 A.5", haMD5, "a", "0cc175b9c0f1b6a831c399e269772661"},
      {"RFC 1321 A.5", haMD5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"RFC 1321 A.5", haMD5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"RFC 1321 A.5", haMD5, "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"RFC 1321 A.5", haMD5, kAlnum, "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"RFC 1321 A.5", haMD5, kDigits80, "57edf4a22be3c955ac49da2e2107b67a"},

      {"FIPS 180-4 example SHA1 one block", haSHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"FIPS 180-4 example SHA1 two blocks", haSHA1, kTwoBlock, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {"FIPS 180-4 example SHA1 long message", haSHA1, kMillionA, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},

      {"FIPS 180-4 example SHA224 one block", haSHA224, "abc", "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
      {"FIPS 180-4 example SHA224 two blocks", haSHA224, kTwoBlock, "75388b16512776cc5dba5da1fd890150b0c6455cb4f58b1952522525"},
      {"FIPS 180-4 example SHA224 long message", haSHA224, kMillionA, "20794655980c91d8bbb4c1ea97618a4bf03f42581948b2ee4ee7ad67"},

      {"FIPS 180-4 example SHA256 one block", haSHA256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"FIPS 180-4 example SHA256 two blocks", haSHA256, kTwoBlock, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"FIPS 180-4 example SHA256 long message", haSHA256, kMillionA, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},

      {"FIPS 180-4 example SHA384 one block", haSHA384, "abc",
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
      {"FIPS 180-4 example SHA384 two blocks", haSHA384, kTwoBlock512,
       "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039"},
      {"FIPS 180-4 example SHA384 long message", haSHA384, kMillionA,
       "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd87f3d8985"},

      {"FIPS 180-4 example SHA512 one block", haSHA512, "abc",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
       "454d4423643ce80e2a9ac94fa54ca49f"},
      {"FIPS 180-4 example SHA512 two blocks", haSHA512, kTwoBlock512,
       "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433a"
       "c7d329eeb6dd26545e96e55b874be909"},
      {"FIPS 180-4 example SHA512 long message", haSHA512, kMillionA,
       "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31b"
       "eb009c5c2c49aa2e4eadb217ad8cc09b"},

      {"RIPEMD-160 paper, appendix", haRIPEMD160, "", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
      {"RIPEMD-160 paper, appendix", haRIPEMD160, "a", "0bdc9d2d256b3ee9daae347be6f4dc835a467ffe"},
      {"RIPEMD-160 paper, appendix", haRIPEMD160, "abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
      {"RIPEMD-160 paper, appendix", haRIPEMD160, "message digest", "5d0689ef49d2fae572b881b123a85ffa21595f36"},
      {"RIPEMD-160 paper, appendix", haRIPEMD160, "abcdefghijklmnopqrstuvwxyz", "f71c27109c692c1b56bbdceb5b9d2865b3708dbc"},
      {"RIPEMD-160 paper, appendix", haRIPEMD160, kTwoBlock, "12a053384a9c0c88e405a06c27dcf49ada62eb2b"},
      {"RIPEMD-160 paper, appendix", haRIPEMD160, kAlnum, "b0e20b6e3116640286ed3a87a5713079b21f5189"},
      {"RIPEMD-160 paper, appendix", haRIPEMD160, kDigits80, "9b752e45573d4b39f4dbd3323cab82bf63326bfb"},
      {"RIPEMD-160 paper, appendix", haRIPEMD160, kMillionA, "52783243c1697bdbe16d37f97f68f08325dc1528"},

      {"RFC 1321 A.5 + FIPS 180-4 example", haMD5SHA1, "abc",
       "900150983cd24fb0d6963f7d28e17f72a9993e364706816aba3e25717850c26c9cd0d89d"},

      {"Keccak round 3 submission, ShortMsgKAT_224 Len=0", haKeccak224, "",
       "f71837502ba8e10837bdd8d365adb85591895602fc552b48b7390abd"},
      {"Keccak round 3 submission, ShortMsgKAT_256 Len=0", haKeccak256, "",
       "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470"},
      {"Keccak round 3 submission, ShortMsgKAT_384 Len=0", haKeccak384, "",
       "2c23146a63a29acf99e73b88f8c24eaa7dc60aa771780ccc006afbfa8fe2479b2dd2b21362337441ac12b515911957ff"},
      {"Keccak round 3 submission, ShortMsgKAT_512 Len=0", haKeccak512, "",
       "0eab42de4c3ceb9235fc91acffe746b29c29a8c366b7c60e4e67c466f36a4304c00fa9caf9d87976ba469bcbe06713b4"
       "35f091ef2769fb160cdab33d3670680e"},
      {"Keccak-256 of \"abc\" (pre-FIPS 202 padding)", haKeccak256, "abc",
       "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45"},
      {"Keccak-256 of the fox sentence (pre-FIPS 202 padding)", haKeccak256, kFox,
       "4d741b6f1eb29cb2a9b9911c82f56fa8d73b04959d3d9d222895df6c0b28aa15"},
      {"Keccak-512 of the fox sentence (pre-FIPS 202 padding)", haKeccak512, kFox,
       "d135bb84d0439dbac432247ee573a23ea7d3c9deb2a968eb31d47c4fb45f1ef4422d6c531b5b9bd6f449ebcc449ea94d"
       "0a8f05f62130fda612da53c79659f609"},
  };
  return v;
}

std::string DigestOf(int id, const std::string& message) {
  HashContext h(id);
  EXPECT_EQ(h.Update(message.data(), static_cast<int>(message.size())), 0);
  EXPECT_EQ(h.Final(), 0);
  return h.Digest().str();
}

// Each block function this machine can run: the fastest it has, AVX2 without
// AVX-512, and the portable code.
class DigestVectors : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    if (GetParam() == "WithoutAvx512") detail::ForceWithoutAvx512(true);
    if (GetParam() == "Portable") detail::ForcePortable(true);
  }
  void TearDown() override { detail::ForcePortable(false); }
};

TEST_P(DigestVectors, MatchPublishedKnownAnswers) {
  for (const auto& v : Vectors()) {
    SCOPED_TRACE(std::string(v.source) + " id " + std::to_string(v.id) + " length " +
                 std::to_string(v.message.size()));
    EXPECT_EQ(Hex(DigestOf(v.id, v.message)), v.digest);
  }
}

// Lengths around every block end and length field (64- and 128-byte blocks,
// the Keccak rates), fed cut anywhere, give the one-call digest. A whole run
// goes to the block functions several blocks per call (two at a time in the
// vector code), one byte at a time only ever one block per call.
TEST_P(DigestVectors, EveryCutGivesTheWholeMessageDigest) {
  std::string message(400, '\0');
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i * 131 + 7);
  for (int id = 0; id < kHashAlgorithmCount; ++id) {
    for (size_t n : {55, 56, 57, 64, 71, 72, 104, 111, 112, 128, 136, 144, 200, 256, 384}) {
      const std::string whole = DigestOf(id, message.substr(0, n));
      testing::ForEachSplit(std::string_view(message).substr(0, n), [&](const testing::Pieces& pieces, const std::string& how) {
        HashContext h(id);
        for (std::string_view p : pieces) h.Update(p.data(), static_cast<int>(p.size()));
        h.Final();
        ASSERT_EQ(h.Digest().view(), whole) << "id " << id << " length " << n << " " << how;
      });
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EachBlockFunction, DigestVectors,
                         ::testing::Values("Native", "WithoutAvx512", "Portable"),
                         [](const auto& info) { return info.param; });

TEST(HashContext, UnknownIdFailsWith2001AndMissingRecordWith200) {
  HashContext unknown;
  EXPECT_EQ(unknown.SetAlgorithm(14), 0);
  EXPECT_EQ(unknown.Update("a", 1), kErrUnknownCipher);
  EXPECT_EQ(unknown.Final(), kErrUnknownCipher);
  unknown.SetAlgorithm(-3);
  EXPECT_EQ(unknown.Update("a", 1), 2001);

  HashContext never;
  EXPECT_EQ(never.Update("a", 1), 200);
  EXPECT_EQ(never.Final(), 200);
}

// Setting the id again discards pending input; Final starts a new message
// with the same algorithm.
TEST(HashContext, SetAlgorithmAndFinalStartANewMessage) {
  for (int id = 0; id < kHashAlgorithmCount; ++id) {
    HashContext h(id);
    h.Update("garbage", 7);
    h.SetAlgorithm(id);
    h.Update("abc", 3);
    h.Final();
    const std::string first = h.Digest().str();
    EXPECT_EQ(first, DigestOf(id, "abc")) << id;
    h.Update("abc", 3);
    h.Final();
    EXPECT_EQ(h.Digest().str(), first) << id;
  }
}

// SHA-1 with its length cap brought down to 3 bytes, reachable in a test.
struct ShortCappedSha1 : detail::Sha1Algo {
  static constexpr uint64_t kMaxBytes = 3;
};

TEST(Sha1, OverflowOfTheBitCountStopsHashingAndYieldsNoDigest) {
  detail::MdHash<ShortCappedSha1> s;
  EXPECT_EQ(s.Update("ab", 2), 0);
  EXPECT_EQ(s.Update("cd", 2), 1);  // refused whole, not hashed in part
  EXPECT_EQ(s.Update("c", 1), 1);   // and the message stays refused
  EXPECT_EQ(s.Final(), nullptr);
  s.Init();
  EXPECT_EQ(s.Update("ab", 2), 0);
  EXPECT_EQ(s.Update("c", 1), 0);
  ASSERT_NE(s.Final(), nullptr);
}

TEST(Digests, OneShotsAndHex) {
  ByteBuffer out("x");
  ASSERT_EQ(Md4Digest("abc", 3, out), 0);
  EXPECT_EQ(Hex(out.view()), "a448017aaf21d8525fc10ae87aa6729d");
  ASSERT_EQ(Md5Digest("", 0, out), 0);
  EXPECT_EQ(Hex(out.view()), "d41d8cd98f00b204e9800998ecf8427e");
  ASSERT_EQ(Sha256Digest("abc", 3, out), 0);
  EXPECT_EQ(out.size(), 32);
  ByteBuffer hex("md5=");
  ASSERT_EQ(AppendHex("\x01\xab\xff", 3, hex), 0);
  EXPECT_EQ(hex.view(), "md5=01abff");
}

}  // namespace
}  // namespace corvane
