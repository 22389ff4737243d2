#include "core/ascii.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

namespace corvane {
namespace {

// Every byte against the C library in the "C" locale (the process default),
// which is what protocol text means by blank, letter case and hex digit.
TEST(AsciiTest, EveryByteMatchesTheCLocaleClasses) {
  for (int i = 0; i < 256; ++i) {
    char c = static_cast<char>(i);
    EXPECT_EQ(IsBlank(c), std::isblank(i) != 0) << i;
    EXPECT_EQ(static_cast<unsigned char>(LowerAscii(c)), std::tolower(i)) << i;
    int hex = std::isxdigit(i) ? static_cast<int>(std::strtol(std::string(1, c).c_str(), nullptr, 16)) : -1;
    EXPECT_EQ(HexValue(c), hex) << i;
  }
}

TEST(AsciiTest, EqualsNoCaseFoldsOnlyAsciiLetters) {
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      bool same = std::tolower(a) == std::tolower(b);
      ASSERT_EQ(EqualsNoCase(std::string(1, static_cast<char>(a)), std::string(1, static_cast<char>(b))), same)
          << a << " " << b;
    }
  }
  EXPECT_FALSE(EqualsNoCase("Content-Length", "Content-Lengt"));
  EXPECT_EQ(TrimBlanks(" \t a b\t "), "a b");
  EXPECT_TRUE(StartsWithNoCase("Basic realm=x", "BASIC"));
  EXPECT_FALSE(StartsWithNoCase("Bas", "Basic"));
  EXPECT_EQ(ToLowerAscii("Content-TYPE\xC3\x89"), "content-type\xC3\x89");
}

}  // namespace
}  // namespace corvane
