#include <gtest/gtest.h>

#include <string>

#include "http2/hpack_decoder.h"
#include "http2/hpack_encoder.h"
#include "http2_test_util.h"

// The RFC 7541 Appendix C examples (hpack_rfc7541_test) cover the decoder's
// representations and the dynamic table; these are the encoder and the
// cases those examples do not reach.
namespace corvane {
namespace {

using M = Http2Message;
using test::FromHex;
using test::ToHex;

std::string EncodeList(const HeaderList& headers, bool huffman) {
  ByteBuffer out;
  EXPECT_EQ(0, HpackEncode(headers, huffman, out));
  return out.str();
}

int DecodeBlock(HpackDecoder& decoder, const std::string& bytes, HeaderList& out) {
  return decoder.Decode(test::Bytes(bytes), bytes.size(), out, true);
}

TEST(HpackEncoder, ChoosesIndexedThenIndexedNameThenNewName) {
  const struct {
    HeaderField field;
    bool huffman;
    const char* hex;
  } cases[] = {
      {{":method", "GET"}, true, "82"},
      // Name only in the static table: 01 and the 6-bit index, lowest index wins.
      {{":method", "PUT"}, false, "4203505554"},
      {{"www-authenticate", "x"}, false, "7d0178"},
      // Not in the table: 0x40, then the name and value literals.
      {{"x-a", "b"}, false, "4003782d610162"},
      {{"custom-key", "custom-value"}, true, "408825a849e95ba97d7f8925a849e95bb8e8b4bf"},
      // Value comparison is exact and case-sensitive.
      {{":method", "get"}, false, "4203676574"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.hex, ToHex(EncodeList({c.field}, c.huffman))) << c.field.name;
}

TEST(HpackEncoder, IntegerPrefixCoding) {
  const struct {
    uint32_t value;
    int prefix;
    const char* hex;
  } cases[] = {
      {10, 5, "0a"},
      {1337, 5, "1f9a0a"},
      {42, 8, "2a"},                                   // RFC 7541 C.1.1 - C.1.3
      {127, 7, "7f00"},                                // the prefix value exactly
      {HpackDecoder::kMaxInteger, 7, "7f80ffffff07"},  // the largest accepted
  };
  for (const auto& c : cases) {
    ByteBuffer out;
    ASSERT_EQ(0, HpackEncodeInteger(c.value, c.prefix, 0, out));
    EXPECT_EQ(c.hex, ToHex(out.view())) << c.value;
  }
}

TEST(HpackDecoder, EncoderOutputRoundTripsWithEveryByteValue) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const HeaderList headers = {{":method", "POST"},
                              {":authority", "example.com:8443"},
                              {"x-binary", all},
                              {"x-empty", ""},
                              {all, "name with every byte"}};
  for (bool huffman : {false, true}) {
    HpackDecoder decoder;
    HeaderList out;
    ASSERT_EQ(0, DecodeBlock(decoder, EncodeList(headers, huffman), out)) << decoder.ErrorText();
    EXPECT_EQ(headers, out) << "huffman " << huffman;
  }
}

TEST(HpackTable, EvictionEmptiesForABigEntryAndKeepsANameTakenFromAnEvictedOne) {
  HpackTable table;
  ASSERT_EQ(0, table.Add("a", "b"));
  ASSERT_EQ(0, table.Add("big", std::string(4096, 'x')));
  EXPECT_EQ(0u, table.DynamicCount());
  EXPECT_EQ(0u, table.Size());
  table.SetMaxSize(2 * (10 + 1 + 32));
  ASSERT_EQ(0, table.Add("first-name", "1"));
  ASSERT_EQ(0, table.Add("second-nam", "2"));
  std::string_view name, value;
  ASSERT_TRUE(table.Get(63, name, value));  // "first-name", the one the next Add evicts
  ASSERT_EQ(0, table.Add(name, "3"));
  ASSERT_TRUE(table.Get(62, name, value));
  EXPECT_EQ("first-name", name);
  EXPECT_EQ("3", value);
}

TEST(HpackDecoder, DynamicTableSizeUpdateAtBlockStartEvicts) {
  HpackDecoder decoder;
  HeaderList out;
  ASSERT_EQ(0, DecodeBlock(decoder, FromHex("4001610131"), out));
  // 0x20: size update to 0 empties the table; 0x3fe11f: back to 4096.
  ASSERT_EQ(0, DecodeBlock(decoder, FromHex("203fe11f82"), out));
  EXPECT_EQ(0u, decoder.Table().DynamicCount());
  EXPECT_EQ(4096u, decoder.Table().MaxSize());
}

TEST(HpackDecoder, HostileBlocksFailWithCompressionError) {
  const struct {
    const char* hex;
    M message;
    const char* arg;
  } cases[] = {
      {"80", M::kHpackIndexZero, ""},
      {"be", M::kHpackIndexRange, "index 62 "},
      {"7f0a0176", M::kHpackIndexRange, "index 73 "},  // an indexed name
      {"ff80808080808001", M::kHpackIntegerOverflow, "2147483647"},
      {"ff80808080808080808080808080", M::kHpackIntegerOverflow, ""},  // endless zero continuations
      {"3fe21f", M::kHpackTableSizeLimit, "4097"},
      {"8220", M::kHpackTableSizeLate, ""},
      {"00 7f80ffffff07 616263", M::kHeaderListTooLarge, "262144"},  // a string length of 2^31 - 1
      {"400a637573", M::kHpackTruncated, ""},                        // inside a name
      {"7f", M::kHpackTruncated, ""},                                // inside an integer
      // Huffman: EOS (30 one bits); 'a' padded with zeros, with 11 one bits,
      // and '0' padded with 101 (RFC 7541 section 5.2).
      {"0084ffffffff0161", M::kHuffmanEos, ""},
      {"0081180161", M::kHuffmanPadding, ""},
      {"00821fff0161", M::kHuffmanPadding, ""},
      {"0081050161", M::kHuffmanPadding, ""},
  };
  for (const auto& c : cases) {
    HpackDecoder decoder;
    HeaderList out;
    EXPECT_TRUE(test::Failed(DecodeBlock(decoder, FromHex(c.hex), out), decoder, c.message, c.arg))
        << c.hex;
  }
}

TEST(HpackDecoder, HeaderListSizeIsBoundedAcrossFragmentsOfOneBlock) {
  HpackDecoder decoder;
  decoder.SetMaxHeaderListSize(1000);
  // ":method: GET" counts 7 + 3 + 32 = 42 bytes; 23 of them fit in 1000.
  const std::string fragment(20, '\x82');
  HeaderList out;
  ASSERT_EQ(0, decoder.Decode(test::Bytes(fragment), fragment.size(), out, false));
  EXPECT_TRUE(test::Failed(decoder.Decode(test::Bytes(fragment), fragment.size(), out, true),
                           decoder, M::kHeaderListTooLarge, "limit of 1000 bytes"));
  EXPECT_EQ(23u, out.size());
  decoder.Reset();  // a new block starts with a fresh count
  ASSERT_EQ(0, decoder.Decode(test::Bytes(fragment), fragment.size(), out, true));
}

}  // namespace
}  // namespace corvane
