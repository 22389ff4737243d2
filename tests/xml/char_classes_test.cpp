#include "xml/char_classes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace corvane::xml {
namespace {

bool Whitespace(unsigned b) { return b == 0x20 || b == 0x09 || b == 0x0A || b == 0x0C || b == 0x0D; }
bool NameStart(unsigned b) {
  return b == ':' || (b >= 'A' && b <= 'Z') || b == '_' || (b >= 'a' && b <= 'z') ||
         (b >= 0xC0 && b <= 0xD6) || (b >= 0xD8 && b <= 0xF6) || b >= 0xF8;
}
bool NameChar(unsigned b) {
  return NameStart(b) || b == '-' || b == '.' || (b >= '0' && b <= '9') || b == 0xB7;
}

TEST(XmlCharClasses, ScanClassesAgreeWithTablesAndStopSets) {
  struct Stop {
    uint32_t bit;
    const char* bytes;
  } stops[] = {
      {kTextStop, "<&\n"},     {kAttrNameStop, " \t\n\f\r>=/"}, {kUnquotedStop, " \t\n\f\r>&"},
      {kDeclStop, "\"'[>"},    {kDqValueStop, "\"&"},          {kSqValueStop, "'&"},
      {kDashStop, "-"},        {kGtStop, ">"},                  {kRBracketStop, "]"},
      {kLBracketStop, "["},    {kDqStop, "\""},                 {kSqStop, "'"},
  };
  for (unsigned b = 0; b < 256; ++b) {
    EXPECT_EQ(kWhitespaceTable[b] != 0, Whitespace(b)) << b;
    EXPECT_EQ(kNameStartTable[b] != 0, NameStart(b)) << b;
    EXPECT_EQ(kNameCharTable[b] != 0, NameChar(b)) << b;
    uint32_t c = kDefaultScanClasses.cls[b];
    EXPECT_EQ((c & kWs) != 0, Whitespace(b)) << b;
    EXPECT_EQ((c & kNameStart) != 0, NameStart(b)) << b;
    EXPECT_EQ((c & kName) != 0, NameChar(b)) << b;
    EXPECT_EQ((c & kNamePart) != 0, NameChar(b) && b != ':') << b;
    EXPECT_EQ((c & kDbcsLead) != 0, (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF)) << b;
    for (const Stop& s : stops) {
      // NUL ends every run: it is the sentinel after the buffer.
      bool expected = b == 0 || (b != 0 && std::strchr(s.bytes, static_cast<int>(b)) != nullptr);
      EXPECT_EQ((c & s.bit) != 0, expected) << "byte " << b << " bit " << s.bit;
    }
  }
}

}  // namespace
}  // namespace corvane::xml
