#include "xml/xml_state.h"

namespace corvane {

const char* XmlStateName(XmlState state) noexcept {
  switch (state) {
    case XmlState::xsText: return "Text";
    case XmlState::xsTagName: return "TagName";
    case XmlState::xsAfterLt: return "AfterLt";
    case XmlState::xsInTag: return "InTag";
    case XmlState::xsAttrName: return "AttrName";
    case XmlState::xsAfterAttrName: return "AfterAttrName";
    case XmlState::xsAfterEquals: return "AfterEquals";
    case XmlState::xsUnquotedValue: return "UnquotedValue";
    case XmlState::xsAfterConstruct: return "AfterConstruct";
    case XmlState::xsSingleQuotedValue: return "SingleQuotedValue";
    case XmlState::xsDoubleQuotedValue: return "DoubleQuotedValue";
    case XmlState::xsEndTagName: return "EndTagName";
    case XmlState::xsAfterEndTagName: return "AfterEndTagName";
    case XmlState::xsTextReference: return "TextReference";
    case XmlState::xsUnquotedReference: return "UnquotedReference";
    case XmlState::xsSingleQuotedReference: return "SingleQuotedReference";
    case XmlState::xsDoubleQuotedReference: return "DoubleQuotedReference";
    case XmlState::xsEndTagJunk: return "EndTagJunk";
    case XmlState::xsAfterLtBangDash: return "AfterLtBangDash";
    case XmlState::xsComment: return "Comment";
    case XmlState::xsCommentDash: return "CommentDash";
    case XmlState::xsCommentEnd: return "CommentEnd";
    case XmlState::xsProcessingInstruction: return "ProcessingInstruction";
    case XmlState::xsAfterLtBang: return "AfterLtBang";
    case XmlState::xsDeclaration: return "Declaration";
    case XmlState::xsSection: return "Section";
    case XmlState::xsSectionId: return "SectionId";
    case XmlState::xsDeclSingleQuoted: return "DeclSingleQuoted";
    case XmlState::xsDeclDoubleQuoted: return "DeclDoubleQuoted";
    case XmlState::xsInternalSubset: return "InternalSubset";
    case XmlState::xsDoubleByteTrail: return "DoubleByteTrail";
    case XmlState::xsHtmlComment: return "HtmlComment";
  }
  return "?";
}

}  // namespace corvane
