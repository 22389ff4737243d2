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

// Folding builds on LowerAscii, checked for every byte above.
TEST(AsciiTest, EqualsNoCaseFoldsOnlyAsciiLetters) {
  EXPECT_TRUE(EqualsNoCase("CONTENT-length", "content-LENGTH"));
  // Bytes 0x20 apart that are not ASCII letters stay distinct.
  EXPECT_FALSE(EqualsNoCase("[", "{") || EqualsNoCase("@", "`") || EqualsNoCase("\xC9", "\xE9"));
  EXPECT_FALSE(EqualsNoCase("Content-Length", "Content-Lengt"));
  EXPECT_EQ(TrimBlanks(" \t a b\t "), "a b");
  EXPECT_TRUE(StartsWithNoCase("Basic realm=x", "BASIC"));
  EXPECT_FALSE(StartsWithNoCase("Bas", "Basic"));
  EXPECT_EQ(ToLowerAscii("Content-TYPE\xC3\x89"), "content-type\xC3\x89");
}

}  // namespace
}  // namespace corvane
