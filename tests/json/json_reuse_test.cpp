#include <gtest/gtest.h>

#include <string>

#include "core/zero_memory.h"
#include "json/json_parser.h"

namespace corvane {
namespace {

// A large answer's text block outlives Reset (refilling it beats faulting in
// fresh zeroed pages), but never while ZeroMemory asks for wiped releases.
TEST(JsonReuseTest, LargeTextBlockIsKeptAcrossResetUnlessWiping) {
  const std::string big = "[\"" + std::string(size_t{6} << 20, 'x') + "\"]";
  for (bool wipe : {false, true}) {
    SCOPED_TRACE(wipe ? "wiping" : "not wiping");
    SetZeroMemory(wipe);
    JsonParser parser;
    ASSERT_EQ(parser.Parse(big), 0);
    const unsigned char* text = parser.Document().Bytes();
    parser.Reset();
    ASSERT_EQ(parser.Parse("{\"a\": [1, 2]}"), 0);
    EXPECT_EQ(parser.Document().Bytes() == text, !wipe);
    EXPECT_EQ(parser.Document().SubTree(0), "{\"a\": [1, 2]}");
    ASSERT_EQ(parser.Parse(big), 0);  // and the refilled block reads back whole
    EXPECT_EQ(parser.Document().Value(1).size(), big.size() - 2);
  }
  SetZeroMemory(false);
}

}  // namespace
}  // namespace corvane
