// BLAKE2b (RFC 7693) and Argon2 version 1.3 (RFC 9106) against published
// vectors; the lengths around BLAKE2b's 128-byte block and the keyed form
// are the BLAKE2 reference test values.
#include <gtest/gtest.h>

#include <string>

#include "crypto/argon2.h"
#include "crypto/blake2b.h"
#include "support/hex.h"

namespace corvane {
namespace {

using testing::Hex;

std::string Counting(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i);
  return s;
}

TEST(Blake2b, KnownAnswers) {
  struct Case {
    const char* source;
    std::string input, key;
    int size;
    const char* digest;
  } cases[] = {
      {"RFC 7693 Appendix A", "abc", "", 64,
       "ba80a53f981c4d0d6a2797b69f12f6e94c212f14685ac4b74b12bb6fdbffa2d17d87c5392aab792dc252d5de4533cc9518d38aa8dbf1925ab9"
       "2386edd4009923"},
      {"empty input", "", "", 64,
       "786a02f742015903c6c6fd852552d272912f4740e15847618a86e217f71f5419d25e1031afee585313896444934eb04b903a685b1448b755d5"
       "6f701afe9be2ce"},
      {"127 bytes", Counting(127), "", 64,
       "b6292669ccd38d5f01caae96ba272c76a879a45743afa0725d83b9ebb26665b731f1848c52f11972b6644f554c064fa90780dbbbf3a89d4fc3"
       "1f67df3e5857ef"},
      {"one block", Counting(128), "", 64,
       "2319e3789c47e2daa5fe807f61bec2a1a6537fa03f19ff32e87eecbfd64b7e0e8ccff439ac333b040f19b0c4ddd11a61e24ac1fe0f10a03980"
       "6c5dcc0da3d115"},
      {"129 bytes", Counting(129), "", 64,
       "f59711d44a031d5f97a9413c065d1e614c417ede998590325f49bad2fd444d3e4418be19aec4e11449ac1a57207898bc57d76a1bcf3566292c"
       "20c683a5c4648f"},
      {"two blocks", Counting(256), "", 64,
       "1ecc896f34d3f9cac484c73f75f6a5fb58ee6784be41b35f46067b9c65c63a6794d3d744112c653f73dd7deb6666204c5a9bfa5b46081fc10f"
       "dbe7884fa5cbf8"},
      {"keyed, empty input", "", Counting(64), 64,
       "10ebb67700b1868efb4417987acf4690ae9d972fb7a590c2f02871799aaa4786b5e996e8f0f4eb981fc214b005f42d2ff4233499391653df7a"
       "efcbc13fc51568"},
      {"keyed, one block", Counting(128), Counting(64), 64,
       "72065ee4dd91c2d8509fa1fc28a37c7fc9fa7d5b3f8ad3d0d7a25626b57b1b44788d4caf806290425f9890a3a2a35a905ab4b37acfd0da6e45"
       "17b2525c9651e4"},
      {"keyed, 129 bytes", Counting(129), Counting(64), 64,
       "64475dfe7600d7171bea0b394e27c9b00d8e74dd1e416a79473682ad3dfdbb706631558055cfc8a40e07bd015a4540dcdea15883cbbf31412d"
       "f1de1cd4152b91"},
      {"32-byte digest", "abc", "", 32, "bddd813c634239723171ef3fee98579b94964e3bb1cb3e427262c8c068d52319"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    Blake2b whole(c.size, c.key.data(), c.key.size());
    whole.Update(c.input.data(), c.input.size());
    EXPECT_EQ(Hex(whole.Final(), static_cast<size_t>(c.size)), c.digest);
    // Byte by byte: a full buffer must wait for the next byte before it is
    // compressed, or the last block loses its final flag.
    Blake2b pieces(c.size, c.key.data(), c.key.size());
    for (char ch : c.input) pieces.Update(&ch, 1);
    EXPECT_EQ(Hex(pieces.Final(), static_cast<size_t>(c.size)), c.digest);
  }
}

TEST(Argon2, Rfc9106Vectors) {
  const std::string password(32, '\x01'), salt(16, '\x02'), secret(8, '\x03'), associated(12, '\x04');
  struct Case {
    const char* source;
    Argon2Type type;
    const char* tag;
  } cases[] = {
      {"RFC 9106 5.1 Argon2d", Argon2Type::argon2d,
       "512b391b6f1162975371d30919734294f868e3be3984f3c1a13a4db9fabe4acb"},
      {"RFC 9106 5.2 Argon2i", Argon2Type::argon2i,
       "c814d9d1dc7f37aa13f0d77f2494bda1c8de6b016dd388d29952a4c4672b6ce8"},
      {"RFC 9106 5.3 Argon2id", Argon2Type::argon2id,
       "0d640df58d78766c08c037a34a8b53c9d01ef0452d75b65eb52520e96b01e659"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    const Argon2Params p{c.type, 3, 32, 4, password, salt, secret, associated};
    uint8_t tag[32];
    ASSERT_TRUE(Argon2(p, tag, sizeof tag));
    EXPECT_EQ(Hex(tag, sizeof tag), c.tag);
  }
}

TEST(Argon2, RefusesParametersOutOfRange) {
  uint8_t tag[80];
  Argon2Params ok;
  ok.password = "pw";
  ok.salt = "saltsalt";
  ASSERT_TRUE(Argon2(ok, tag, sizeof tag));
  struct Case {
    const char* name;
    Argon2Params p;
    uint32_t tagLength;
  } cases[] = {
      {"tag under 4 bytes", ok, 3},
      {"no passes", [&] { auto p = ok; p.passes = 0; return p; }(), 32},
      {"under 8 KiB per lane", [&] { auto p = ok; p.lanes = 2; p.memoryKiB = 15; return p; }(), 32},
      {"memory above the limit", [&] { auto p = ok; p.memoryKiB = kArgon2MaxMemoryKiB + 1; return p; }(), 32},
      {"work above the limit", [&] { auto p = ok; p.memoryKiB = 1 << 16; p.passes = 33; return p; }(), 32},
      {"salt under 8 bytes", [&] { auto p = ok; p.salt = "short"; return p; }(), 32},
  };
  for (const Case& c : cases) EXPECT_FALSE(Argon2(c.p, tag, c.tagLength)) << c.name;
}

}  // namespace
}  // namespace corvane
