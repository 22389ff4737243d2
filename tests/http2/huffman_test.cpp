#include "http2/huffman.h"

#include <gtest/gtest.h>

#include <string>

#include "http2_test_util.h"

namespace corvane::http2 {
namespace {

// The RFC's Huffman-coded strings are decoded in the Appendix C examples of
// hpack_rfc7541_test and encoded in the HPACK encoder test.

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

}  // namespace
}  // namespace corvane::http2
