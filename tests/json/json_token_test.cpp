#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "json/json_parser.h"

namespace corvane {
namespace {

// The scanner reads words four bytes at a time and numbers sixteen at a
// time, so every token is tried at every alignment: behind 0 to 33 spaces,
// right before the closer and the terminator, and before each byte that may
// end it.
constexpr int kMaxLead = 33;

std::string Place(int lead, std::string_view token, std::string_view after) {
  return "[" + std::string(static_cast<size_t>(lead), ' ') + std::string(token) + std::string(after) + "]";
}

TEST(JsonTokenTest, WordsAndNumbersAreKeptWholeAtEveryAlignment) {
  const std::string_view tokens[] = {
      "true", "TRUE", "False", "fAlSe", "nULL", "null",
      "0", "-1", "+5", "1E3", "6.02e-23", "-1.731999146204426e+21",
      "1234567890123456789012345678901234",  // longer than two wide reads
      "1.2.3", "-", "e",                      // only the byte class is checked
  };
  const std::string_view ends[] = {"", " ", "\n", "\t\r", ",0"};
  for (std::string_view token : tokens) {
    for (std::string_view after : ends) {
      for (int lead = 0; lead <= kMaxLead; ++lead) {
        std::string text = Place(lead, token, after);
        JsonParser parser;
        ASSERT_EQ(parser.Parse(text), 0) << text;
        EXPECT_EQ(parser.Document().Value(1), token) << text;
      }
    }
  }
}

TEST(JsonTokenTest, MalformedTokensFailWhereTheyBreak) {
  struct Case {
    std::string_view token;
    size_t offset;  // from the token's first byte
  } cases[] = {
      {"truex", 0}, {"nul", 0}, {"nulll", 0}, {"falsE1", 0}, {"fals", 0}, {"T", 0},
      {"tru\xC5", 0},                 // a folded 8-bit byte is no letter
      {"12a", 2},
      {"12/", 2}, {"12:", 2},         // the bytes either side of the digits
      {"12\xC3\xA9", 2},              // 8-bit bytes are never digits
      {"123456789012345678x", 18},
      {"12345678901234567890123456789012345\"", 35},
  };
  for (const Case& c : cases) {
    for (int lead = 0; lead <= kMaxLead; ++lead) {
      std::string text = Place(lead, c.token, "");
      JsonParser parser;
      EXPECT_EQ(parser.Parse(text), 10232) << text;
      EXPECT_EQ(parser.ErrorOffset(), 1 + static_cast<size_t>(lead) + c.offset) << text;
    }
  }
}

TEST(JsonTokenTest, ANumberCutOffByTheEndOfTheTextLeavesTheArrayOpen) {
  for (int lead = 0; lead <= kMaxLead; ++lead) {
    std::string text = "[" + std::string(static_cast<size_t>(lead), ' ') + "-12345678901234567.5e+3";
    JsonParser parser;
    EXPECT_EQ(parser.Parse(text), 10232) << text;
    EXPECT_EQ(parser.ErrorOffset(), text.size()) << text;
  }
}

}  // namespace
}  // namespace corvane
