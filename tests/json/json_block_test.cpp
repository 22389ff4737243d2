#include <gtest/gtest.h>

#include <string>

#include "core/zero_memory.h"
#include "json/json_block.h"
#include "json/json_parser.h"

namespace corvane {
namespace {

bool Holds(const JsonBlock& block, size_t bytes) {
  auto* p = static_cast<const unsigned char*>(block.data());
  for (size_t i = 0; i < bytes; i += 4093) {
    if (p[i] != static_cast<unsigned char>(i * 7)) return false;
  }
  return true;
}

void Fill(JsonBlock& block, size_t from, size_t to) {
  auto* p = static_cast<unsigned char*>(block.data());
  for (size_t i = from; i < to; ++i) p[i] = static_cast<unsigned char>(i * 7);
}

TEST(JsonBlockTest, GrowingKeepsContentFromHeapToMappedAndRemapped) {
  for (bool wipe : {false, true}) {
    SetZeroMemory(wipe);
    JsonBlock block;
    ASSERT_TRUE(block.Resize(1000));
    Fill(block, 0, 1000);
    ASSERT_TRUE(block.Resize(100000));  // still on the heap
    Fill(block, 1000, 100000);
    ASSERT_TRUE(block.Resize(size_t{6} << 20));  // moves to a mapping
    EXPECT_TRUE(Holds(block, 100000));
    Fill(block, 100000, size_t{6} << 20);
    ASSERT_TRUE(block.Resize(size_t{40} << 20));  // remapped
    EXPECT_GE(block.size(), size_t{40} << 20);
    EXPECT_TRUE(Holds(block, size_t{6} << 20));
    ASSERT_TRUE(block.Resize(10));  // never shrinks
    EXPECT_GE(block.size(), size_t{40} << 20);
    block.Release();
    EXPECT_TRUE(block.data() == nullptr && block.size() == 0);
  }
  SetZeroMemory(false);
}

TEST(JsonBlockTest, RecycleKeepsBlocksUpToTheLimit) {
  struct Case {
    const char* name;
    size_t bytes;
    bool wipe;
    bool kept;
  } cases[] = {
      {"heap block", 1000, false, true},
      {"mapped block", size_t{5} << 20, false, true},
      {"over the limit", size_t{9} << 20, false, false},
      {"wiping releases", size_t{5} << 20, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetZeroMemory(c.wipe);
    JsonBlock block;
    ASSERT_TRUE(block.Resize(c.bytes));
    void* data = block.data();
    block.Recycle(size_t{8} << 20);
    EXPECT_EQ(block.data() == data && block.size() >= c.bytes, c.kept);
    EXPECT_EQ(block.data() == nullptr, !c.kept);
  }
  SetZeroMemory(false);
}

// A large answer's text block outlives Reset: refilling it beats faulting in
// fresh zeroed pages.
TEST(JsonBlockTest, ParsesAfterResetReuseTheBlocks) {
  const std::string big = "[\"" + std::string(size_t{6} << 20, 'x') + "\"]";
  JsonParser parser;
  ASSERT_EQ(parser.Parse(big), 0);
  const unsigned char* text = parser.Document().Bytes();
  parser.Reset();
  EXPECT_FALSE(parser.Document().HasText());
  EXPECT_EQ(parser.Document().SubTree(0), "");
  ASSERT_EQ(parser.Parse("{\"a\": [1, 2]}"), 0);
  EXPECT_EQ(parser.Document().Bytes(), text);
  EXPECT_EQ(parser.Document().SubTree(0), "{\"a\": [1, 2]}");
  ASSERT_EQ(parser.SetXPath("/json/a/[2]"), 0);
  EXPECT_EQ(parser.XText(), "2");
  ASSERT_EQ(parser.Parse(big), 0);  // and the refilled block reads back whole
  EXPECT_EQ(parser.Document().Value(1).size(), big.size() - 2);
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

namespace corvane {
namespace {

// The node array is reserved from the text's length and kept across Reset; a
// later, longer text that the kept array cannot hold gets a new one.
TEST(JsonBlockTest, NodeArrayIsKeptAcrossResetAndReplacedForALongerText) {
  auto longString = [](size_t bytes) { return "[\"" + std::string(bytes, 'x') + "\", 7]"; };
  JsonParser parser;
  ASSERT_EQ(parser.Parse(longString(size_t{6} << 20)), 0);
  const size_t kept = parser.Document().NodeBytes();
  EXPECT_GE(kept, (size_t{6} << 20) / 4 * sizeof(JsonNode));
  parser.Reset();
  ASSERT_EQ(parser.Parse(R"({"a": [1, 2]})"), 0);
  EXPECT_EQ(parser.Document().NodeBytes(), kept);
  ASSERT_EQ(parser.SetXPath("/json/a/[2]"), 0);
  EXPECT_EQ(parser.XText(), "2");

  ASSERT_EQ(parser.Parse(longString(size_t{24} << 20)), 0);
  EXPECT_GE(parser.Document().NodeBytes(), (size_t{24} << 20) / 4 * sizeof(JsonNode));
  ASSERT_EQ(parser.SetXPath("/json/[2]"), 0);
  EXPECT_EQ(parser.XText(), "7");
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

// A block whose tail past its last whole huge page is kept in small pages is
// two mappings; growing it still keeps the content, wiped or not.
TEST(JsonBlockTest, SmallPageTailBlockGrowsKeepingContent) {
  for (bool wipe : {false, true}) {
    SetZeroMemory(wipe);
    JsonBlock block(true);
    ASSERT_TRUE(block.Resize((size_t{5} << 20) + 100));
    Fill(block, 0, (size_t{5} << 20) + 100);
    ASSERT_TRUE(block.Resize(size_t{13} << 20));
    EXPECT_GE(block.size(), size_t{13} << 20);
    EXPECT_TRUE(Holds(block, (size_t{5} << 20) + 100));
    Fill(block, 0, size_t{13} << 20);
    ASSERT_TRUE(block.Resize(size_t{21} << 20));
    EXPECT_TRUE(Holds(block, size_t{13} << 20));
  }
  SetZeroMemory(false);
}

}  // namespace
}  // namespace corvane
