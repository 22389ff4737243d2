#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "json/json_string.h"

namespace corvane {
namespace {

TEST(JsonStringTest, DecodesEscapesToUtf8) {
  struct Case {
    std::string_view token;
    bool ok;
    std::string_view text;
  } cases[] = {
      {R"("plain")", true, "plain"},
      {R"("")", true, ""},
      {R"("q\"b\\s\/")", true, "q\"b\\s/"},
      {R"("\b\f\n\r\t")", true, "\b\f\n\r\t"},
      {R"("\u0041\u00e9\u20AC")", true, "A\xC3\xA9\xE2\x82\xAC"},
      // RFC 8259 section 7: U+1D11E as a surrogate pair.
      {R"("\uD834\uDD1E")", true, "\xF0\x9D\x84\x9E"},
      {R"("\uD834x")", true, "\xEF\xBF\xBDx"},       // lone high surrogate
      {R"("\uDD1E")", true, "\xEF\xBF\xBD"},         // lone low surrogate
      {R"("\uD834\u0041")", true, "\xEF\xBF\xBD" "A"},  // high then not a low
      {"\"caf\xC3\xA9\"", true, "caf\xC3\xA9"},      // UTF-8 passes through
      {R"("\x")", false, ""},
      {R"("\u12")", false, ""},
      {R"("\u12G4")", false, ""},
      {R"("ends\")", false, ""},
      {R"("a"b")", false, ""},
      {"42", false, ""},
      {"\"", false, ""},
  };
  for (const Case& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(DecodeJsonString(c.token, out), c.ok) << c.token;
    EXPECT_EQ(out, c.ok ? std::string(c.text) : "untouched") << c.token;
  }
}

}  // namespace
}  // namespace corvane
