// Modes, paddings, length rules and codes of CipherContext.
#include <gtest/gtest.h>

#include <string>

#include "crypto/cipher_context.h"
#include "crypto/crypto_errors.h"
#include "crypto_test_util.h"

namespace corvane {
namespace {

using test::Hex;
using test::Unhex;

const std::string kAesKey = Unhex("2b7e151628aed2a6abf7158809cf4f3c");
const std::string kIv = Unhex("000102030405060708090a0b0c0d0e0f");

struct CipherSetup {
  int algorithm = caAES;
  int mode = cmCBC;
  int padding = cpNone;
  std::string key = kAesKey;
  std::string iv = kIv;
  int feedback = 0;
};

void Configure(CipherContext& c, const CipherSetup& s, bool decrypt) {
  c.SetAlgorithm(s.algorithm);
  c.SetMode(s.mode);
  c.SetPadding(s.padding);
  c.SetFeedbackSize(s.feedback);
  c.SetDecrypting(decrypt);
  ASSERT_EQ(c.SetKey(s.key.data(), static_cast<int>(s.key.size()), s.iv.data(), static_cast<int>(s.iv.size())), 0);
}

int RunCipher(const CipherSetup& s, bool decrypt, const std::string& in, std::string& out) {
  CipherContext c;
  Configure(c, s, decrypt);
  ByteBuffer buffer;
  int rc = decrypt ? c.Decrypt(in.data(), 0, static_cast<int>(in.size()), buffer)
                   : c.Encrypt(in.data(), 0, static_cast<int>(in.size()), buffer);
  out = buffer.str();
  return rc;
}

TEST(CipherContext, CbcWithoutPaddingNeedsWholeBlocks) {
  CipherSetup s;
  s.algorithm = caTripleDES;
  s.key = Unhex("0123456789abcdef23456789abcdef01456789abcdef0123");
  s.iv = Unhex("1234567890abcdef");
  std::string out;
  EXPECT_EQ(RunCipher(s, true, std::string(24, 'x'), out), 0);
  EXPECT_EQ(out.size(), 24u);
  EXPECT_EQ(RunCipher(s, true, std::string(23, 'x'), out), kErrCipherBlockLength);
  EXPECT_EQ(RunCipher(s, false, std::string(23, 'x'), out), 2003);
  s.mode = cmECB;
  EXPECT_EQ(RunCipher(s, false, std::string(9, 'x'), out), 2003);
}

TEST(CipherContext, Pkcs7OnAWholeBlockAddsAFullPadBlock) {
  CipherSetup s;
  s.padding = cpPKCS7;
  const std::string plain = Unhex("6bc1bee22e409f96e93d7e117393172a");
  std::string enc, dec, raw;
  ASSERT_EQ(RunCipher(s, false, plain, enc), 0);
  ASSERT_EQ(enc.size(), 32u);
  // Without padding removal the second block decrypts to sixteen 0x10 bytes.
  CipherSetup none = s;
  none.padding = cpNone;
  ASSERT_EQ(RunCipher(none, true, enc, raw), 0);
  EXPECT_EQ(raw.substr(16), std::string(16, '\x10'));
  ASSERT_EQ(RunCipher(s, true, enc, dec), 0);
  EXPECT_EQ(dec, plain);
}

TEST(CipherContext, PaddingSchemesWriteTheirBytes) {
  struct Case {
    int padding;
    const char* lastBlockTail;  // the five pad bytes after 11 data bytes
  } cases[] = {{cpPKCS7, "0505050505"}, {cpZeros, "0000000000"}, {cpANSIX923, "0000000005"},
               {cpISO10126, "a0a1a2a305"}};
  for (const auto& c : cases) {
    CipherSetup s;
    s.mode = cmECB;
    s.padding = c.padding;
    CipherContext enc;
    enc.SetRandomSource([](uint8_t* p, size_t n) {
      for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(0xa0 + i);
    });
    Configure(enc, s, false);
    ByteBuffer out;
    ASSERT_EQ(enc.Encrypt("hello world", 0, 11, out), 0);
    ASSERT_EQ(out.size(), 16);
    std::string raw;
    CipherSetup none = s;
    none.padding = cpNone;
    ASSERT_EQ(RunCipher(none, true, out.str(), raw), 0);
    EXPECT_EQ(raw.substr(0, 11), "hello world");
    EXPECT_EQ(Hex(raw.substr(11)), c.lastBlockTail) << c.padding;
    std::string back;
    ASSERT_EQ(RunCipher(s, true, out.str(), back), 0);
    EXPECT_EQ(back, "hello world") << c.padding;
  }
}

TEST(CipherContext, ZeroPaddingRemovalDropsEveryTrailingZero) {
  CipherSetup s;
  s.mode = cmECB;
  s.padding = cpZeros;
  std::string enc, dec;
  ASSERT_EQ(RunCipher(s, false, std::string("ab\0\0", 4), enc), 0);
  ASSERT_EQ(RunCipher(s, true, enc, dec), 0);
  EXPECT_EQ(dec, "ab");
}

TEST(CipherContext, PadCountLongerThanTheDataGives2004) {
  CipherSetup s;
  s.mode = cmECB;
  // A block whose plaintext ends in 0x11 (17 > 16) and one ending in 0x80 (negative).
  for (const char* last : {"11", "80"}) {
    std::string block = Unhex(std::string("000102030405060708090a0b0c0d0e") + last), enc, dec;
    ASSERT_EQ(RunCipher(s, false, block, enc), 0);
    CipherSetup p = s;
    p.padding = cpPKCS7;
    EXPECT_EQ(RunCipher(p, true, enc, dec), kErrCipherPadding) << last;
  }
  // A count equal to the whole output leaves nothing, which is fine.
  std::string full(16, '\x10'), enc, dec;
  ASSERT_EQ(RunCipher(s, false, full, enc), 0);
  CipherSetup p = s;
  p.padding = cpPKCS7;
  EXPECT_EQ(RunCipher(p, true, enc, dec), 0);
  EXPECT_EQ(dec, "");
}

TEST(CipherContext, CfbAndOfbTakeAnyLengthAndNeverPad) {
  for (int mode : {cmCFB, cmOFB}) {
    for (int feedback : {0, 8}) {
      for (int padding : {cpNone, cpPKCS7}) {
        CipherSetup s;
        s.mode = mode;
        s.padding = padding;
        s.feedback = feedback;
        const std::string plain = "seventeen bytes!!";
        std::string enc, dec;
        ASSERT_EQ(RunCipher(s, false, plain, enc), 0);
        EXPECT_EQ(enc.size(), plain.size());
        ASSERT_EQ(RunCipher(s, true, enc, dec), 0);
        EXPECT_EQ(dec, plain) << mode << " " << feedback;
      }
    }
  }
}

TEST(CipherContext, OutputIsAppendedAfterExistingContent) {
  CipherSetup s;
  s.mode = cmECB;
  CipherContext c;
  Configure(c, s, false);
  ByteBuffer out("prefix");
  ASSERT_EQ(c.Encrypt(Unhex("6bc1bee22e409f96e93d7e117393172a").data(), 0, 16, out), 0);
  EXPECT_EQ(out.view().substr(0, 6), "prefix");
  EXPECT_EQ(Hex(out.view().substr(6)), "3ad77bb40d7a3660a89ecaf32466ef97");
}

TEST(CipherContext, DirectionSwitchRebuildsTheSchedule) {
  CipherSetup s;
  s.algorithm = caDES;
  s.mode = cmECB;
  s.key = Unhex("0123456789abcdef");
  CipherContext c;
  Configure(c, s, false);
  ByteBuffer enc, dec;
  ASSERT_EQ(c.Encrypt("Now is t", 0, 8, enc), 0);
  EXPECT_EQ(Hex(enc.view()), "3fa40e8a984d4815");
  ASSERT_EQ(c.Decrypt(enc.data(), 0, 8, dec), 0);
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
  EXPECT_STREQ(CryptoErrorText(kErrCipherKeyLength), "Invalid key length for the cipher algorithm.");

  CipherContext never;
  EXPECT_EQ(never.Encrypt(kIv.data(), 0, 16, out), 200);
  EXPECT_EQ(out.size(), 0);
}

TEST(CipherContext, KeySizesAcceptedPerAlgorithm) {
  struct Case {
    int algorithm;
    int good;
    int bad;
  } cases[] = {{caAES, 24, 20},     {caAES, 32, 33},  {caDES, 8, 7},      {caTripleDES, 16, 8},
               {caCAST128, 5, 17},  {caBlowfish, 56, 57}, {caTwofish, 24, 8}, {caIDEA, 16, 8},
               {caRC4, 256, 0},     {caRC2, 128, 129}, {caTEA, 16, 8},     {caXXTEA, 16, 32}};
  for (const auto& c : cases) {
    CipherContext ctx;
    ctx.SetAlgorithm(c.algorithm);
    const std::string key(300, 'k');
    EXPECT_EQ(ctx.SetKey(key.data(), c.good, nullptr, 0), 0) << c.algorithm;
    EXPECT_EQ(ctx.SetKey(key.data(), c.bad, nullptr, 0), kErrCipherKeyLength) << c.algorithm;
    EXPECT_EQ(ctx.KeySize(), c.bad * 8);
  }
}

TEST(CipherContext, TeaRoundCountIsConfigurable) {
  CipherSetup s;
  s.algorithm = caXTEA;
  s.mode = cmECB;
  s.key = Unhex("000102030405060708090a0b0c0d0e0f");
  CipherContext a, b;
  Configure(a, s, false);
  b.SetRounds(32);
  Configure(b, s, false);
  ByteBuffer x, y;
  a.Encrypt("ABCDEFGH", 0, 8, x);
  b.Encrypt("ABCDEFGH", 0, 8, y);
  EXPECT_EQ(Hex(x.view()), "497df3d072612cb5");
  EXPECT_NE(x.view(), y.view());
  ByteBuffer back;
  CipherContext d;
  d.SetRounds(32);
  Configure(d, s, true);
  d.Decrypt(y.data(), 0, 8, back);
  EXPECT_EQ(back.view(), "ABCDEFGH");
}

}  // namespace
}  // namespace corvane
