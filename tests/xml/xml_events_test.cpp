// Input -> whole event transcript, for each document fed whole, cut at every
// byte, and fed in pieces of 1 to 5 bytes.
#include "xml_transcript.h"

namespace corvane::testing {
namespace {

struct EventCase {
  const char* name;
  std::string doc;
  std::vector<std::string> settings;
  bool validate;
  bool buildDom;
  int rc;
  std::string transcript;
};

const std::vector<EventCase>& Cases() {
  static const std::vector<EventCase> cases = {
      {"LenientAttributesWithoutQuotesOrValues", "<a b=1 c d=\"x>y\"/>", {}, false, false, 0,
       "Start {}a a empty [b=1,c=,d=x>y]\nEnd {}a a empty\n"},
      {"UnbalancedEndTagStopsValidatingParse", "<a></b>", {}, true, true, 201,
       "Start {}a a\nEnd {}b b\n"},
      {"UnbalancedEndTagIsAcceptedWhenLenient", "<a></b><c/>", {}, false, false, 0,
       "Start {}a a\nEnd {}b b\nStart {}c c empty\nEnd {}c c empty\n"},
      {"UnknownElementPrefixIsReportedAndIgnored", "<p:a/>", {}, true, true, 0,
       "Error 202 Unknown element prefix (can't find namespace): p\nStart {}a p:a empty\n"
       "End {}a p:a empty\n"},
      {"UnknownPrefixKeptInLocalNameWhenIncluded", "<p:a/>", {"IncludeUnknownPrefixes=true"}, true,
       true, 0,
       "Error 202 Unknown element prefix (can't find namespace): p\nStart {}p:a p:a empty\n"
       "End {}p:a p:a empty\n"},
      {"UnknownElementPrefixStopsWhenNotIgnored", "<p:a/>", {"IgnoreBadElementPrefixes=false"},
       true, true, 202, ""},
      {"PrefixMappingWrapsDeclaringElement", "<a xmlns:p=\"u\"><p:b/></a>", {}, true, true, 0,
       "Prefix p=u\nStart {}a a\nStart {u}b p:b empty\nEnd {u}b p:b empty\nEnd {}a a\n"
       "EndPrefix p\n"},
      {"DefaultNamespaceMapsEmptyPrefix", "<a xmlns=\"u\"><b/></a>", {}, true, true, 0,
       "Prefix =u\nStart {u}a a\nStart {u}b b empty\nEnd {u}b b empty\nEnd {u}a a\nEndPrefix \n"},
      {"InnerDeclarationShadowsOuter", "<p:a xmlns:p='u'><p:b xmlns:p='v'/><p:c/></p:a>", {}, true,
       true, 0,
       "Prefix p=u\nStart {u}a p:a\nPrefix p=v\nStart {v}b p:b empty\nEnd {v}b p:b empty\n"
       "EndPrefix p\nStart {u}c p:c empty\nEnd {u}c p:c empty\nEnd {u}a p:a\nEndPrefix p\n"},
      {"XmlnsIsAnAttributeWhenLenient", "<a xmlns:p='u'/>", {}, false, false, 0,
       "Start {}a a empty [p=u]\nEnd {}a a empty\n"},
      {"ReferenceKeptAsWrittenWithoutDom", "<a>&amp;</a>", {}, true, false, 0,
       "Start {}a a\nEntity amp=&amp;\nC &amp;\nEnd {}a a\n"},
      {"PredefinedReferenceResolvedWithDom", "<a>x&lt;y</a>", {}, true, true, 0,
       "Start {}a a\nC x\nEntity lt=<\nC <\nC y\nEnd {}a a\n"},
      {"AstralCharacterReferenceKeepsItsText", "<a>&#128512;</a>", {}, true, true, 0,
       "Start {}a a\nEntity #128512=&#128512;\nC &#128512;\nEnd {}a a\n"},
      {"HexCharacterReferenceResolved", "<a>&#x41;&#66;</a>", {}, true, true, 0,
       "Start {}a a\nEntity #x41=A\nC A\nEntity #66=B\nC B\nEnd {}a a\n"},
      {"ReferenceWithoutSemicolonEndsAtFirstOtherByte", "<a>a &foo b</a>", {}, true, true, 0,
       "Start {}a a\nC a \nEntity foo=&foo\nC &foo\nC  b\nEnd {}a a\n"},
      {"LessThanFollowedBySpaceIsText", "<a>1 < 2</a>", {}, true, true, 0,
       "Start {}a a\nC 1\nW  \nC < 2\nEnd {}a a\n"},
      {"EndTagMarkerWithoutNameIsText", "<a></ ></a>", {}, true, true, 0,
       "Start {}a a\nC </ >\nEnd {}a a\n"},
      {"ScriptBodyIsTextWhenLenient", "<SCRIPT>if (a<b) x();</SCRIPT><i/>", {}, false, false, 0,
       "Start {}SCRIPT SCRIPT\nC if (a\nC <b) x();\nEnd {}SCRIPT SCRIPT\nStart {}i i empty\n"
       "End {}i i empty\n"},
      {"CdataSectionIsASpecialSectionNotCharacters", "<a><![CDATA[x<y]]></a>", {}, true, true, 0,
       "Start {}a a\nSection CDATA x<y\nEnd {}a a\n"},
      {"SectionIdIsTrimmed", "<a><![ INCLUDE [x]]]></a>", {}, true, true, 0,
       "Start {}a a\nSection INCLUDE x]\nEnd {}a a\n"},
      {"DoubleDashInsideCommentIsInvalid", "<a><!-- a -- b --></a>", {}, true, true, 204,
       "Start {}a a\nComment  a \n"},
      {"HtmlCommentsAllowDoubleDash", "<a><!-- a -- b --></a>", {"HTMLComments=true"}, true, true,
       0, "Start {}a a\nComment  a -- b \nEnd {}a a\n"},
      {"EmptyComment", "<!----><a/>", {}, true, true, 0,
       "Comment \nStart {}a a empty\nEnd {}a a empty\n"},
      {"TwoTopLevelElementsAreAccepted", "<a/><b/>", {}, true, true, 0,
       "Start {}a a empty\nEnd {}a a empty\nStart {}b b empty\nEnd {}b b empty\n"},
      {"LineRuleSplitsTextAtLineFeeds", "<a>a\n  b</a>", {}, true, true, 0,
       "Start {}a a\nC a\nC \\n  b\nEnd {}a a\n"},
      {"LeadingAndTrailingWhitespaceIsIgnorable", "<a>\n  x  </a>", {}, true, true, 0,
       "Start {}a a\nW \\n  \nC x\nW   \nEnd {}a a\n"},
      {"PreservedWhitespaceStaysInText", "<a> x </a>", {"PreserveWhitespace=true"}, true, true, 0,
       "Start {}a a\nC  x \nEnd {}a a\n"},
      {"WhitespaceBeforeTagIsIgnorableEvenWhenPreserved", "<a> <b/></a>",
       {"PreserveWhitespace=true"}, true, true, 0,
       "Start {}a a\nW  \nStart {}b b empty\nEnd {}b b empty\nEnd {}a a\n"},
      {"ProcessingInstructionText", "<?xml version=\"1.0\"?><a/>", {}, true, true, 0,
       "PI xml version=\"1.0\"\nStart {}a a empty\nEnd {}a a empty\n"},
      {"ValidatingPiEndsOnlyAtQuestionMark", "<?a > b?><a/>", {}, true, true, 0,
       "PI a > b\nStart {}a a empty\nEnd {}a a empty\n"},
      {"LenientPiDropsByteBeforeGt", "<?pi x><a/>", {}, false, false, 0,
       "PI pi \nStart {}a a empty\nEnd {}a a empty\n"},
      {"DoctypeWithInternalSubsetIsMeta", "<!DOCTYPE a [<!ENTITY x \"y>\">]><a/>", {}, true, true,
       0, "Meta DOCTYPE a [<!ENTITY x \"y>\">]\nStart {}a a empty\nEnd {}a a empty\n"},
      {"HtmlConditionalIsADeclaration", "<![if IE]><a/>", {"HTMLComments=true"}, true, true, 0,
       "Meta [if IE]\nStart {}a a empty\nEnd {}a a empty\n"},
      {"EmptyDeclarationMakesNoEvent", "<!><a/>", {}, true, true, 0,
       "Start {}a a empty\nEnd {}a a empty\n"},
      {"JunkInEndTagIsInvalidWhenValidating", "<a></a x>", {}, true, true, 204,
       "Start {}a a\nEnd {}a a\n"},
      {"JunkInEndTagIsSkippedWhenLenient", "<a></a x>t<b/>", {}, false, false, 0,
       "Start {}a a\nEnd {}a a\nC t\nStart {}b b empty\nEnd {}b b empty\n"},
      {"SpaceBeforeEndTagGt", "<a></a >", {}, true, true, 0, "Start {}a a\nEnd {}a a\n"},
      {"EqualsThenGtIsInvalidWhenValidating", "<a b=>", {}, true, true, 204, ""},
      {"EqualsThenGtGivesEmptyValueWhenLenient", "<a b=>", {}, false, false, 0,
       "Start {}a a [b=]\n"},
      {"ReferencesInsideAttributeValues", "<a t=\"x&lt;y&amp;z\" u='&quot;' v=&amp;w/>", {}, true,
       true, 0,
       "Entity lt=<\nEntity amp=&\nEntity quot=\"\nEntity amp=&\n"
       "Start {}a a empty [t=x<y&z,u=\",v=&w]\nEnd {}a a empty\n"},
      {"UnquotedValueEndingInSlashGtIsEmpty", "<a b=x/>", {}, true, true, 0,
       "Start {}a a empty [b=x]\nEnd {}a a empty\n"},
      {"ValuelessAttributeBeforeSlash", "<a c/>", {}, true, true, 0,
       "Start {}a a empty [c=]\nEnd {}a a empty\n"},
      {"ValuelessAttributeBeforeSpaceSlash", "<a c />", {}, true, true, 0,
       "Start {}a a empty [c=]\nEnd {}a a empty\n"},
      {"TextOutsideRootStopsWhenNotAllowed", "<a/>junk<b/>", {"AllowTextOutsideRoot=false"}, true,
       true, 212, "Start {}a a empty\nEnd {}a a empty\nC junk\n"},
      {"TextOutsideRootIsDroppedWhenAllowed", "<a/>junk<b/>", {}, true, true, 0,
       "Start {}a a empty\nEnd {}a a empty\nC junk\nStart {}b b empty\nEnd {}b b empty\n"},
      {"UnknownAttributePrefixIsReported", "<a p:x='1'/>", {}, true, true, 0,
       "Start {}a a empty [x=1]\nError 203 Unknown attribute prefix (can't find namespace): p\n"
       "End {}a a empty\n"},
      {"UnknownAttributePrefixStopsWhenNotIgnored", "<a p:x='1'/>",
       {"IgnoreBadAttributePrefixes=false"}, true, true, 203, "Start {}a a empty [x=1]\n"},
      {"XmlPrefixIsAlwaysKnown", "<a xml:lang='en'/>", {"IgnoreBadAttributePrefixes=false"}, true,
       true, 0, "Start {}a a empty [lang=en]\nEnd {}a a empty\n"},
      {"EntityValueReplacedByListener", "<a>&x;</a>", {}, true, true, 0,
       "Start {}a a\nEntity x=&x;\nC [X]\nEnd {}a a\n"},
      {"LeadingDigitNamesOnlyWhenAllowed", "<a><1/></a>", {"AllowLeadingDigit=true"}, true, true,
       0, "Start {}a a\nStart {}1 1 empty\nEnd {}1 1 empty\nEnd {}a a\n"},
      {"LeadingDigitIsTextByDefault", "<a><1/></a>", {}, true, true, 0,
       "Start {}a a\nC <1/>\nEnd {}a a\n"},
      {"LeadingDigitSwitchedOffAgainIsText", "<a><1/></a>",
       {"AllowLeadingDigit=true", "AllowLeadingDigit=false"}, true, true, 0,
       "Start {}a a\nC <1/>\nEnd {}a a\n"},
      {"NulByteInsideTextIsText", std::string("<a>x\0y</a>", 10), {}, true, true, 0,
       std::string("Start {}a a\nC x\0y\nEnd {}a a\n", 28)},
  };
  return cases;
}

TEST(XmlEvents, TranscriptOfEachDocumentIsTheSameAtEverySplit) {
  for (const EventCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    ParseRun run = ExpectSameAtEverySplit(c.doc, c.settings, c.validate, c.buildDom);
    EXPECT_EQ(run.rc, c.rc) << run.error;
    EXPECT_EQ(run.transcript, c.transcript);
  }
}

}  // namespace
}  // namespace corvane::testing
