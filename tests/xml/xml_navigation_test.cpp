#include <gtest/gtest.h>

#include <cstring>

#include "xml/xml_parser.h"

namespace corvane {
namespace {

class Navigation : public ::testing::Test {
 protected:
  void Parse(std::string_view doc) {
    parser.Reset();
    ASSERT_EQ(parser.Feed(doc), 0) << parser.LastErrorText().view();
  }
  XmlParser parser;
};

TEST_F(Navigation, PathTable) {
  Parse("<r><a/><b x=\"1\"/><a>t</a></r>");
  struct {
    const char* path;
    int rc;
    const char* element;  // XElement after the call
    const char* text;
    const char* canonical;
  } cases[] = {
      {"/r/a[2]", 0, "a", "t", "/r/a[2]"},
      {"/r/[2]", 0, "b", "", "/r/[2]"},
      {"/r/[last()]", 0, "a", "t", "/r/[3]"},
      {"/r/[last()-0]", 0, "a", "t", "/r/[3]"},
      {"/r/[LAST()-2]", 0, "a", "", "/r/[1]"},
      {"/r/b[@x='1']", 0, "b", "", "/r/b"},
      {"/r/b[@x=\"1\"]", 0, "b", "", "/r/b"},
      {"/r/b[@x=1]", 0, "b", "", "/r/b"},
      {"/r/b[@x]", 0, "b", "", "/r/b"},
      {"/r/a", 0, "a", "", "/r/a"},
      {"/r[1]/a", 0, "a", "", "/r/a"},
      {"/[1]/b", 0, "b", "", "/r/b"},
      {"/", 0, "r", "", "/"},
      {"/r/a/../b", 0, "b", "", "/r/b"},
      {"/r/a[3]", 208, "r", "", "/r"},
      {"/r/b[@x='2']", 208, "r", "", "/r"},
      {"/r/c", 208, "r", "", "/r"},
      {"/q", 209, "r", "", "/"},
      {"/r/..", 208, "r", "", "/r"},
      {"/r/[0]", 207, "r", "", "/r"},
      {"/r/[4]", 207, "r", "", "/r"},
      {"/r/[last()+1]", 207, "r", "", "/r"},
      {"/r/[last()-3]", 207, "r", "", "/r"},
      {"/r/a[last()]", 207, "r", "", "/r"},
      {"/r/..x", 207, "r", "", "/r"},
      {"/r/-a", 207, "r", "", "/r"},
      {"/r[2]", 207, "r", "", "/"},
      {"/r/a/x", 208, "a", "", "/r/a"},
  };
  for (const auto& c : cases) {
    parser.SetXPath("/");
    EXPECT_EQ(parser.SetXPath(c.path), c.rc) << c.path;
    if (c.rc != 0) {
      EXPECT_FALSE(parser.LastErrorText().empty()) << c.path;
    }
    EXPECT_EQ(parser.XElement(), c.element) << c.path;
    EXPECT_EQ(parser.XText(), c.text) << c.path;
    EXPECT_EQ(parser.GetXPath(), c.canonical) << c.path;
  }
}

TEST_F(Navigation, RelativePathsStartFromCursorAndRootWhenUnset) {
  Parse("<r><a><b/></a></r>");
  EXPECT_EQ(parser.GetXPath(), "");
  EXPECT_EQ(parser.SetXPath("a"), 0);
  EXPECT_EQ(parser.GetXPath(), "/r/a");
  EXPECT_EQ(parser.SetXPath("b"), 0);
  EXPECT_EQ(parser.GetXPath(), "/r/a/b");
  EXPECT_EQ(parser.XParent(), "a");
  EXPECT_EQ(parser.SetXPath(".."), 0);
  EXPECT_EQ(parser.GetXPath(), "/r/a");
  EXPECT_EQ(parser.SetXPath(""), 0);
  EXPECT_EQ(parser.GetXPath(), "/r/a");
}

TEST_F(Navigation, NamespacedChildSelectedByQualifiedLocalAndUriName) {
  Parse("<r xmlns:p=\"u\"><x/><p:c>1</p:c></r>");
  for (const char* path : {"/r/p:c", "/r/c", "/r/uc"}) {
    ASSERT_EQ(parser.SetXPath(path), 0) << path;
    EXPECT_EQ(parser.XElement(), "p:c") << path;
    EXPECT_EQ(parser.XNamespace(), "u");
    EXPECT_EQ(parser.XPrefix(), "p");
    EXPECT_EQ(parser.XText(), "1");
    EXPECT_EQ(parser.GetXPath(), "/r/p:c");
  }
  EXPECT_EQ(parser.NamespaceCount(), 1);
  std::string out;
  EXPECT_EQ(parser.NamespacePrefix(0, out), 0);
  EXPECT_EQ(out, "p");
  EXPECT_EQ(parser.NamespaceURI(0, out), 0);
  EXPECT_EQ(out, "u");
  EXPECT_EQ(parser.NamespaceURI(1, out), 103);
  ASSERT_EQ(parser.SetXPath("/r/x"), 0);
  EXPECT_EQ(parser.XNamespace(), "");
}

TEST_F(Navigation, RootMatchedByUriAndLocalName) {
  Parse("<p:r xmlns:p=\"urn:x:\"><a/></p:r>");
  for (const char* path : {"/r", "/p:r", "/urn:x:r"}) {
    EXPECT_EQ(parser.SetXPath(path), 0) << path;
    EXPECT_EQ(parser.GetXPath(), "/p:r");
  }
}

TEST_F(Navigation, NamespacesInScopeCountOuterDeclarationsFirst) {
  Parse("<r xmlns='d' xmlns:a='1'><s xmlns:b='2'><t/></s></r>");
  ASSERT_EQ(parser.SetXPath("/r/s/t"), 0);
  EXPECT_EQ(parser.NamespaceCount(), 3);
  std::string prefixes, uris, out;
  for (int i = 0; i < 3; ++i) {
    parser.NamespacePrefix(i, out);
    prefixes += out + ",";
    parser.NamespaceURI(i, out);
    uris += out + ",";
  }
  EXPECT_EQ(prefixes, ",a,b,");
  EXPECT_EQ(uris, "d,1,2,");
  EXPECT_EQ(parser.XNamespace(), "d");
  EXPECT_EQ(parser.XElement(), "t");
}

TEST_F(Navigation, HasXPathLeavesCursorAndPathUnchanged) {
  Parse("<r><a/><b/></r>");
  ASSERT_EQ(parser.SetXPath("/r/b"), 0);
  EXPECT_FALSE(parser.HasXPath("/r/c"));
  EXPECT_EQ(parser.GetXPath(), "/r/b");
  EXPECT_TRUE(parser.HasXPath("/r/a"));
  EXPECT_EQ(parser.GetXPath(), "/r/b");
  EXPECT_EQ(parser.XElement(), "b");
  EXPECT_FALSE(parser.HasXPath(""));
}

TEST_F(Navigation, ChildPropertiesFollowIndexStep) {
  Parse("<r xmlns:p='u'><a>1</a><p:b>2</p:b><a/></r>");
  EXPECT_EQ(parser.XChildCount(), 3);
  std::string out;
  ASSERT_EQ(parser.XChildName(1, out), 0);
  EXPECT_EQ(out, "p:b");
  ASSERT_EQ(parser.XChildNamespace(1, out), 0);
  EXPECT_EQ(out, "u");
  ASSERT_EQ(parser.XChildPrefix(1, out), 0);
  EXPECT_EQ(out, "p");
  ASSERT_EQ(parser.XChildXText(0, out), 0);
  EXPECT_EQ(out, "1");
  EXPECT_EQ(parser.XChildName(3, out), 105);
  EXPECT_EQ(parser.XChildName(-1, out), 105);
  ASSERT_EQ(parser.SetXPath("/r/[3]"), 0);
  EXPECT_EQ(parser.XChildCount(), 0);  // written as an empty tag
  EXPECT_EQ(parser.XChildName(0, out), 106);
  EXPECT_EQ(parser.GetXPath(), "/r/[3]");
}

TEST_F(Navigation, AttributeProperties) {
  Parse("<r xmlns:p='u' a='1' p:b='2' xml:lang='en'/>");
  EXPECT_EQ(parser.AttrCount(), 3);
  std::string out;
  const char* expected[][4] = {{"a", "1", "", ""}, {"b", "2", "p", "u"},
                               {"lang", "en", "xml", "http://www.w3.org/XML/1998/namespace"}};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(parser.AttrName(i, out), 0);
    EXPECT_EQ(out, expected[i][0]);
    ASSERT_EQ(parser.AttrValue(i, out), 0);
    EXPECT_EQ(out, expected[i][1]);
    ASSERT_EQ(parser.AttrPrefix(i, out), 0);
    EXPECT_EQ(out, expected[i][2]);
    ASSERT_EQ(parser.AttrNamespace(i, out), 0);
    EXPECT_EQ(out, expected[i][3]);
  }
  EXPECT_EQ(parser.AttrName(3, out), 101);
  ASSERT_EQ(parser.Attr("A", out), 0);
  EXPECT_EQ(out, "1");
  ASSERT_EQ(parser.Attr("p:B", out), 0);
  EXPECT_EQ(out, "2");
  ASSERT_EQ(parser.Attr("missing", out), 0);
  EXPECT_EQ(out, "");
  ASSERT_EQ(parser.Config("ErrorOnEmptyAttr=true"), 0);
  EXPECT_EQ(parser.Attr("missing", out), 107);
}

TEST_F(Navigation, NoAttributesAndNoNamespacesErrors) {
  Parse("<r/>");
  std::string out;
  EXPECT_EQ(parser.AttrName(0, out), 102);
  EXPECT_EQ(parser.NamespacePrefix(0, out), 104);
}

TEST_F(Navigation, WithoutDocumentPathsFailAndReadersAreEmpty) {
  parser.SetBuildDOM(false);
  Parse("<r><a/></r>");
  EXPECT_EQ(parser.SetXPath("/r"), 210);
  EXPECT_EQ(parser.SetXPath(""), 0);
  EXPECT_EQ(parser.XElement(), "");
  EXPECT_EQ(parser.XChildCount(), 0);
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
  EXPECT_EQ(parser.XElement(), "b");
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

TEST_F(Navigation, LastUnclosedSelectsDeepestOpenElementDuringParse) {
  parser.Reset();
  ASSERT_EQ(parser.Feed("<r><a><b/>"), 0);
  ASSERT_EQ(parser.SetXPath("/[lastUnclosed()]"), 0);
  EXPECT_EQ(parser.XElement(), "a");
  EXPECT_EQ(parser.GetXPath(), "/r/a");
  ASSERT_EQ(parser.SetXPath("b"), 0);
  EXPECT_EQ(parser.XElement(), "b");
}

TEST_F(Navigation, ElementTextJoinsPiecesAroundChildrenAndCdata) {
  Parse("<r>a<x>inner</x>b<![CDATA[<c>]]>&amp;d</r>");
  EXPECT_EQ(parser.XText(), "ab<c>&d");
}

TEST_F(Navigation, CharacterReferencesConvertToCodePage) {
  parser.Config("CodePage=65001");
  Parse("<r>&#233;&#x20AC;</r>");
  EXPECT_EQ(parser.XText(), "\xC3\xA9\xE2\x82\xAC");
  parser.Config("CodePage=1252");
  Parse("<r>&#233;</r>");
  EXPECT_EQ(parser.XText(), "\xE9");
}

}  // namespace
}  // namespace corvane
