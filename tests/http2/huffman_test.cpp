#include "http2/huffman.h"

#include <gtest/gtest.h>

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

// The RFC's Huffman-coded strings are decoded in the Appendix C examples of
// hpack_rfc7541_test and encoded in the HPACK encoder test.

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
