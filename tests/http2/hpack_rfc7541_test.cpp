// Known-answer vectors of RFC 7541 Appendix C: each example is a sequence of
// header blocks decoded with one decoder; after each block the decoded list,
// the dynamic table (newest first) and its size must match the RFC.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "http2/hpack_decoder.h"
#include "http2_test_util.h"
#include "support/every_split.h"

namespace corvane {
namespace {

struct Block {
  const char* hex;
  HeaderList headers;
  HeaderList table;  // dynamic entries, newest (index 62) first
  uint32_t tableSize;
};

struct Example {
  const char* source;
  uint32_t maxTableSize;
  std::vector<Block> blocks;
};

// "name: value" lines as a header list.
HeaderList H(std::string_view lines) {
  HeaderList out;
  while (!lines.empty()) {
    std::string_view line = lines.substr(0, lines.find('\n'));
    lines.remove_prefix(std::min(lines.size(), line.size() + 1));
    const size_t colon = line.find(": ");
    out.push_back({std::string(line.substr(0, colon)), std::string(line.substr(colon + 2))});
  }
  return out;
}

const HeaderList kC3Request1 =
    H(":method: GET\n:scheme: http\n:path: /\n:authority: www.example.com");
const HeaderList kC3Request2 = H(
    ":method: GET\n:scheme: http\n:path: /\n:authority: www.example.com\ncache-control: no-cache");
const HeaderList kC3Request3 =
    H(":method: GET\n:scheme: https\n:path: /index.html\n:authority: www.example.com\n"
      "custom-key: custom-value");
const HeaderList kC3Table1 = H(":authority: www.example.com");
const HeaderList kC3Table2 = H("cache-control: no-cache\n:authority: www.example.com");
const HeaderList kC3Table3 =
    H("custom-key: custom-value\ncache-control: no-cache\n:authority: www.example.com");

#define C5_COMMON \
  "cache-control: private\ndate: Mon, 21 Oct 2013 20:13:21 GMT\nlocation: https://www.example.com"
#define C5_COOKIE "set-cookie: foo=ASDJKHQKBZXOQWEOPIUAXQWEOIU; max-age=3600; version=1"
const HeaderList kC5Response1 = H(":status: 302\n" C5_COMMON);
const HeaderList kC5Response2 = H(":status: 307\n" C5_COMMON);
const HeaderList kC5Response3 =
    H(":status: 200\ncache-control: private\ndate: Mon, 21 Oct 2013 20:13:22 GMT\n"
      "location: https://www.example.com\ncontent-encoding: gzip\n" C5_COOKIE);
const HeaderList kC5Table1 =
    H("location: https://www.example.com\ndate: Mon, 21 Oct 2013 20:13:21 GMT\n"
      "cache-control: private\n:status: 302");
const HeaderList kC5Table2 =
    H(":status: 307\nlocation: https://www.example.com\n"
      "date: Mon, 21 Oct 2013 20:13:21 GMT\ncache-control: private");
const HeaderList kC5Table3 =
    H(C5_COOKIE "\ncontent-encoding: gzip\ndate: Mon, 21 Oct 2013 20:13:22 GMT");

const std::vector<Example>& Examples() {
  static const std::vector<Example> examples = {
      {"RFC 7541 C.2.1 literal with indexing",
       4096,
       {{"400a637573746f6d2d6b65790d637573746f6d2d686561646572",
         {{"custom-key", "custom-header"}},
         {{"custom-key", "custom-header"}},
         55}}},
      {"RFC 7541 C.2.2 literal without indexing",
       4096,
       {{"040c2f73616d706c652f70617468", {{":path", "/sample/path"}}, {}, 0}}},
      {"RFC 7541 C.2.3 literal never indexed",
       4096,
       {{"100870617373776f726406736563726574", {{"password", "secret"}}, {}, 0}}},
      {"RFC 7541 C.2.4 indexed field", 4096, {{"82", {{":method", "GET"}}, {}, 0}}},
      {"RFC 7541 C.3 requests without Huffman",
       4096,
       {{"828684410f7777772e6578616d706c652e636f6d", kC3Request1, kC3Table1, 57},
        {"828684be58086e6f2d6361636865", kC3Request2, kC3Table2, 110},
        {"828785bf400a637573746f6d2d6b65790c637573746f6d2d76616c7565", kC3Request3, kC3Table3,
         164}}},
      {"RFC 7541 C.4 requests with Huffman",
       4096,
       {{"828684418cf1e3c2e5f23a6ba0ab90f4ff", kC3Request1, kC3Table1, 57},
        {"828684be5886a8eb10649cbf", kC3Request2, kC3Table2, 110},
        {"828785bf408825a849e95ba97d7f8925a849e95bb8e8b4bf", kC3Request3, kC3Table3, 164}}},
      {"RFC 7541 C.5 responses without Huffman",
       256,
       {{"4803333032580770726976617465611d4d6f6e2c203231204f637420323031332032303a31333a"
         "323120474d546e1768747470733a2f2f7777772e6578616d706c652e636f6d",
         kC5Response1, kC5Table1, 222},
        {"4803333037c1c0bf", kC5Response2, kC5Table2, 222},
        {"88c1611d4d6f6e2c203231204f637420323031332032303a31333a323220474d54c05a04677a69"
         "707738666f6f3d4153444a4b48514b425a584f5157454f50495541585157454f49553b206d61"
         "782d6167653d333630303b2076657273696f6e3d31",
         kC5Response3, kC5Table3, 215}}},
      {"RFC 7541 C.6 responses with Huffman",
       256,
       {{"488264025885aec3771a4b6196d07abe941054d444a8200595040b8166e082a62d1bff6e919d29"
         "ad171863c78f0b97c8e9ae82ae43d3",
         kC5Response1, kC5Table1, 222},
        {"4883640effc1c0bf", kC5Response2, kC5Table2, 222},
        {"88c16196d07abe941054d444a8200595040b8166e084a62d1bffc05a839bd9ab77ad94e7821dd7"
         "f2e6c7b335dfdfcd5b3960d5af27087f3672c1ab270fb5291f9587316065c003ed4ee5b1063d50"
         "07",
         kC5Response3, kC5Table3, 215}}},
  };
  return examples;
}

HeaderList DynamicEntries(const HpackTable& table) {
  HeaderList entries;
  for (uint32_t i = 0; i < table.DynamicCount(); ++i) {
    std::string_view name, value;
    EXPECT_TRUE(table.Get(HpackTable::kStaticCount + 1 + i, name, value));
    entries.push_back({std::string(name), std::string(value)});
  }
  return entries;
}

// Each block, after the blocks before it, fed whole, cut at every byte and
// in 1-5 byte pieces (the way HEADERS and CONTINUATION frames split a block):
// the decoded list, the dynamic table and its size must match the RFC.
TEST(HpackRfc7541, AppendixCExamplesDecodeWithTableStateAtEverySplit) {
  for (const Example& ex : Examples()) {
    SCOPED_TRACE(ex.source);
    std::vector<std::string> blocks;
    for (const Block& b : ex.blocks) blocks.push_back(test::FromHex(b.hex));
    for (size_t i = 0; i < blocks.size(); ++i) {
      SCOPED_TRACE("block " + std::to_string(i + 1));
      const Block& b = ex.blocks[i];
      testing::ForEachSplit(blocks[i], [&](const testing::Pieces& pieces, const std::string& how) {
        HpackDecoder decoder;
        decoder.Table().SetMaxSize(ex.maxTableSize);
        HeaderList out;
        for (size_t k = 0; k < i; ++k) {
          out.clear();
          ASSERT_EQ(0, decoder.Decode(test::Bytes(blocks[k]), blocks[k].size(), out, true));
        }
        out.clear();
        for (size_t k = 0; k < pieces.size(); ++k) {
          const auto* bytes = reinterpret_cast<const uint8_t*>(pieces[k].data());
          ASSERT_EQ(0, decoder.Decode(bytes, pieces[k].size(), out, k + 1 == pieces.size()))
              << how << ": " << decoder.ErrorText();
        }
        EXPECT_EQ(b.headers, out) << how;
        EXPECT_EQ(b.table, DynamicEntries(decoder.Table())) << how;
        EXPECT_EQ(b.tableSize, decoder.Table().Size()) << how;
        // Nothing of a finished block may be carried into the next one.
        if (i + 1 < blocks.size()) {
          out.clear();
          ASSERT_EQ(0, decoder.Decode(test::Bytes(blocks[i + 1]), blocks[i + 1].size(), out, true))
              << how;
          EXPECT_EQ(ex.blocks[i + 1].headers, out) << how;
        }
      });
    }
  }
}

}  // namespace
}  // namespace corvane
