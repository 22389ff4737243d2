#include "http2/huffman.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "http2/huffman_code_table.h"
#include "http2_test_util.h"

namespace corvane::http2 {
namespace {

std::string Encode(std::string_view text) {
  ByteBuffer out;
  EXPECT_EQ(0, HuffmanEncode(text, out));
  EXPECT_EQ(HuffmanEncodedLength(text), static_cast<size_t>(out.size()));
  return out.str();
}

HuffmanResult Decode(const std::string& bytes, std::string& out) {
  out.clear();
  return HuffmanDecode(test::Bytes(bytes), bytes.size(), out);
}

// A damaged entry in the code table would still build a decoder if it kept
// the prefix property; the canonical assignment pins every code.
TEST(Huffman, CodeTableIsTheCanonicalCodeOfItsLengths) {
  uint32_t code = 0;
  int prevBits = 0;
  bool first = true;
  for (int bits = 1; bits <= 30; ++bits) {
    for (int sym = 0; sym <= kHuffmanEos; ++sym) {
      if (kHuffmanCodes[sym].bits != bits) continue;
      if (!first) code = (code + 1) << (bits - prevBits);
      first = false;
      prevBits = bits;
      EXPECT_EQ(code, kHuffmanCodes[sym].code) << "symbol " << sym;
    }
  }
  EXPECT_EQ(0x3FFFFFFFu, kHuffmanCodes[kHuffmanEos].code);
  EXPECT_EQ(30, kHuffmanCodes[kHuffmanEos].bits);
}

struct KnownString {
  const char* source;
  const char* text;
  const char* hex;
};

constexpr KnownString kKnownStrings[] = {
    {"RFC 7541 C.4.1", "www.example.com", "f1e3c2e5f23a6ba0ab90f4ff"},
    {"RFC 7541 C.4.2", "no-cache", "a8eb10649cbf"},
    {"RFC 7541 C.4.3", "custom-key", "25a849e95ba97d7f"},
    {"RFC 7541 C.4.3", "custom-value", "25a849e95bb8e8b4bf"},
    {"RFC 7541 C.6.1", "302", "6402"},
    {"RFC 7541 C.6.1", "private", "aec3771a4b"},
    {"RFC 7541 C.6.1", "Mon, 21 Oct 2013 20:13:21 GMT",
     "d07abe941054d444a8200595040b8166e082a62d1bff"},
    {"RFC 7541 C.6.1", "https://www.example.com", "9d29ad171863c78f0b97c8e9ae82ae43d3"},
    {"RFC 7541 C.6.2", "307", "640eff"},
    {"RFC 7541 C.6.3", "gzip", "9bd9ab"},
    {"RFC 7541 C.6.3", "foo=ASDJKHQKBZXOQWEOPIUAXQWEOIU; max-age=3600; version=1",
     "94e7821dd7f2e6c7b335dfdfcd5b3960d5af27087f3672c1ab270fb5291f9587316065c003ed4ee5b1063d5007"},
    {"empty string", "", ""},
};

TEST(Huffman, KnownStringsEncodeAndDecode) {
  for (const auto& k : kKnownStrings) {
    SCOPED_TRACE(k.source);
    EXPECT_EQ(k.hex, test::ToHex(Encode(k.text)));
    std::string out;
    ASSERT_EQ(HuffmanResult::hrOk, Decode(test::FromHex(k.hex), out));
    EXPECT_EQ(k.text, out);
  }
}

TEST(Huffman, EveryByteValueRoundTripsAloneAndTogether) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    std::string out;
    ASSERT_EQ(HuffmanResult::hrOk, Decode(Encode(one), out)) << "byte " << b;
    EXPECT_EQ(one, out) << "byte " << b;
    all.push_back(static_cast<char>(b));
  }
  std::string reversed(all.rbegin(), all.rend());
  for (const std::string& s : {all, reversed, all + all}) {
    std::string out;
    ASSERT_EQ(HuffmanResult::hrOk, Decode(Encode(s), out));
    EXPECT_EQ(s, out);
  }
}

TEST(Huffman, RandomStringsRoundTrip) {
  std::mt19937 rng(7541);
  for (int i = 0; i < 500; ++i) {
    std::string s(rng() % 64, '\0');
    for (char& c : s) c = static_cast<char>(rng() % (i % 2 ? 256 : 95) + (i % 2 ? 0 : 32));
    std::string out;
    ASSERT_EQ(HuffmanResult::hrOk, Decode(Encode(s), out));
    EXPECT_EQ(s, out);
  }
}

// RFC 7541 section 5.2: EOS inside the string, padding longer than 7 bits,
// and padding that is not the start of EOS are all decoding errors.
TEST(Huffman, RejectsEosAndInvalidPadding) {
  struct Case {
    const char* what;
    const char* hex;
    HuffmanResult result;
  };
  const Case cases[] = {
      {"EOS (30 one bits) followed by padding", "ffffffff", HuffmanResult::hrEos},
      {"'a' then EOS", "1fffffffff", HuffmanResult::hrEos},
      {"'a' (00011) padded with 11 one bits", "1fff", HuffmanResult::hrBadPadding},
      {"'a' padded with zeros", "18", HuffmanResult::hrBadPadding},
      {"a whole byte of ones as padding", "ff", HuffmanResult::hrBadPadding},
      {"'0' (00000) padded with 101", "05", HuffmanResult::hrBadPadding},
  };
  for (const Case& c : cases) {
    std::string out = "kept";
    EXPECT_EQ(c.result, HuffmanDecode(test::Bytes(test::FromHex(c.hex)),
                                      test::FromHex(c.hex).size(), out))
        << c.what;
    EXPECT_EQ("kept", out) << c.what << ": output is rolled back";
  }
}

TEST(Huffman, DecodeAppendsToExistingText) {
  std::string out = "x-";
  std::string bytes = test::FromHex("9bd9ab");
  ASSERT_EQ(HuffmanResult::hrOk, HuffmanDecode(test::Bytes(bytes), bytes.size(), out));
  EXPECT_EQ("x-gzip", out);
}

}  // namespace
}  // namespace corvane::http2
