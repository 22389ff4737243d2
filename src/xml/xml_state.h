#pragma once

#include <cstdint>

namespace corvane {

// The scanner states; the numbers are part of the design (a piece of input
// may end in any of them and the next piece continues there).
enum class XmlState : uint8_t {
  xsText = 0,                  // character data
  xsTagName = 1,               // name after '<'
  xsAfterLt = 2,               // just after '<'
  xsInTag = 3,                 // between attributes of a start tag
  xsAttrName = 4,              // attribute name
  xsAfterAttrName = 5,         // after an attribute name
  xsAfterEquals = 6,           // after '='
  xsUnquotedValue = 7,         // unquoted attribute value
  xsAfterConstruct = 8,        // after a tag or other construct
  xsSingleQuotedValue = 9,     // value in '
  xsDoubleQuotedValue = 10,    // value in "
  xsEndTagName = 11,           // after "</"
  xsAfterEndTagName = 12,      // after an end-tag name
  xsTextReference = 13,        // reference in text
  xsUnquotedReference = 14,    // reference in an unquoted value
  xsSingleQuotedReference = 15,
  xsDoubleQuotedReference = 16,
  xsEndTagJunk = 17,           // bytes after the name in an end tag
  xsAfterLtBangDash = 18,      // after "<!-"
  xsComment = 19,              // comment text
  xsCommentDash = 20,          // '-' inside a comment
  xsCommentEnd = 21,           // after "--"
  xsProcessingInstruction = 22,
  xsAfterLtBang = 23,          // after "<!"
  xsDeclaration = 24,          // <!DOCTYPE ...> and the like
  xsSection = 25,              // content of <![id[ ... ]]>
  xsSectionId = 26,            // after "<!["
  xsDeclSingleQuoted = 27,
  xsDeclDoubleQuoted = 28,
  xsInternalSubset = 29,       // [ ... ] inside a declaration
  xsDoubleByteTrail = 30,      // second byte of a double-byte character
  xsHtmlComment = 31,          // comment with HTMLComments
};

}  // namespace corvane
