#include <gtest/gtest.h>

#include <string>

#include "json/json_parser.h"

namespace corvane {
namespace {

// A large answer's text block and node array outlive Reset: refilling them
// beats faulting in fresh zeroed pages. The array is reserved from the text's
// length, so a later, longer text that the kept one cannot hold gets a new one.
TEST(JsonBlockTest, TextAndNodeBlocksAreKeptAcrossResetAndReplacedForALongerText) {
  auto longString = [](size_t bytes) { return "[\"" + std::string(bytes, 'x') + "\", 7]"; };
  JsonParser parser;
  ASSERT_EQ(parser.Parse(longString(size_t{6} << 20)), 0);
  const unsigned char* text = parser.Document().Bytes();
  const size_t kept = parser.Document().NodeBytes();
  EXPECT_GE(kept, (size_t{6} << 20) / 4 * sizeof(JsonNode));
  parser.Reset();
  EXPECT_FALSE(parser.Document().HasText());
  EXPECT_EQ(parser.Document().SubTree(0), "");
  ASSERT_EQ(parser.Parse("{\"a\": [1, 2]}"), 0);
  EXPECT_EQ(parser.Document().Bytes(), text);
  EXPECT_EQ(parser.Document().NodeBytes(), kept);
  EXPECT_EQ(parser.Document().SubTree(0), "{\"a\": [1, 2]}");
  ASSERT_EQ(parser.SetXPath("/json/a/[2]"), 0);
  EXPECT_EQ(parser.XText(), "2");

  ASSERT_EQ(parser.Parse(longString(size_t{6} << 20)), 0);  // the refilled block reads back whole
  EXPECT_EQ(parser.Document().Value(1).size(), (size_t{6} << 20) + 2);
  ASSERT_EQ(parser.Parse(longString(size_t{24} << 20)), 0);
  EXPECT_GE(parser.Document().NodeBytes(), (size_t{24} << 20) / 4 * sizeof(JsonNode));
  ASSERT_EQ(parser.SetXPath("/json/[2]"), 0);
  EXPECT_EQ(parser.XText(), "7");
}

TEST(JsonBlockTest, LargeDocumentsGrowTheNodeArrayInPlace) {
  // Two bytes per node: the densest a document gets, far past the first guess.
  std::string text = "[1";
  text.reserve(12 << 20);
  while (text.size() < (12u << 20)) text += ",1";
  text += "]";
  JsonParser parser;
  ASSERT_EQ(parser.Parse(text), 0);
  const uint32_t items = static_cast<uint32_t>((text.size() - 1) / 2);
  EXPECT_EQ(parser.Document().NodeCount(), items + 1);
  EXPECT_EQ(parser.XChildCount(), static_cast<int>(items));
  ASSERT_EQ(parser.SetXPath("/json/[last()]"), 0);
  EXPECT_EQ(parser.XText(), "1");
  EXPECT_EQ(parser.GetXPath(), "/json/[" + std::to_string(items) + "]");
  EXPECT_LE(parser.Document().NodeBytes(), size_t{items + 1} * sizeof(JsonNode) * 5 / 4 + 4096);
}

}  // namespace
}  // namespace corvane
