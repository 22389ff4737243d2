#include "xml_transcript.h"

namespace corvane {
namespace {

// The boolean settings share one flag word: clearing one leaves the others.
// CodePage is set here and answered by the core; BuildDOM and Validate are linked.
TEST(XmlParserConfig, KeysAnswerWhatWasSet) {
  XmlParser parser;
  for (const char* set : {"cachecontent=no", "allowtextoutsideroot=0", "CodePage=0x4E4"}) {
    ASSERT_EQ(parser.Config(set), 0) << set;
  }
  for (auto [key, answer] : {std::pair{"KeepOriginalText", "False"}, std::pair{"AllowTextOutsideRoot", "False"},
                             std::pair{"AllowMoreThanOneRoot", "True"}, std::pair{"CodePage", "1252"}}) {
    ASSERT_EQ(parser.Config(key), 0) << key;
    EXPECT_EQ(parser.ResultText().view(), answer) << key;
  }
  EXPECT_EQ(parser.Config("NoSuchKey=1"), -1);
  parser.SetValidate(false);
  EXPECT_FALSE(parser.BuildDOM());
  parser.SetBuildDOM(true);
  EXPECT_TRUE(parser.Validate());
}

// An error stops parsing until Reset, which empties the document to its
// leading namespace record and the scanner to text.
TEST(XmlParser, ErrorStopsParsingUntilReset) {
  XmlParser parser;
  EXPECT_EQ(parser.Feed("<a></b>"), 201);
  EXPECT_EQ(parser.LastErrorText().view(), "Unbalanced element tag: b");
  EXPECT_EQ(parser.Feed("<c/>"), 201);
  parser.Reset();
  EXPECT_EQ(parser.LastErrorText().view(), "");
  EXPECT_EQ(parser.Feed("<c/>"), 0);
  EXPECT_EQ(parser.XElement(), "c");
  ASSERT_EQ(parser.Feed("<a><b"), 0);
  EXPECT_NE(parser.State(), XmlState::xsText);
  parser.Reset();
  EXPECT_EQ(parser.State(), XmlState::xsText);
  EXPECT_EQ(parser.Document().Size(), 16u);
  EXPECT_EQ(parser.RootPosition(), 0u);
  EXPECT_EQ(parser.XElement(), "");
}

// 256 open elements, attributes in one tag and namespaces in scope are
// accepted; one more fails with 200, except nesting in lenient mode.
TEST(XmlParser, LimitsOf256) {
  std::string deep, attrs = "<a", spaces = "<a";
  for (int i = 0; i < 256; ++i) {
    deep += "<a>";
    attrs += " a" + std::to_string(i) + "=''";
    spaces += " xmlns:p" + std::to_string(i) + "='u'";
  }
  const struct { std::string ok, over; } cases[] = {
      {deep, deep + "<a>"}, {attrs + "/>", attrs + " x=''/>"}, {spaces + "/>", spaces + " xmlns:q='v'/>"}};
  for (const auto& c : cases) {
    XmlParser parser;
    EXPECT_EQ(parser.Feed(c.ok), 0) << c.ok.substr(0, 20);
    parser.Reset();
    EXPECT_EQ(parser.Feed(c.over), 200) << c.ok.substr(0, 20);
  }
  XmlParser lenient;
  lenient.SetValidate(false);
  EXPECT_EQ(lenient.Feed(deep + deep + deep), 0);
}

TEST(XmlParser, DoubleByteLeadTakesNextByteAsText) {
  XmlParser parser;
  testing::TranscriptListener listener;
  parser.SetEventSink(&listener);
  parser.SetDoubleByteLead(true);
  ASSERT_EQ(parser.Feed("<a>\x82<x</a>"), 0);
  EXPECT_EQ(listener.log, "Start {}a a\nC \x82<x\nEnd {}a a\n");
}

// Dropped text gives the same events as kept text, and a parse without a
// listener (its end tags skip the general end-tag path) builds the same
// document wherever the input is cut.
TEST(XmlParser, DroppedTextAndNoListenerChangeNothing) {
  std::string doc =
      "<r xmlns:p='u' a='1'>\n  <p:b k='&lt;'>text &amp; more</p:b ><!-- c --><![CDATA[d]]>\n<c/>"
      "<d>x</d><q:e>y</q:e></r>";
  testing::ParseRun kept = testing::RunPieces({doc});
  testing::ParseRun dropped = testing::ExpectSameAtEverySplit(doc, {"KeepOriginalText=false"});
  EXPECT_EQ(dropped.rc, 0);
  EXPECT_EQ(dropped.transcript, kept.transcript);
  for (const testing::ParseRun* run : {&kept, &dropped}) {
    const char* keep = run == &kept ? "KeepOriginalText=true" : "KeepOriginalText=false";
    testing::ForEachSplit(doc, [&](const testing::Pieces& pieces, const std::string& how) {
      XmlParser quiet;
      ASSERT_EQ(quiet.Config(keep), 0);
      quiet.Reset();
      for (std::string_view piece : pieces) ASSERT_EQ(quiet.Feed(piece), 0) << keep << " " << how;
      EXPECT_EQ(quiet.Document().Stream().str(), run->stream) << keep << " " << how;
    });
  }
}

TEST(XmlParser, DroppedTextKeepsInputBounded) {
  XmlParser parser;
  ASSERT_EQ(parser.Config("KeepOriginalText=false"), 0);
  parser.Reset();
  ASSERT_EQ(parser.Feed("<r>"), 0);
  for (int i = 0; i < 10000; ++i) ASSERT_EQ(parser.Feed("<item k='v'>some text</item>\n"), 0);
  EXPECT_LT(parser.InputText().size(), 200u);
  ASSERT_EQ(parser.Feed("</r>"), 0);
  EXPECT_EQ(parser.XChildCount(), 10000);
}

TEST(XmlParser, ManyBlankLinesStayLinear) {
  // A long run of blank lines once made the line rule rescan the run.
  std::string doc = "<r>x";
  doc.append(2'000'000, '\n');
  doc += "y</r>";
  XmlParser parser;
  ASSERT_EQ(parser.Feed(doc), 0);
  EXPECT_EQ(parser.XText().size(), 2'000'002u);
}

// Values longer than a scan run, with the other quote, a reference or a
// following attribute inside.
TEST(XmlParser, LongAttributeValuesEndAtTheirQuoteWhereverCut) {
  const std::string v(20, 'v');
  const std::string w(30, 'w');
  struct Case {
    std::string doc, attributes;
  } cases[] = {
      {"<r a=\"" + v + w + "\"/>", "[a=" + v + w + "]"},
      {"<r a='" + v + "\"" + w + "'/>", "[a=" + v + "\"" + w + "]"},
      {"<r a=\"" + v + "'" + w + "\" b='x'/>", "[a=" + v + "'" + w + ",b=x]"},
      {"<r a=\"" + v + "&amp;" + w + "\"/>", "[a=" + v + "&" + w + "]"},
      {"<r a='" + v + w + v + "&lt;'/>", "[a=" + v + w + v + "<]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.doc);
    testing::ParseRun run = testing::ExpectSameAtEverySplit(c.doc);
    EXPECT_NE(run.transcript.find("Start {}r r empty " + c.attributes + "\n"), std::string::npos) << run.transcript;
  }
}

// End tags are matched to their start by length classes (short, one word,
// two overlapping words, longer): a difference at either end or in the middle
// of each must be caught.
TEST(XmlParser, EndTagMatchesStartByteForByte) {
  for (size_t n : {1u, 3u, 4u, 7u, 8u, 9u, 15u, 16u, 17u, 40u}) {
    std::string name;
    for (size_t i = 0; i < n; ++i) name += static_cast<char>('a' + i % 26);
    XmlParser same;
    EXPECT_EQ(same.Feed("<" + name + ">x</" + name + ">"), 0) << name;
    for (size_t at : {size_t{0}, n / 2, n - 1}) {
      std::string other = name;
      other[at] = 'Z';
      XmlParser parser;
      EXPECT_EQ(parser.Feed("<" + name + ">x</" + other + ">"), 201) << name << " at " << at;
    }
  }
}

}  // namespace
}  // namespace corvane
