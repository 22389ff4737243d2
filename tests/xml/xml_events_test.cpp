#include "xml_transcript.h"

namespace corvane::testing {
namespace {

enum Mode { kStrict, kNoDom, kLenient };

struct EventCase {
  const char* name;
  std::string doc, transcript;
  int rc = 0;
  std::vector<std::string> settings = {};
  Mode mode = kStrict;
};

const std::vector<EventCase>& Cases() {
  static const std::vector<EventCase> cases = {
      {"LenientAttributesWithoutQuotesOrValues", "<a b=1 c d=\"x>y\"/>",
       "Start {}a a empty [b=1,c=,d=x>y]\nEnd {}a a empty\n", 0, {}, kLenient},
      {"UnbalancedEndTagIsAcceptedWhenLenient", "<a></b><c/>",
       "Start {}a a\nEnd {}b b\nStart {}c c empty\nEnd {}c c empty\n", 0, {}, kLenient},
      {"UnknownPrefixKeptInLocalNameWhenIncluded", "<p:a/>", "Error 202 p\nStart {}p:a p:a empty\nEnd {}p:a p:a empty\n",
       0, {"IncludeUnknownPrefixes=true"}},
      {"UnknownElementPrefixStopsWhenNotIgnored", "<p:a/>", "", 202, {"IgnoreBadElementPrefixes=false"}},
      {"InnerDeclarationShadowsOuter", "<p:a xmlns:p='u'><p:b xmlns:p='v'/><p:c/></p:a>",
       "Prefix p=u\nStart {u}a p:a\nPrefix p=v\nStart {v}b p:b empty\nEnd {v}b p:b empty\n"
       "EndPrefix p\nStart {u}c p:c empty\nEnd {u}c p:c empty\nEnd {u}a p:a\nEndPrefix p\n"},
      {"InnerDefaultNamespaceEndsWithItsElement", "<a xmlns='u'><b xmlns=''><c/></b><d/></a>",
       "Prefix =u\nStart {u}a a\nPrefix =\nStart {}b b\nStart {}c c empty\nEnd {}c c empty\nEnd {}b b\n"
       "EndPrefix \nStart {u}d d empty\nEnd {u}d d empty\nEnd {u}a a\nEndPrefix \n"},
      {"OnlyTheFirstColonSplitsAName", "<pp:a:b xmlns:pp='u'><pp:c/></pp:a:b>",
       "Prefix pp=u\nStart {u}a:b pp:a:b\nStart {u}c pp:c empty\nEnd {u}c pp:c empty\nEnd {u}a:b pp:a:b\n"
       "EndPrefix pp\n"},
      {"LeadingColonIsTheEmptyPrefix", "<:a xmlns='u'/>",
       "Prefix =u\nStart {u}a :a empty\nEnd {u}a :a empty\nEndPrefix \n"},
      {"XmlnsIsAnAttributeWhenLenient", "<a xmlns:p='u'/>",
       "Start {}a a empty [p=u]\nEnd {}a a empty\n", 0, {}, kLenient},
      {"ReferenceKeptAsWrittenWithoutDom", "<a>&amp;</a>",
       "Start {}a a\nEntity amp=&amp;\nC &amp;\nEnd {}a a\n", 0, {}, kNoDom},
      {"PredefinedReferenceResolvedWithDom", "<a>x&lt;y</a>", "Start {}a a\nC x\nEntity lt=<\nC <\nC y\nEnd {}a a\n"},
      {"AstralCharacterReferenceKeepsItsText", "<a>&#128512;</a>",
       "Start {}a a\nEntity #128512=&#128512;\nC &#128512;\nEnd {}a a\n"},
      {"HexCharacterReferenceResolved", "<a>&#x41;&#66;</a>",
       "Start {}a a\nEntity #x41=A\nC A\nEntity #66=B\nC B\nEnd {}a a\n"},
      {"ReferenceWithoutSemicolonEndsAtFirstOtherByte", "<a>a &foo b</a>",
       "Start {}a a\nC a \nEntity foo=&foo\nC &foo\nC  b\nEnd {}a a\n"},
      {"LessThanFollowedBySpaceIsText", "<a>1 < 2</a>", "Start {}a a\nC 1\nW  \nC < 2\nEnd {}a a\n"},
      {"EndTagMarkerWithoutNameIsText", "<a></ ></a>", "Start {}a a\nC </ >\nEnd {}a a\n"},
      {"ScriptBodyIsTextWhenLenient", "<SCRIPT>if (a<b) x();</SCRIPT><i/>",
       "Start {}SCRIPT SCRIPT\nC if (a\nC <b) x();\nEnd {}SCRIPT SCRIPT\n"
       "Start {}i i empty\nEnd {}i i empty\n", 0, {}, kLenient},
      {"CdataSectionIsASpecialSectionNotCharacters", "<a><![CDATA[x<y]]></a>",
       "Start {}a a\nSection CDATA x<y\nEnd {}a a\n"},
      {"SectionIdIsTrimmed", "<a><![ INCLUDE [x]]]></a>", "Start {}a a\nSection INCLUDE x]\nEnd {}a a\n"},
      {"DoubleDashInsideCommentIsInvalid", "<a><!-- a -- b --></a>", "Start {}a a\nComment  a \n", 204},
      {"HtmlCommentsAllowDoubleDash", "<a><!-- a -- b --></a>",
       "Start {}a a\nComment  a -- b \nEnd {}a a\n", 0, {"HTMLComments=true"}},
      {"EmptyComment", "<!----><a/>", "Comment \nStart {}a a empty\nEnd {}a a empty\n"},
      {"LineRuleSplitsTextAtLineFeeds", "<a>a\n  b</a>", "Start {}a a\nC a\nC \\n  b\nEnd {}a a\n"},
      {"LeadingAndTrailingWhitespaceIsIgnorable", "<a>\n  x  </a>", "Start {}a a\nW \\n  \nC x\nW   \nEnd {}a a\n"},
      {"PreservedWhitespaceStaysInText", "<a> x </a>",
       "Start {}a a\nC  x \nEnd {}a a\n", 0, {"PreserveWhitespace=true"}},
      {"WhitespaceBeforeTagIsIgnorableEvenWhenPreserved", "<a> <b/></a>",
       "Start {}a a\nW  \nStart {}b b empty\nEnd {}b b empty\nEnd {}a a\n", 0, {"PreserveWhitespace=true"}},
      {"ValidatingPiEndsOnlyAtQuestionMark", "<?a > b?><a/>", "PI a > b\nStart {}a a empty\nEnd {}a a empty\n"},
      {"LenientPiDropsByteBeforeGt", "<?pi x><a/>", "PI pi \nStart {}a a empty\nEnd {}a a empty\n", 0, {}, kLenient},
      {"DoctypeWithInternalSubsetIsMeta", "<!DOCTYPE a [<!ENTITY x \"y>\">]><a/>",
       "Meta DOCTYPE a [<!ENTITY x \"y>\">]\nStart {}a a empty\nEnd {}a a empty\n"},
      {"QuotesInADeclarationHideItsEnd", "<!DOCTYPE r 'q>' \"d>\"><r/>",
       "Meta DOCTYPE r 'q>' \"d>\"\nStart {}r r empty\nEnd {}r r empty\n"},
      {"HtmlConditionalIsADeclaration", "<![if IE]><a/>",
       "Meta [if IE]\nStart {}a a empty\nEnd {}a a empty\n", 0, {"HTMLComments=true"}},
      {"EmptyDeclarationMakesNoEvent", "<!><a/>", "Start {}a a empty\nEnd {}a a empty\n"},
      {"JunkInEndTagIsInvalidWhenValidating", "<a></a x>", "Start {}a a\nEnd {}a a\n", 204},
      {"JunkInEndTagIsSkippedWhenLenient", "<a></a x>t<b/>",
       "Start {}a a\nEnd {}a a\nC t\nStart {}b b empty\nEnd {}b b empty\n", 0, {}, kLenient},
      {"EqualsThenGtGivesEmptyValueWhenLenient", "<a b=>", "Start {}a a [b=]\n", 0, {}, kLenient},
      {"EqualsThenGtIsInvalidWhenValidating", "<a b=>", "", 204},
      {"ReferencesInsideAttributeValues", "<a t=\"x&lt;y&amp;z\" u='&quot;' v=&amp;w/>",
       "Entity lt=<\nEntity amp=&\nEntity quot=\"\nEntity amp=&\n"
       "Start {}a a empty [t=x<y&z,u=\",v=&w]\nEnd {}a a empty\n"},
      {"UnquotedValueEndingInSlashGtIsEmpty", "<a b=x/>", "Start {}a a empty [b=x]\nEnd {}a a empty\n"},
      {"ValuelessAttributeBeforeSlash", "<a c/>", "Start {}a a empty [c=]\nEnd {}a a empty\n"},
      {"ValuelessAttributeBeforeSpaceSlash", "<a c />", "Start {}a a empty [c=]\nEnd {}a a empty\n"},
      {"TextOutsideRootStopsWhenNotAllowed", "<a/>junk<b/>",
       "Start {}a a empty\nEnd {}a a empty\nC junk\n", 212, {"AllowTextOutsideRoot=false"}},
      {"TextOutsideRootIsDroppedWhenAllowed", "<a/>junk<b/>",
       "Start {}a a empty\nEnd {}a a empty\nC junk\nStart {}b b empty\nEnd {}b b empty\n"},
      {"UnknownAttributePrefixIsReported", "<a p:x='1'/>",
       "Start {}a a empty [x=1]\nError 203 p\nEnd {}a a empty\n"},
      {"UnknownAttributePrefixStopsWhenNotIgnored", "<a p:x='1'/>",
       "Start {}a a empty [x=1]\n", 203, {"IgnoreBadAttributePrefixes=false"}},
      {"EntityValueReplacedByListener", "<a>&x;</a>", "Start {}a a\nEntity x=&x;\nC [X]\nEnd {}a a\n"},
      {"LeadingDigitNamesOnlyWhenAllowed", "<a><1/></a>",
       "Start {}a a\nStart {}1 1 empty\nEnd {}1 1 empty\nEnd {}a a\n", 0, {"AllowLeadingDigit=true"}},
      {"LeadingDigitSwitchedOffAgainIsText", "<a><1/></a>",
       "Start {}a a\nC <1/>\nEnd {}a a\n", 0, {"AllowLeadingDigit=true", "AllowLeadingDigit=false"}},
      {"NulByteInsideTextIsText", std::string("<a>x\0y</a>", 10), std::string("Start {}a a\nC x\0y\nEnd {}a a\n", 28)},
      // An end tag takes its namespace from its own start tag, also when a
      // child declared the same prefix again or the prefix was never declared.
      {"EndTagOfANestedRebindingKeepsItsNamespace", "<p:a xmlns:p='u'><p:a xmlns:p='v'>x</p:a></p:a>",
       "Prefix p=u\nStart {u}a p:a\nPrefix p=v\nStart {v}a p:a\nC x\nEnd {v}a p:a\nEndPrefix p\n"
       "End {u}a p:a\nEndPrefix p\n"},
      {"UnknownElementPrefixIsReportedAtBothTags", "<q:a>x</q:a>",
       "Error 202 q\nStart {}a q:a\nC x\nError 202 q\nEnd {}a q:a\n"},
  };
  return cases;
}

TEST(XmlEvents, TranscriptOfEachDocumentIsTheSameAtEverySplit) {
  for (const EventCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    ParseRun run = ExpectSameAtEverySplit(c.doc, c.settings, c.mode != kLenient, c.mode == kStrict);
    EXPECT_EQ(run.rc, c.rc) << run.error;
    EXPECT_EQ(run.transcript, c.transcript);
  }
}

// A listener of references alone: every reference, in text and in values,
// still reaches it in order, however the input was cut.
TEST(XmlEvents, ReferenceListenerAloneSeesEveryReference) {
  struct EntityLog : RESTEvents {
    std::string log;
    void EvalEntity(std::string& entity, std::string&) override { log += entity + ";"; }
  };
  const std::string doc = "<r a='x&amp;y'>\n  t &lt; u &#65;\n  <c b=\"&#x42;&quot;\">&gt;</c>&apos;\n</r>";
  ForEachSplit(doc, [&](const Pieces& pieces, const std::string& how) {
    for (bool dom : {false, true}) {
      SCOPED_TRACE(how + (dom ? " model" : " events"));
      XmlParser parser;
      EntityLog listener;
      parser.SetBuildDOM(dom);
      parser.SetEventSink(&listener);
      for (std::string_view piece : pieces) ASSERT_EQ(parser.Feed(piece), 0);
      EXPECT_EQ(listener.log, "amp;lt;#65;#x42;quot;gt;apos;");
    }
  });
}

}  // namespace
}  // namespace corvane::testing
