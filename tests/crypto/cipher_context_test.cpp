#include <gtest/gtest.h>

#include <string>

#include "core/cpu_features.h"
#include "crypto/cipher_context.h"
#include "crypto/crypto_errors.h"
#include "support/every_split.h"
#include "support/hex.h"

namespace corvane {
namespace {

using testing::Hex;
using testing::Unhex;

const std::string kAesKey = Unhex("2b7e151628aed2a6abf7158809cf4f3c");
const std::string kIv = Unhex("000102030405060708090a0b0c0d0e0f");

struct CipherSetup {
  int algorithm = caAES, mode = cmECB, padding = cpNone;
  std::string key = kAesKey;
  std::string iv = kIv;
  int feedback = 0;
  int rounds = 0;  // 0: the algorithm's own count
};

void Configure(CipherContext& c, const CipherSetup& s, bool decrypt) {
  c.SetAlgorithm(s.algorithm);
  c.SetMode(s.mode);
  c.SetPadding(s.padding);
  c.SetFeedbackSize(s.feedback);
  c.SetDecrypting(decrypt);
  if (s.rounds != 0) c.SetRounds(s.rounds);
  ASSERT_EQ(c.SetKey(s.key.data(), static_cast<int>(s.key.size()), s.iv.data(), static_cast<int>(s.iv.size())), 0);
}

// Runs the pieces through one context; returns the first failing code.
int RunCipher(const CipherSetup& s, bool decrypt, const testing::Pieces& pieces, std::string& out) {
  CipherContext c;
  Configure(c, s, decrypt);
  ByteBuffer buffer;
  int rc = 0;
  for (std::string_view p : pieces) {
    if (rc == 0) {
      rc = decrypt ? c.Decrypt(p.data(), 0, static_cast<int>(p.size()), buffer)
                   : c.Encrypt(p.data(), 0, static_cast<int>(p.size()), buffer);
    }
  }
  out = buffer.str();
  return rc;
}
int RunCipher(const CipherSetup& s, bool decrypt, std::string_view in, std::string& out) {
  return RunCipher(s, decrypt, testing::Pieces{in}, out);
}

// The chaining register carries over between calls: a message cut anywhere
// (at block ends in CBC and ECB) gives what it gives whole, both ways.
TEST(CipherContext, PiecesGiveTheWholeMessageResult) {
  const std::string k = Unhex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  struct Case {
    const char* name;
    int algorithm, mode, feedback, keyLength, block;
  } cases[] = {
      {"AES CBC", caAES, cmCBC, 0, 16, 16},         {"AES-192 CBC", caAES, cmCBC, 0, 24, 16},
      {"AES ECB", caAES, cmECB, 0, 16, 16},         {"AES CFB", caAES, cmCFB, 0, 24, 1},
      {"AES CFB8", caAES, cmCFB, 8, 32, 1},         {"AES OFB", caAES, cmOFB, 0, 16, 1},
      {"DES OFB", caDES, cmOFB, 0, 8, 1},           {"3DES CFB8", caTripleDES, cmCFB, 8, 24, 1},
      {"3DES CBC", caTripleDES, cmCBC, 0, 16, 8},   {"Blowfish CFB", caBlowfish, cmCFB, 0, 5, 1},
      {"IDEA OFB", caIDEA, cmOFB, 0, 16, 1},        {"CAST CBC", caCAST128, cmCBC, 0, 10, 8},
      {"RC2 CBC", caRC2, cmCBC, 0, 7, 8},           {"RC4", caRC4, cmCBC, 0, 16, 1},
      {"Twofish CBC", caTwofish, cmCBC, 0, 32, 16}, {"XTEA ECB", caXTEA, cmECB, 0, 16, 8},
  };
  // Ten AES blocks: past the eight that the accelerated paths take at once.
  std::string message(160, '\0');
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i * 37 + 5);
  for (bool portable : {false, true}) {
    detail::ForcePortable(portable);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (portable ? " portable" : " native"));
      const bool wide = c.algorithm == caAES || c.algorithm == caTwofish;
      CipherSetup s{c.algorithm, c.mode, cpNone, k.substr(0, static_cast<size_t>(c.keyLength)),
                    kIv.substr(0, wide ? 16 : 8), c.feedback};
      std::string whole;
      ASSERT_EQ(RunCipher(s, false, message, whole), 0);
      ASSERT_EQ(whole.size(), message.size());
      for (bool decrypt : {false, true}) {
        testing::ForEachSplit(decrypt ? whole : message, [&](const testing::Pieces& pieces, const std::string& how) {
          for (std::string_view p : pieces) {
            if (p.size() % static_cast<size_t>(c.block) != 0) return;
          }
          std::string out;
          ASSERT_EQ(RunCipher(s, decrypt, pieces, out), 0) << how;
          EXPECT_EQ(Hex(out), Hex(decrypt ? message : whole)) << how;
        });
      }
    }
  }
  detail::ForcePortable(false);
}

TEST(CipherContext, CbcAndEcbWithoutPaddingNeedWholeBlocks) {
  CipherSetup s{caTripleDES, cmCBC, cpNone, Unhex("0123456789abcdef23456789abcdef01456789abcdef0123"),
                Unhex("1234567890abcdef")};
  std::string out;
  EXPECT_EQ(RunCipher(s, true, std::string(23, 'x'), out), kErrCipherBlockLength);
  EXPECT_EQ(RunCipher(s, false, std::string(23, 'x'), out), 2003);
  s.mode = cmECB;
  EXPECT_EQ(RunCipher(s, false, std::string(9, 'x'), out), 2003);
}

// The pad bytes each scheme writes after 11 data bytes, seen by decrypting
// without padding removal; a whole block of data gets a whole pad block.
TEST(CipherContext, PaddingSchemesWriteAndRemoveTheirBytes) {
  struct Case {
    int padding;
    std::string plain;
    const char* tail;
  } cases[] = {{cpPKCS7, "hello world", "0505050505"},
               {cpZeros, "hello world", "0000000000"},
               {cpANSIX923, "hello world", "0000000005"},
               {cpISO10126, "hello world", "a0a1a2a305"},
               {cpPKCS7, "sixteen bytes!!!", "10101010101010101010101010101010"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tail);
    CipherSetup s{caAES, cmCBC, c.padding};
    CipherContext enc;
    enc.SetRandomSource([](uint8_t* p, size_t n) {
      for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(0xa0 + i);
    });
    Configure(enc, s, false);
    ByteBuffer out;
    ASSERT_EQ(enc.Encrypt(c.plain.data(), 0, static_cast<int>(c.plain.size()), out), 0);
    std::string raw, back;
    CipherSetup none = s;
    none.padding = cpNone;
    ASSERT_EQ(RunCipher(none, true, out.view(), raw), 0);
    EXPECT_EQ(raw.substr(0, c.plain.size()), c.plain);
    EXPECT_EQ(Hex(raw.substr(c.plain.size())), c.tail);
    ASSERT_EQ(RunCipher(s, true, out.view(), back), 0);
    EXPECT_EQ(back, c.plain);
  }
}

TEST(CipherContext, ZeroPaddingRemovalDropsEveryTrailingZero) {
  CipherSetup s{caAES, cmECB, cpZeros};
  std::string enc, dec;
  ASSERT_EQ(RunCipher(s, false, std::string("ab\0\0", 4), enc), 0);
  ASSERT_EQ(RunCipher(s, true, enc, dec), 0);
  EXPECT_EQ(dec, "ab");
}

TEST(CipherContext, PadCountLongerThanTheDataGives2004) {
  // Plaintext blocks ending in 0x11 (17 > 16), 0x80 (negative) and sixteen
  // 0x10 (the whole block: nothing left, which is fine).
  const std::pair<std::string, int> cases[] = {{Unhex("000102030405060708090a0b0c0d0e11"), kErrCipherPadding},
                                               {Unhex("000102030405060708090a0b0c0d0e80"), kErrCipherPadding},
                                               {std::string(16, '\x10'), 0}};
  for (const auto& [block, rc] : cases) {
    std::string enc, dec = "x";
    ASSERT_EQ(RunCipher(CipherSetup{}, false, block, enc), 0);
    EXPECT_EQ(RunCipher(CipherSetup{caAES, cmECB, cpPKCS7}, true, enc, dec), rc) << Hex(block);
    EXPECT_EQ(dec, "");
  }
}

TEST(CipherContext, CfbAndOfbTakeAnyLengthAndNeverPad) {
  for (int mode : {cmCFB, cmOFB}) {
    for (int feedback : {0, 8}) {
      CipherSetup s{caAES, mode, cpPKCS7, kAesKey, kIv, feedback};
      std::string enc, dec;
      ASSERT_EQ(RunCipher(s, false, "seventeen bytes!!", enc), 0);
      EXPECT_EQ(enc.size(), 17u);
      ASSERT_EQ(RunCipher(s, true, enc, dec), 0);
      EXPECT_EQ(dec, "seventeen bytes!!") << mode << " " << feedback;
    }
  }
}

// Output goes after what the buffer holds; a call in the other direction
// rebuilds the key schedule for it.
TEST(CipherContext, OutputIsAppendedAndDirectionSwitchRebuildsTheSchedule) {
  CipherContext c;
  Configure(c, CipherSetup{caDES, cmECB, cpNone, Unhex("0123456789abcdef")}, false);
  ByteBuffer enc("prefix"), dec;
  ASSERT_EQ(c.Encrypt("Now is t", 0, 8, enc), 0);
  EXPECT_EQ(Hex(enc.view()), Hex("prefix") + "3fa40e8a984d4815");
  ASSERT_EQ(c.Decrypt(enc.data(), 6, 8, dec), 0);
  EXPECT_EQ(dec.view(), "Now is t");
}

TEST(CipherContext, ErrorCodes) {
  CipherContext c;
  c.SetAlgorithm(13);
  EXPECT_EQ(c.SetKey("0123456789abcdef", 16, nullptr, 0), kErrUnknownCipher);
  ByteBuffer out;
  EXPECT_EQ(c.Encrypt("x", 0, 1, out), 2001);

  CipherContext m;
  m.SetMode(9);
  ASSERT_EQ(m.SetKey(kAesKey.data(), 16, kIv.data(), 16), 0);
  EXPECT_EQ(m.Encrypt(kIv.data(), 0, 16, out), kErrUnknownCipherMode);
  m.SetMode(cmCBCCTS);
  EXPECT_EQ(m.Encrypt(kIv.data(), 0, 16, out), 2002);

  CipherContext k;
  EXPECT_EQ(k.SetKey("short", 5, nullptr, 0), kErrCipherKeyLength);
  EXPECT_EQ(k.Encrypt(kIv.data(), 0, 16, out), kErrCipherKeyLength);
  EXPECT_NE(CryptoErrorText(kErrCipherKeyLength), nullptr);

  CipherContext never;
  EXPECT_EQ(never.Encrypt(kIv.data(), 0, 16, out), 200);
  EXPECT_EQ(out.size(), 0);
}

TEST(CipherContext, KeySizesAcceptedPerAlgorithm) {
  struct Case {
    int algorithm, good, bad;
  } cases[] = {{caAES, 24, 20},     {caAES, 32, 33},      {caDES, 8, 7},      {caTripleDES, 16, 8},
               {caCAST128, 5, 17},  {caBlowfish, 56, 57}, {caTwofish, 24, 8}, {caIDEA, 16, 8},
               {caRC4, 256, 0},     {caRC2, 128, 129},    {caTEA, 16, 8},     {caXXTEA, 16, 32}};
  const std::string key(300, 'k');
  for (const auto& c : cases) {
    CipherContext ctx;
    ctx.SetAlgorithm(c.algorithm);
    EXPECT_EQ(ctx.SetKey(key.data(), c.good, nullptr, 0), 0) << c.algorithm;
    EXPECT_EQ(ctx.SetKey(key.data(), c.bad, nullptr, 0), kErrCipherKeyLength) << c.algorithm;
    EXPECT_EQ(ctx.KeySize(), c.bad * 8);
  }
}

TEST(CipherContext, TeaRoundCountIsConfigurable) {
  CipherSetup s{caXTEA, cmECB, cpNone, Unhex("000102030405060708090a0b0c0d0e0f")};
  s.rounds = 32;
  std::string enc, back;
  ASSERT_EQ(RunCipher(s, false, "ABCDEFGH", enc), 0);
  EXPECT_NE(Hex(enc), "497df3d072612cb5");  // the answer with the default count
  ASSERT_EQ(RunCipher(s, true, enc, back), 0);
  EXPECT_EQ(back, "ABCDEFGH");
}

}  // namespace
}  // namespace corvane
