#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "json/json_parser.h"
#include "support/navigator_view.h"

namespace corvane {
namespace {

constexpr std::string_view kDoc = R"({
  "store": {
    "book": [
      {"title": "A", "price": 8.95, "tags": ["x", "y"]},
      {"title": "B", "price": 12},
      {"title": "C.d", "isbn": null}
    ],
    "owner": {"name": "Q", "name": "R"},
    "a.b": 1,
    "we/ird[": 2
  },
  "count": 3
})";

struct PathCase {
  std::string_view path;
  int code;                  // 0 or 10233
  std::string_view rebuilt;  // the path read back afterwards
  std::string_view element;  // XElement afterwards
  std::string_view text;     // XText afterwards
};

// Each path is set from the root.
const PathCase kPaths[] = {
    // Slash form.
    {"/", 0, "/json", "json", ""},
    {"/json/store/book/[2]/title", 0, "/json/store/book/[2]/title", "title", R"("B")"},
    {"/json/store/book/[last()]/isbn", 0, "/json/store/book/[3]/isbn", "isbn", "null"},
    {"/json/store/book/[last()-2]/tags/[2]", 0, "/json/store/book/[1]/tags/[2]", "", R"("y")"},
    {"/json/store/owner/name[2]", 0, "/json/store/owner/[2]", "name", R"("R")"},
    // A repeated member name is written by position from its second
    // occurrence on, so reading the path back never lands on the first one.
    {"$.store.owner[2]", 0, "$['store']['owner'][2]", "name", R"("R")"},
    {"$.store.owner.name", 0, "$['store']['owner']['name']", "name", R"("Q")"},
    {"store//book/[1]/../[3]", 0, "/json/store/book/[3]", "", ""},
    // A dot inside a slash path makes it a dotted path: such names need ['...'].
    {"/json/store/a.b", 10233, "$", "json", ""},
    {"count", 0, "/json/count", "count", "3"},
    // Dotted form.
    {"$", 0, "$", "json", ""},
    {"$.store.book[2].price", 0, "$['store']['book'][2]['price']", "price", "12"},
    {"$['store']['book'][last()]['title']", 0, "$['store']['book'][3]['title']", "title",
     R"("C.d")"},
    {"$.store['a.b']", 0, "$['store']['a.b']", "a.b", "1"},
    {"$.store['we/ird[']", 0, "$['store']['we/ird[']", "we/ird[", "2"},
    {"$.store.book[1].tags..price", 0, "$['store']['book'][1]['price']", "price", "8.95"},
    {"$.store.@.owner", 0, "$['store']['owner']", "owner", ""},
    // Failures leave the cursor on the last node reached.
    {"/json/store/nothing", 10233, "/json/store", "store", ""},
    {"/json/store/book/[4]", 10233, "/json/store/book", "book", ""},
    {"/json/store/book/[0]", 10233, "/json/store/book", "book", ""},
    {"/json/store/owner/name[3]", 10233, "/json/store/owner", "owner", ""},
    {"/json/store/owner[@id]", 10233, "/json/store", "store", ""},
    {"/json/store/..x", 10233, "/json/store", "store", ""},
    {"/store", 10233, "/json", "json", ""},
    {"$['store'", 10233, "$", "json", ""},
    {".", 10233, "", "json", ""},
    {"", 10233, "", "json", ""},
};

TEST(JsonPathTest, SetsBothFormsAndRebuildsTextThatSelectsTheSameNode) {
  JsonParser parser;
  ASSERT_EQ(parser.Parse(kDoc), 0);
  for (const PathCase& test : kPaths) {
    ASSERT_EQ(parser.Parse(kDoc), 0);
    int rc = parser.SetXPath(test.path);
    EXPECT_EQ(rc, test.code) << test.path;
    EXPECT_EQ(parser.GetXPath(), test.rebuilt) << test.path;
    EXPECT_EQ(parser.XElement(), test.element) << test.path;
    EXPECT_EQ(parser.XText(), test.text) << test.path;
    // The rebuilt text selects the same node again.
    const uint32_t node = parser.Cursor();
    if (rc == 0) {
      ASSERT_EQ(parser.SetXPath("/"), 0);
      ASSERT_EQ(parser.SetXPath(test.rebuilt), 0) << test.rebuilt;
      EXPECT_EQ(parser.Cursor(), node) << test.rebuilt;
    }
  }
}

TEST(JsonPathTest, RelativeStepsStartAtTheCursor) {
  JsonParser parser;
  ASSERT_EQ(parser.Parse(kDoc), 0);
  ASSERT_EQ(parser.SetXPath("/json/store/book"), 0);
  ASSERT_EQ(parser.SetXPath("[2]/price"), 0);
  EXPECT_EQ(parser.GetXPath(), "/json/store/book/[2]/price");
  ASSERT_EQ(parser.SetXPath("..['title']"), 0);
  EXPECT_EQ(parser.GetXPath(), "$['store']['book'][2]['title']");
  ASSERT_EQ(parser.SetXPath("../../[1]/tags"), 0);
  EXPECT_EQ(parser.GetXPath(), "/json/store/book/[1]/tags");
}

TEST(JsonPathTest, DetectsTheForm) {
  for (std::string_view path : {"$", "$x", "a['b']", "a.b", "a/b.c"}) {
    EXPECT_EQ(DetectJsonPathForm(path), JsonPathForm::jpDotted) << path;
  }
  for (std::string_view path :
       {"a['b", "../a", ".a", "a/../b", "a./b", "a.", "/json/a", "[1]/[2]"}) {
    EXPECT_EQ(DetectJsonPathForm(path), JsonPathForm::jpSlash) << path;
  }
}

TEST(JsonPathTest, HasXPathLeavesCursorPathAndErrorAlone) {
  JsonParser parser;
  ASSERT_EQ(parser.Parse(kDoc), 0);
  // Repeated names: the cursor on the second "name" must survive a probe.
  ASSERT_EQ(parser.SetXPath("/json/store/owner/name[2]"), 0);
  uint32_t node = parser.Cursor();
  EXPECT_EQ(parser.SetXPath("/json/nothing"), 10233);
  ASSERT_EQ(parser.SetXPath("/json/store/owner/name[2]"), 0);
  EXPECT_TRUE(parser.HasXPath("/json/store/book/[3]"));
  EXPECT_FALSE(parser.HasXPath("/json/store/book/[4]"));
  EXPECT_FALSE(parser.HasXPath(""));
  EXPECT_TRUE(parser.HasXPath("$.count"));
  EXPECT_EQ(parser.Cursor(), node);
  EXPECT_EQ(parser.XText(), R"("R")");
  EXPECT_EQ(parser.GetXPath(), "/json/store/owner/[2]");
  EXPECT_EQ(parser.LastErrorText().view(), "Invalid XPath.");
}

// A JSON cursor has no prefix, namespace or attributes; a container has no
// text of its own.
TEST(JsonNavigatorTest, ReadsAroundTheCursor) {
  JsonParser parser;
  ASSERT_EQ(parser.Parse(kDoc), 0);
  EXPECT_EQ(testing::CursorView(parser), "json||||");
  EXPECT_EQ(parser.XParent(), "");
  EXPECT_EQ(testing::ListView(parser), "store=,count=3 | |");
  ASSERT_EQ(parser.SetXPath("/json/store/book/[1]"), 0);
  EXPECT_EQ(testing::CursorView(parser), "||||/json/store/book/[1]");
  EXPECT_EQ(parser.XParent(), "book");
  EXPECT_EQ(testing::ListView(parser), "title=\"A\",price=8.95,tags= | |");
  std::string out = "stale";
  EXPECT_EQ(parser.Attr("title", out), 0);
  EXPECT_EQ(out, "");
}

TEST(JsonNavigatorTest, IndexErrorsCarryTheirCodeAndEmptyTheOutput) {
  JsonParser parser;
  ASSERT_EQ(parser.Parse(kDoc), 0);
  using Read = int (DocumentNavigator::*)(int, std::string&);
  const struct {
    std::string_view cursorPath;
    Read read;
    int index, code;
  } cases[] = {
      {"/json", &DocumentNavigator::XChildName, 2, 105},
      {"/json", &DocumentNavigator::XChildXText, -1, 105},
      {"/json/count", &DocumentNavigator::XChildName, 0, 106},
      {"/json", &DocumentNavigator::AttrName, 0, 102},
      {"/json", &DocumentNavigator::AttrValue, 0, 102},
      {"/json", &DocumentNavigator::NamespacePrefix, 0, 104},
      {"/json", &DocumentNavigator::NamespaceURI, 0, 104},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(parser.SetXPath(c.cursorPath), 0);
    std::string out = "stale";
    EXPECT_EQ((static_cast<DocumentNavigator&>(parser).*c.read)(c.index, out), c.code);
    EXPECT_EQ(out, "");
  }
}

TEST(JsonNavigatorTest, WithoutADocumentReadersAreEmptyAndQuiet) {
  JsonParser parser;
  EXPECT_EQ(testing::CursorView(parser), "||||");
  EXPECT_EQ(testing::ListView(parser), " | |");
  EXPECT_EQ(parser.XSubTree(), "");
  std::string out = "stale";
  EXPECT_EQ(parser.XChildName(0, out), 0);
  EXPECT_EQ(out, "");
  EXPECT_FALSE(parser.HasXPath("/json"));
}

}  // namespace
}  // namespace corvane
