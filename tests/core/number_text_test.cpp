#include "core/number_text.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(NumberText, DecimalsAreBoundedAndStrict) {
  struct {
    const char* text;
    int64_t value;  // -1: refused
  } cases[] = {
      {"0", 0},
      {" \t1234 ", 1234},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", -1},
      // Wraps to a plausible length in 64 unsigned bits.
      {"20000000000000000000", -1},
      {"", -1},
      {"  ", -1},
      {"+5", -1},
      {"-5", -1},
      {"5a", -1},
      {"5 5", -1},
  };
  for (const auto& c : cases) {
    int64_t n = -1;
    EXPECT_EQ(ParseDecimal(c.text, n), c.value >= 0) << c.text;
    if (c.value >= 0) {
      EXPECT_EQ(n, c.value) << c.text;
    }
  }
}

TEST(NumberText, ChunkSizesAreBoundedHexWithExtensions) {
  struct {
    const char* text;
    int32_t size;  // -1: refused
  } cases[] = {{"1c40", 0x1c40}, {"A ; name=v", 10}, {" 7fffffff", 0x7fffffff},
               {"80000000", -1}, {"", -1},           {"-1", -1},
               {"1g", -1},       {"1 2", -1}};
  for (const auto& c : cases) {
    int32_t n = -1;
    EXPECT_EQ(ParseChunkSize(c.text, n), c.size >= 0) << c.text;
    if (c.size >= 0) {
      EXPECT_EQ(n, c.size) << c.text;
    }
  }
}

}  // namespace
}  // namespace corvane
