#include "core/base64.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

// RFC 4648 section 10 test vectors.
TEST(Base64Test, Rfc4648Vectors) {
  struct {
    const char* plain;
    const char* encoded;
  } cases[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
               {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(c.plain), c.encoded);
    std::string back;
    ASSERT_TRUE(Base64Decode(c.encoded, back)) << c.encoded;
    EXPECT_EQ(back, c.plain);
  }
}

// Lines break every 64 characters (not after the last); the URL-safe
// alphabet round-trips every byte. The decoder takes both.
TEST(Base64Test, LineBreaksAndUrlSafeAlphabetRoundTrip) {
  std::string data(96, '\xAB');  // 128 output characters: exactly two lines
  std::string wrapped = Base64Encode(data, {.lineBreaks = true});
  ASSERT_EQ(wrapped.size(), 130u);
  EXPECT_EQ(wrapped.substr(64, 2), "\r\n");
  std::string back;
  ASSERT_TRUE(Base64Decode(wrapped, back));
  EXPECT_EQ(back, data);
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  std::string enc = Base64Encode(all, {.urlSafe = true});
  EXPECT_EQ(enc.find_first_of("+/"), std::string::npos);
  ASSERT_TRUE(Base64Decode(enc, back));
  EXPECT_EQ(back, all);
}

TEST(Base64Test, MalformedInputIsRejected) {
  std::string out;
  EXPECT_FALSE(Base64Decode("Zm9v!", out));
  EXPECT_FALSE(Base64Decode("Z", out));
  EXPECT_FALSE(Base64Decode("Zg==Zg", out));
  EXPECT_TRUE(Base64Decode("Zg", out));
  EXPECT_EQ(out, "f");
}

TEST(HexTest, LowerCaseEncodingAndEitherCaseDecoding) {
  EXPECT_EQ(HexEncode(std::string("\x00\x7f\xab\xff", 4)), "007fabff");
  std::string out;
  ASSERT_TRUE(HexDecode("007FabFF", out));
  EXPECT_EQ(out, std::string("\x00\x7f\xab\xff", 4));
  EXPECT_FALSE(HexDecode("abc", out));
  EXPECT_FALSE(HexDecode("zz", out));
}

}  // namespace
}  // namespace corvane
