#include "core/error_table.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(MessageFormat, PlaceholdersTakeTheArgumentsByPosition) {
  const struct {
    std::string_view templ;
    std::initializer_list<MessageArg> args;
    std::string_view text;
  } cases[] = {
      {"a {0} b {1} {2}", {1, "x"}, "a 1 b x {2}"},  // a placeholder without argument stays
      {"{1}{0}{1}", {"a", "b"}, "bab"},
      {"{0}", {}, "{0}"},
      {"error {0}.", {StatusHex(0x80092004)}, "error 0x80092004."},
      {"recv: {0}", {-10054}, "recv: -10054"},
      {"{x} {} {", {"a"}, "{x} {} {"},
      {"", {"a"}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatMessage(c.templ, c.args), c.text) << c.templ;
  EXPECT_EQ(StatusHex(0), "0x0");
}

enum class Sample { kFirst, kSecond, kThird };

constexpr ErrorRow kSampleRows[] = {
    {151, "first {0}"},
    {200, "second"},
    {151, "third"},
};
constexpr ErrorTable<Sample> kSample(kSampleRows);

TEST(ErrorTable, RowsByEnumeratorAndByCode) {
  static_assert(kSample.Code(Sample::kSecond) == 200);
  EXPECT_EQ(kSample.Template(Sample::kThird), "third");
  EXPECT_EQ(kSample.Text(Sample::kFirst, {"x"}), "first x");
  // Two rows share 151: a lookup by code finds the first.
  ASSERT_NE(kSample.Find(151), nullptr);
  EXPECT_EQ(kSample.Find(151)->text, "first {0}");
  EXPECT_EQ(kSample.Find(404), nullptr);
  EXPECT_EQ(kSample.Rows().size(), 3u);
}

}  // namespace
}  // namespace corvane
