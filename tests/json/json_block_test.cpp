#include <gtest/gtest.h>

#include <cstring>
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
    EXPECT_EQ(block.data(), nullptr);
    EXPECT_EQ(block.size(), 0u);
  }
  SetZeroMemory(false);
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
