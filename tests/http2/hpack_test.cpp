#include <gtest/gtest.h>

#include <string>

#include "http2/hpack_decoder.h"
#include "http2/hpack_encoder.h"
#include "http2_test_util.h"

namespace corvane {
namespace {

std::string EncodeList(const HeaderList& headers, bool huffman) {
  ByteBuffer out;
  EXPECT_EQ(0, HpackEncode(headers, huffman, out));
  return out.str();
}

int DecodeBlock(HpackDecoder& decoder, const std::string& bytes, HeaderList& out) {
  return decoder.Decode(test::Bytes(bytes), bytes.size(), out, true);
}

TEST(HpackEncoder, ChoosesIndexedThenIndexedNameThenNewName) {
  struct Case {
    HeaderField field;
    bool huffman;
    const char* hex;
  };
  const Case cases[] = {
      {{":method", "GET"}, true, "82"},
      {{":method", "POST"}, true, "83"},
      {{":path", "/"}, false, "84"},
      {{"accept-encoding", "gzip, deflate"}, true, "90"},
      // Name only in the static table: 01 and the 6-bit index, lowest index wins.
      {{":status", "201"}, false, "4803323031"},
      {{":method", "PUT"}, false, "4203505554"},
      {{"user-agent", "x"}, false, "7a0178"},
      {{"www-authenticate", "x"}, false, "7d0178"},
      // Not in the table: 0x40, then the name and value literals.
      {{"x-a", "b"}, false, "4003782d610162"},
      {{"custom-key", "custom-value"}, true, "408825a849e95ba97d7f8925a849e95bb8e8b4bf"},
      // Value comparison is exact and case-sensitive.
      {{":method", "get"}, false, "4203676574"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.hex, test::ToHex(EncodeList({c.field}, c.huffman))) << c.field.name;
  }
}

TEST(HpackEncoder, IntegerPrefixCodingMatchesRfc) {
  struct Case {
    const char* source;
    uint32_t value;
    int prefix;
    const char* hex;
  };
  const Case cases[] = {
      {"RFC 7541 C.1.1", 10, 5, "0a"},
      {"RFC 7541 C.1.2", 1337, 5, "1f9a0a"},
      {"RFC 7541 C.1.3", 42, 8, "2a"},
      {"index 327 with a 7-bit prefix", 327, 7, "7fc801"},
      {"prefix value exactly", 127, 7, "7f00"},
      {"largest accepted", HpackDecoder::kMaxInteger, 7, "7f80ffffff07"},
  };
  for (const Case& c : cases) {
    ByteBuffer out;
    ASSERT_EQ(0, HpackEncodeInteger(c.value, c.prefix, 0, out));
    EXPECT_EQ(c.hex, test::ToHex(out.view())) << c.source;
  }
}

TEST(HpackDecoder, EncoderOutputRoundTripsWithEveryByteValue) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const HeaderList headers = {{":method", "POST"},      {":scheme", "https"},
                              {":path", "/a?b=c"},      {":authority", "example.com:8443"},
                              {"content-type", "text/xml"}, {"x-binary", all},
                              {"x-empty", ""},          {all, "name with every byte"}};
  for (bool huffman : {false, true}) {
    HpackDecoder decoder;
    HeaderList out;
    ASSERT_EQ(0, DecodeBlock(decoder, EncodeList(headers, huffman), out)) << decoder.ErrorText();
    EXPECT_EQ(headers, out) << "huffman " << huffman;
  }
}

TEST(HpackTable, EntryLargerThanTableEmptiesIt) {
  HpackTable table;
  ASSERT_EQ(0, table.Add("a", "b"));
  ASSERT_EQ(0, table.Add("big", std::string(4096, 'x')));
  EXPECT_EQ(0u, table.DynamicCount());
  EXPECT_EQ(0u, table.Size());
}

TEST(HpackTable, AddingANameTakenFromAnEntryThatIsEvictedStillCopiesIt) {
  HpackTable table;
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
  ASSERT_EQ(0, DecodeBlock(decoder, test::FromHex("4001610131"), out));
  // 0x20: size update to 0 empties the table; 0x3fe11f: back to 4096.
  ASSERT_EQ(0, DecodeBlock(decoder, test::FromHex("203fe11f82"), out));
  EXPECT_EQ(0u, decoder.Table().DynamicCount());
  EXPECT_EQ(4096u, decoder.Table().MaxSize());
}

struct HostileCase {
  const char* what;
  std::string block;
  const char* message;
};

TEST(HpackDecoder, HostileBlocksFailWithCompressionError) {
  const HostileCase cases[] = {
      {"index 0", test::FromHex("80"), "COMPRESSION_ERROR: Header field index 0 is not valid."},
      {"index past the static table", test::FromHex("be"),
       "COMPRESSION_ERROR: Header field index 62 is past the end of the table (61 entries)."},
      {"indexed name past the table", test::FromHex("7f0a0176"),
       "COMPRESSION_ERROR: Header field index 73 is past the end of the table (61 entries)."},
      {"integer above 2^31 - 1", test::FromHex("ff80808080808001"),
       "COMPRESSION_ERROR: Integer in header block exceeds 2147483647."},
      {"endless zero continuation bytes", test::FromHex("ff80808080808080808080808080"),
       "COMPRESSION_ERROR: Integer in header block exceeds 2147483647."},
      {"table size update above 4096", test::FromHex("3fe21f"),
       "COMPRESSION_ERROR: Dynamic table size update to 4097 exceeds the limit of 4096."},
      {"table size update after a field", test::FromHex("8220"),
       "COMPRESSION_ERROR: Dynamic table size update after the first header field of a block."},
      {"string length of 2^31 - 1", test::FromHex("00") + test::FromHex("7f80ffffff07") + "abc",
       "COMPRESSION_ERROR: Header list exceeds the limit of 262144 bytes."},
      {"block ends inside a name", test::FromHex("400a637573"),
       "COMPRESSION_ERROR: Header block ends inside a header field representation."},
      {"block ends inside an integer", test::FromHex("7f"),
       "COMPRESSION_ERROR: Header block ends inside a header field representation."},
      {"Huffman string with EOS", test::FromHex("0084ffffffff0161"),
       "COMPRESSION_ERROR: Huffman-coded string contains the EOS symbol."},
      {"Huffman string with zero padding", test::FromHex("00811801 61"),
       "COMPRESSION_ERROR: Huffman-coded string ends with invalid padding."},
  };
  for (const HostileCase& c : cases) {
    HpackDecoder decoder;
    HeaderList out;
    EXPECT_EQ(9, DecodeBlock(decoder, c.block, out)) << c.what;
    EXPECT_EQ(c.message, decoder.ErrorText()) << c.what;
  }
}

TEST(HpackDecoder, HeaderListSizeIsBoundedAcrossFragmentsOfOneBlock) {
  HpackDecoder decoder;
  decoder.SetMaxHeaderListSize(1000);
  // ":method: GET" counts 7 + 3 + 32 = 42 bytes; 23 of them fit in 1000.
  std::string fragment(20, '\x82');
  HeaderList out;
  ASSERT_EQ(0, decoder.Decode(test::Bytes(fragment), fragment.size(), out, false));
  EXPECT_EQ(9, decoder.Decode(test::Bytes(fragment), fragment.size(), out, true));
  EXPECT_EQ("COMPRESSION_ERROR: Header list exceeds the limit of 1000 bytes.",
            decoder.ErrorText());
  EXPECT_EQ(23u, out.size());
  // A new block starts with a fresh count.
  decoder.Reset();
  out.clear();
  ASSERT_EQ(0, decoder.Decode(test::Bytes(fragment), fragment.size(), out, true));
}

TEST(HpackDecoder, LongStringTricklingInIsHeldUntilComplete) {
  std::string value(5000, 'v');
  ByteBuffer block;
  ASSERT_EQ(0, HpackEncode({{"x-long", value}}, false, block));
  HpackDecoder decoder;
  HeaderList out;
  const auto* p = reinterpret_cast<const uint8_t*>(block.data());
  for (int i = 0; i < block.size(); ++i) {
    ASSERT_EQ(0, decoder.Decode(p + i, 1, out, i + 1 == block.size())) << decoder.ErrorText();
    if (i + 1 < block.size()) {
      EXPECT_TRUE(out.empty());
    }
  }
  ASSERT_EQ(1u, out.size());
  EXPECT_EQ(value, out[0].value);
  EXPECT_EQ(0u, decoder.PendingBytes());
}

}  // namespace
}  // namespace corvane
