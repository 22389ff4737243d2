#include <gtest/gtest.h>

#include "support/every_split.h"
#include "support/navigator_view.h"
#include "xml/xml_parser.h"

namespace corvane {
namespace {

using testing::CursorView;
using testing::ListView;

class Navigation : public ::testing::Test {
 protected:
  void Parse(std::string_view doc) {
    parser.Reset();
    ASSERT_EQ(parser.Feed(doc), 0) << parser.LastErrorText().view();
  }
  XmlParser parser;
};

constexpr std::string_view kDoc = "<r><a/><b x=\"1\"/><a>t</a></r>";
constexpr std::string_view kPrefixed = "<r xmlns:p=\"u\"><x/><p:c>1</p:c></r>";
constexpr std::string_view kUriRoot = "<p:r xmlns:p=\"urn:x:\"><a/></p:r>";
constexpr std::string_view kScopes = "<r xmlns='d' xmlns:a='1'><s xmlns:b='2'><t/></s></r>";

// Each path is set after "/"; a failing one leaves the cursor on the last
// node it reached. The reading is "element|prefix|namespace|text|path".
TEST_F(Navigation, PathTable) {
  struct {
    std::string_view doc;
    const char* path;
    int rc;
    const char* cursor;
  } cases[] = {
      {kDoc, "/r/a[2]", 0, "a|||t|/r/a[2]"},
      {kDoc, "/r/[2]", 0, "b||||/r/[2]"},
      {kDoc, "/r/[last()]", 0, "a|||t|/r/[3]"},
      {kDoc, "/r/[LAST()-2]", 0, "a||||/r/[1]"},
      {kDoc, "/r/b[@x=1]", 0, "b||||/r/b"},
      {kDoc, "/r/b[@x]", 0, "b||||/r/b"},
      {kDoc, "/[1]/b", 0, "b||||/r/b"},
      {kDoc, "/", 0, "r||||/"},
      {kDoc, "/r/b[@x='2']", 208, "r||||/r"},
      {kDoc, "/q", 209, "r||||/"},
      {kDoc, "/r/[0]", 207, "r||||/r"},
      {kDoc, "/r/[last()+1]", 207, "r||||/r"},
      {kDoc, "/r/..x", 207, "r||||/r"},
      {kDoc, "/r/a[last()]", 207, "r||||/r"},
      {kDoc, "/r[2]", 207, "r||||/"},
      // A namespaced element matches by qualified, local and URI+local name.
      {kPrefixed, "/r/p:c", 0, "p:c|p|u|1|/r/p:c"},
      {kPrefixed, "/r/c", 0, "p:c|p|u|1|/r/p:c"},
      {kPrefixed, "/r/uc", 0, "p:c|p|u|1|/r/p:c"},
      {kUriRoot, "/r", 0, "p:r|p|urn:x:||/p:r"},
      {kUriRoot, "/urn:x:r", 0, "p:r|p|urn:x:||/p:r"},
      {kScopes, "/r/s/t", 0, "t||d||/r/s/t"},
      // Text joins the pieces around children and CDATA.
      {"<r>a<x>inner</x>b<![CDATA[<c>]]>&amp;d</r>", "/r", 0, "r|||ab<c>&d|/r"},
      // A reference left as written stays in the text's run of the input.
      {"<r>a &foo; b&#128512;<x/>&bar c&lt;</r>", "/r", 0, "r|||a &foo; b&#128512;&bar c<|/r"},
      // Leading zeros are digits; what names no character, or a name only
      // near a predefined one, is kept as written.
      {"<r>&#65;&#x41;&#0065;&#x0041;&lt&gt;&apos;&quot;</r>", "/r", 0, "r|||AAAA<>'\"|/r"},
      {"<r>&#;&#x;&#X41;&#xG1;&#1a;&#0;&#65536;&#x10000;&#99999999999;</r>", "/r", 0,
       "r|||&#;&#x;&#X41;&#xG1;&#1a;&#0;&#65536;&#x10000;&#99999999999;|/r"},
      {"<r>&l;&g;&gt2;&am;&ampx;&aposs;&quo;&QUOT;</r>", "/r", 0,
       "r|||&l;&g;&gt2;&am;&ampx;&aposs;&quo;&QUOT;|/r"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    Parse(c.doc);
    parser.SetXPath("/");
    EXPECT_EQ(parser.SetXPath(c.path), c.rc);
    EXPECT_EQ(parser.LastErrorText().empty(), c.rc == 0);
    EXPECT_EQ(CursorView(parser), c.cursor);
  }
}

// Children, attributes and the namespaces in scope (outer declarations
// first) at the cursor.
TEST_F(Navigation, ListsAroundTheCursor) {
  // An attribute's value starts 65535 bytes after its name (the short
  // record's limit) and 65536 bytes after it.
  const std::string nearest = "a" + std::string(65532, ' ') + "='v'";
  const std::string far = "a" + std::string(65533, ' ') + "='v'";
  struct {
    std::string doc;
    const char *path, *lists;
  } cases[] = {
      {"<r xmlns:p='u'><a>1</a><p:b>2</p:b><a/></r>", "/r", "a=1,p:b(p,u)=2,a= | | p=u"},
      {"<r xmlns:p='u' a='1' p:b='2' xml:lang='en'/>", "/r",
       " | a=1,b(p,u)=2,lang(xml,http://www.w3.org/XML/1998/namespace)=en | p=u"},
      {std::string(kScopes), "/r/s/t", " | | =d,a=1,b=2"},
      {"<r " + nearest + " b='w'/>", "/r", " | a=v,b=w |"},
      {"<r " + far + " b='w'/>", "/r", " | a=v,b=w |"},
  };
  for (const auto& c : cases) {
    Parse(c.doc);
    ASSERT_EQ(parser.SetXPath(c.path), 0);
    EXPECT_EQ(ListView(parser), c.lists) << c.doc;
  }
}

TEST_F(Navigation, IndexErrorsCarryTheirCode) {
  struct {
    std::string_view doc;
    const char* path;
    int (*read)(XmlParser&, std::string&);
    int code;
  } cases[] = {
      {"<r><a/></r>", "/r", [](XmlParser& p, std::string& o) { return p.XChildName(1, o); }, 105},
      {"<r><a/></r>", "/r", [](XmlParser& p, std::string& o) { return p.XChildName(-1, o); }, 105},
      {"<r><a/></r>", "/r/a", [](XmlParser& p, std::string& o) { return p.XChildName(0, o); }, 106},
      {"<r a='1'/>", "/r", [](XmlParser& p, std::string& o) { return p.AttrName(1, o); }, 101},
      {"<r/>", "/r", [](XmlParser& p, std::string& o) { return p.AttrName(0, o); }, 102},
      {"<r xmlns:p='u'/>", "/r", [](XmlParser& p, std::string& o) { return p.NamespaceURI(1, o); }, 103},
      {"<r/>", "/r", [](XmlParser& p, std::string& o) { return p.NamespacePrefix(0, o); }, 104},
  };
  for (const auto& c : cases) {
    Parse(c.doc);
    ASSERT_EQ(parser.SetXPath(c.path), 0);
    std::string out;
    EXPECT_EQ(c.read(parser, out), c.code) << c.doc;
  }
}

TEST_F(Navigation, AttrByNameIgnoresCaseAndMissingIsEmptyUnlessAnError) {
  Parse("<r xmlns:p='u' a='1' p:b='2'/>");
  std::string out;
  ASSERT_EQ(parser.Attr("A", out), 0);
  EXPECT_EQ(out, "1");
  ASSERT_EQ(parser.Attr("p:B", out), 0);
  EXPECT_EQ(out, "2");
  ASSERT_EQ(parser.Attr("missing", out), 0);
  EXPECT_EQ(out, "");
  ASSERT_EQ(parser.Config("ErrorOnEmptyAttr=true"), 0);
  EXPECT_EQ(parser.Attr("missing", out), 107);
}

// HasXPath probes without moving the cursor or changing the path.
TEST_F(Navigation, RelativePathsStartFromCursorAndRootWhenUnset) {
  Parse("<r><a><b/></a><c/></r>");
  EXPECT_EQ(parser.GetXPath(), "");
  EXPECT_EQ(parser.SetXPath("a"), 0);
  EXPECT_EQ(parser.GetXPath(), "/r/a");
  EXPECT_EQ(parser.SetXPath("b"), 0);
  EXPECT_EQ(parser.GetXPath(), "/r/a/b");
  EXPECT_EQ(parser.XParent(), "a");
  EXPECT_EQ(parser.SetXPath(".."), 0);
  EXPECT_EQ(parser.SetXPath(""), 0);
  EXPECT_FALSE(parser.HasXPath("/r/d"));
  EXPECT_TRUE(parser.HasXPath("/r/c"));
  EXPECT_FALSE(parser.HasXPath(""));
  EXPECT_EQ(CursorView(parser), "a||||/r/a");
}

TEST_F(Navigation, WithoutDocumentPathsFailAndReadersAreEmpty) {
  parser.SetBuildDOM(false);
  Parse("<r><a/></r>");
  EXPECT_EQ(parser.SetXPath("/r"), 210);
  EXPECT_EQ(parser.SetXPath(""), 0);
  EXPECT_EQ(CursorView(parser), "||||");
  EXPECT_EQ(ListView(parser), " | |");
  std::string out = "x";
  EXPECT_EQ(parser.AttrName(0, out), 0);
  EXPECT_EQ(out, "");
}

TEST_F(Navigation, StarPositionSelectsElementRecordsOnly) {
  Parse("<r><a/><b/></r>");
  ASSERT_EQ(parser.SetXPath("/r/b"), 0);
  std::string b = std::to_string(parser.CursorPosition());
  ASSERT_EQ(parser.SetXPath("*0"), 0);
  EXPECT_EQ(parser.XElement(), "r");
  ASSERT_EQ(parser.SetXPath("*" + b), 0);
  EXPECT_EQ(parser.GetXPath(), "/r/b");
  EXPECT_EQ(parser.SetXPath("*4"), 207);   // inside a record
  EXPECT_EQ(parser.SetXPath("*16"), 0);    // the root record follows the leading namespace record
  EXPECT_EQ(parser.XElement(), "r");
  ASSERT_EQ(parser.SetXPath("/r/b"), 0);
  EXPECT_EQ(parser.SetXPath("*999999"), 0);  // past the end: nothing changes
  EXPECT_EQ(parser.XElement(), "b");
}

TEST_F(Navigation, SubTreeAndContentsNeedKeptText) {
  Parse("<r><a k='v'>x<b/>y</a></r>");
  ASSERT_EQ(parser.SetXPath("/r/a"), 0);
  EXPECT_EQ(parser.XSubTree(), "<a k='v'>x<b/>y</a>");
  EXPECT_EQ(parser.XContents(), "x<b/>y");
  ASSERT_EQ(parser.Config("XSubTree"), 0);
  EXPECT_EQ(parser.ResultText().view(), "<a k='v'>x<b/>y</a>");
  ASSERT_EQ(parser.SetXPath("b"), 0);
  EXPECT_EQ(parser.XSubTree(), "<b/>");
  EXPECT_EQ(parser.XContents(), "");
  ASSERT_EQ(parser.Config("KeepOriginalText=false"), 0);
  EXPECT_EQ(parser.XSubTree(), "");
  EXPECT_EQ(parser.LastErrorCode(), 214);
}

// Tag bounds are kept as short distances, with a longer form for tags of
// 64 KB and more; both must give the same subtree and contents, and an
// element that declares namespaces keeps its own list beside them. A record
// that carries its local name must keep its bounds when that name is empty.
TEST_F(Navigation, SubTreeAndContentsOfShortAndLongTags) {
  const std::string pad(70000, ' ');
  const std::string value(70000, 'v');
  const std::string prefix(300, 'p');
  struct {
    std::string doc, path, subtree, contents;
  } cases[] = {
      {"<r><a" + pad + ">x</a></r>", "/r/a", "<a" + pad + ">x</a>", "x"},
      {"<r><a>x</a" + pad + "></r>", "/r/a", "<a>x</a" + pad + ">", "x"},
      {"<r><a k='" + value + "'><b/></a" + pad + "></r>", "/r/a",
       "<a k='" + value + "'><b/></a" + pad + ">", "<b/>"},
      {"<r><p:a xmlns:p='u'" + pad + ">x</p:a></r>", "/r/p:a",
       "<p:a xmlns:p='u'" + pad + ">x</p:a>", "x"},
      {"<r><a" + pad + "/></r>", "/r/a", "<a" + pad + "/>", ""},
      {"<r><" + prefix + ": xmlns:q='u'>x</" + prefix + ":></r>", "/r/[1]",
       "<" + prefix + ": xmlns:q='u'>x</" + prefix + ":>", "x"},
      {"<r><" + prefix + ":" + pad + "/></r>", "/r/[1]", "<" + prefix + ":" + pad + "/>", ""},
  };
  for (const auto& c : cases) {
    Parse(c.doc);
    ASSERT_EQ(parser.SetXPath(c.path), 0);
    EXPECT_EQ(parser.XSubTree(), c.subtree) << c.doc.substr(0, 40);
    EXPECT_EQ(parser.XContents(), c.contents) << c.doc.substr(0, 40);
  }
}

// Children are counted once their end is read, so a count taken during the
// parse leaves out the child still open; lastUnclosed() finds the deepest open one.
TEST_F(Navigation, DuringParseOnlyClosedChildrenCountAndLastUnclosedIsOpen) {
  ASSERT_EQ(parser.Feed("<r><a/><b>t</b><c><d/>"), 0);
  EXPECT_EQ(parser.XChildCount(), 2);
  ASSERT_EQ(parser.SetXPath("/[lastUnclosed()]"), 0);
  EXPECT_EQ(parser.GetXPath(), "/r/c");
  ASSERT_EQ(parser.SetXPath("d"), 0);
  EXPECT_EQ(parser.XElement(), "d");
  ASSERT_EQ(parser.Feed("</c>"), 0);
  ASSERT_EQ(parser.SetXPath("/r"), 0);
  EXPECT_EQ(parser.XChildCount(), 3);
  ASSERT_EQ(parser.SetXPath("/r/c"), 0);
  EXPECT_EQ(parser.XChildCount(), 1);
}

TEST_F(Navigation, CharacterReferencesConvertToCodePage) {
  parser.Config("CodePage=1252");
  Parse("<r>&#233;</r>");
  EXPECT_EQ(parser.XText(), "\xE9");
}

// Names, values and text are read from the kept input where they are one run
// of it and from copies otherwise; both must read the same, however the
// input was cut and whether it was kept or dropped.
TEST(NavigationModel, TextAndValuesReadTheSameKeptOrDroppedWhereverCut) {
  // A prefix too long for a name read back from its start tag.
  const std::string p(300, 'p');
  struct Case {
    std::string doc;
    std::string root;  // CursorView of the root (no path set)
    std::string list;  // ListView of the root
  } cases[] = {
      {"<r>plain text</r>", "r|||plain text|", " | |"},
      {"<r>one\n  two\n three</r>", "r|||one\n  two\n three|", " | |"},
      {"<r a='v1' p:b=\"v&amp;2\" xmlns:p='u'>x<c>in c</c>y<![CDATA[<z>]]>w</r>",
       "r|||xy<z>w|", "c=in c | a=v1,b(p,u)=v&2 | p=u"},
      {"<r><c>a &lt; b</c><d><![CDATA[raw]]></d><e>&#65;</e><f/></r>",
       "r||||", "c=a < b,d=raw,e=A,f= | |"},
      {"<r><p:c xmlns:p='u' k=''>t</p:c></r>", "r||||", "p:c(p,u)=t | |"},
      {"<r><" + p + ":c xmlns:" + p + "='u'/></r>", "r||||", p + ":c(" + p + ",u)= | |"},
  };
  for (const Case& c : cases) {
    for (const char* keep : {"KeepOriginalText=true", "KeepOriginalText=false"}) {
      testing::ForEachSplit(c.doc, [&](const testing::Pieces& pieces, const std::string& how) {
        SCOPED_TRACE(std::string(c.doc) + " " + keep + " " + how);
        XmlParser parser;
        ASSERT_EQ(parser.Config(keep), 0);
        parser.Reset();
        for (std::string_view piece : pieces) ASSERT_EQ(parser.Feed(piece), 0) << parser.LastErrorText().view();
        EXPECT_EQ(testing::CursorView(parser), c.root);
        EXPECT_EQ(testing::ListView(parser), c.list);
      });
    }
  }
}

}  // namespace
}  // namespace corvane
