#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/byte_buffer.h"
#include "core/component_core.h"
#include "core/document_navigator.h"
#include "core/event_handlers.h"
#include "xml/char_classes.h"
#include "xml/same_name.h"
#include "xml/xml_buffer.h"
#include "xml/xml_bytes.h"
#include "xml/xml_document.h"
#include "xml/xml_errors.h"
#include "xml/xml_state.h"
#include "xml/xml_transcoder.h"

namespace corvane {

// A forgiving byte-at-a-time XML tokenizer with SAX-style events, namespace
// resolution, reference expansion and, with BuildDOM, the record-stream
// document model that the cursor properties navigate.
//
// Use: Reset() before each document, then Feed() each piece of input as it
// arrives (a document cut anywhere parses the same). Events go to the
// EventSink() listener; without one no event work is done. Settings are
// Config() strings (see HandleConfig) plus SetValidate/SetBuildDOM.
class XmlParser : public ComponentCore, public DocumentNavigator {
 public:
  static constexpr int kMaxDepth = 256;       // open elements
  static constexpr int kMaxAttributes = 256;  // attributes of one tag
  static constexpr int kMaxNamespaces = 256;  // declarations in scope

  // Bits of the flag word behind four boolean settings.
  static constexpr uint32_t kIgnoreBadAttributePrefixes = 1;
  static constexpr uint32_t kIgnoreBadElementPrefixes = 2;
  static constexpr uint32_t kAllowMoreThanOneRoot = 4;
  static constexpr uint32_t kAllowTextOutsideRoot = 8;

  XmlParser();
  ~XmlParser() override;

  int HandleConfig(const ConfigItem& item, ByteBuffer& result) override;

  // Clears the scan state, the stacks and the document model; keeps the
  // settings and the input encoding.
  void Reset();
  // Transcodes one piece of input and scans it to its end. Returns 0 or an
  // error code (the message is in LastErrorText()); after an error every
  // later feed returns the same code until Reset.
  int Feed(std::string_view piece);
  int Feed(const char* text) { return Feed(std::string_view(text ? text : "")); }

  // Validate on: nesting checked, namespaces resolved. BuildDOM on: the
  // document model is built. BuildDOM implies Validate and the reverse.
  bool Validate() const noexcept { return validate_; }
  void SetValidate(bool on) noexcept {
    validate_ = on;
    if (!on) buildDom_ = false;
  }
  bool BuildDOM() const noexcept { return buildDom_; }
  void SetBuildDOM(bool on) noexcept {
    buildDom_ = on;
    if (on) validate_ = true;
  }
  // CacheContent (KeepOriginalText): the original text of the document is
  // kept for XSubTree and XText.
  bool CacheContent() const noexcept { return keepOriginalText_; }
  void SetCacheContent(bool on) noexcept { keepOriginalText_ = on; }
  // Double-byte character recognition (system code page 932).
  void SetDoubleByteLead(bool on) noexcept { doubleByteLead_ = on; }

  XmlEncoding Encoding() const noexcept { return encoding_; }
  XmlState State() const noexcept { return state_; }
  bool ScriptMode() const noexcept { return scriptMode_; }
  const XmlDocument& Document() const noexcept { return doc_; }
  uint32_t RootPosition() const noexcept { return root_; }
  uint32_t CursorPosition() const noexcept { return cursor_; }
  // The input kept so far (the whole document while KeepOriginalText is on).
  std::string_view InputText() const noexcept { return input_.view(); }

  // DocumentNavigator.
  int SetXPath(std::string_view path) override;
  std::string GetXPath() const override { return canonical_; }
  bool HasXPath(std::string_view path) override;
  std::string XElement() const override;
  std::string XNamespace() const override;
  std::string XPrefix() const override;
  std::string XText() const override;
  std::string XParent() const override;
  std::string XSubTree() const override;
  std::string XContents() const;
  int XChildCount() const override;
  int XChildName(int index, std::string& out) override;
  int XChildNamespace(int index, std::string& out) override;
  int XChildPrefix(int index, std::string& out) override;
  int XChildXText(int index, std::string& out) override;
  int AttrCount() const override;
  int AttrName(int index, std::string& out) override;
  int AttrNamespace(int index, std::string& out) override;
  int AttrPrefix(int index, std::string& out) override;
  int AttrValue(int index, std::string& out) override;
  int Attr(std::string_view name, std::string& out) override;
  int NamespaceCount() const override;
  int NamespacePrefix(int index, std::string& out) override;
  int NamespaceURI(int index, std::string& out) override;

 private:
  struct Attribute {
    uint32_t nameStart, nameLen;  // in the input buffer
    uint32_t valueStart, valueLen;  // in the input buffer or the value arena
    bool inArena;
  };
  struct OpenElement {
    // The start tag's name: [nameStart, nameStart + nameLen) of input_ while
    // the input stays in place, copied to saved before it is compacted.
    XmlBytes saved;
    uint32_t nameStart = 0, nameLen = 0;
    bool isSaved = false;
    uint32_t record = 0;  // element record position (BuildDOM)
    // The start tag's prefix resolution, for the end tag of the same name.
    int declaration = -1;
    uint32_t localStart = 0;  // where the local name starts in qname
    bool known = false;
  };
  struct Declaration {
    XmlBytes prefix;
    XmlBytes uri;
    int depth = 0;
    uint32_t record = 0;  // namespace record position once written
  };
  enum class TextRule : uint8_t { trTag, trPlain };

  // Scanner (xml_scanner.cpp).
  int FeedPiece(std::string_view piece);
  int Scan();
  int CompactInput();
  // Markup actions (xml_markup.cpp).
  int FlushText(uint32_t end, TextRule rule);
  int TrimAndKeepText(uint32_t start, uint32_t end, TextRule rule);
  int LineBreak(uint32_t afterLf);
  int ReportWhitespace(uint32_t start, uint32_t end);
  int DeliverText(const char* p, size_t n);
  int KeepText(const char* p, size_t n);
  int InputTextRun(const char* p, size_t n);
  // What the reference named [nameStart, nameEnd) stands for; valid until the
  // next reference.
  std::string_view ResolveReference(uint32_t nameStart, uint32_t nameEnd, bool semicolon);
  int CompleteAttribute(uint32_t valueEnd);
  int CompleteArenaAttribute(uint32_t valueEnd);
  // The attribute named [attrNameStart_, attrNameEnd_) with this value, or
  // the declaration it makes.
  int AddAttribute(uint32_t valueStart, uint32_t valueLen, bool inArena);
  int TooManyAttributes();
  int AddDeclaration(uint32_t valueStart, uint32_t valueLen, bool inArena);
  int StartTag(uint32_t gt, bool empty);
  static constexpr int kUnresolved = -3;
  // Not an error: returned by ProcessingInstruction to stop the scan after a
  // declaration that changes the input encoding.
  static constexpr int kEncodingSwitch = -1000;
  int EndTag(std::string_view qname, bool empty, uint32_t endLt, uint32_t pastGt,
             int startDeclaration = kUnresolved, std::string_view startLocal = {});
  // The innermost element ends: its record gets its text and end (BuildDOM).
  int CloseRecord(uint32_t endLt, uint32_t pastGt) {
    if (!buildDom_) return 0;
    uint32_t rec = open_[depth_].record;
    // Text that is not one run of the input was copied; the run is empty then.
    if (!text_[depth_].empty()) {
      if (int rc = StoreText(rec); rc != 0) return rc;
    }
    InputRun& run = runs_[depth_];
    doc_.CloseElement(rec, pastGt + dropped_, endLt + dropped_, run.start, run.length);
    run = InputRun();
    return 0;
  }
  // The same, and the element's declarations go out of scope with it. Inline:
  // the scanner closes most elements here, one per end tag.
  int CloseMatched(uint32_t endLt, uint32_t pastGt) {
    if (int rc = CloseRecord(endLt, pastGt); rc != 0) return rc;
    if (declCount_ > 0 && decls_[declCount_ - 1].depth == depth_) EndScope();
    --depth_;
    return 0;
  }
  // The copied text of the innermost element as a text record of element.
  int StoreText(uint32_t element);
  void EndScope();
  // True when an end tag has to go round EndTag: its listener takes EndElement.
  bool EndEvents() noexcept { return EventSink() != nullptr && Handled().endElement; }
  int ProcessingInstruction(uint32_t start, uint32_t end);
  int Section(uint32_t end);
  // Splits qname at its first colon and finds the declaration of its prefix:
  // declaration is its index, -1 for none (the empty namespace) or -2 for the
  // reserved xml prefix. Inline for the common unprefixed name.
  int ResolvePrefix(std::string_view qname, bool attribute, std::string_view& local,
                    int& declaration, bool& known) {
    // Names are a few bytes long: a plain loop is quicker than a library call.
    for (size_t i = 0; i < qname.size(); ++i) {
      if (qname[i] == ':') return ResolvePrefixed(qname, i, attribute, local, declaration, known);
    }
    return ResolvePrefixAt(qname, kNoColon, attribute, local, declaration, known);
  }
  // The same for a name whose first colon the scanner noted (kNoColon: none).
  int ResolvePrefixAt(std::string_view qname, uint32_t colon, bool attribute, std::string_view& local,
                      int& declaration, bool& known) {
    if (colon < qname.size()) return ResolvePrefixed(qname, colon, attribute, local, declaration, known);
    local = qname;
    // Unprefixed attributes have no namespace; elements take the default.
    declaration = validate_ && !attribute ? defaultDecl_ : -1;
    known = true;
    return 0;
  }
  // The same for a name whose first colon is at colon. The search is a
  // leaf of its own: the common outcome costs no register saves.
  int ResolvePrefixed(std::string_view qname, size_t colon, bool attribute, std::string_view& local,
                      int& declaration, bool& known) {
    local = std::string_view(qname.data() + colon + 1, qname.size() - colon - 1);
    declaration = -1;
    known = true;
    if (!validate_) return 0;
    declaration = FindPrefix(std::string_view(qname.data(), colon));
    if (declaration != -1) return 0;
    return UnknownPrefixed(qname, colon, attribute, local, known);
  }
  // The innermost declaration of prefix: its index, -2 for the reserved xml
  // prefix, -1 for none. Names in a row mostly share their prefix, so the
  // last one found is tried first, inline: it stays the innermost while it is
  // in scope, as only a new declaration could shadow it. It is never a
  // declaration of xml, which the search answers before looking.
  int FindPrefix(std::string_view prefix) noexcept {
    if (int hit = lastPrefixDecl_;
        hit >= 0 && hit < declCount_ && xml::SameName(decls_[hit].prefix.view(), prefix)) {
      return hit;
    }
    return SearchPrefix(prefix);
  }
  int SearchPrefix(std::string_view prefix) noexcept;
  int UnknownPrefixed(std::string_view qname, size_t colon, bool attribute, std::string_view& local,
                      bool& known);
  int UnknownPrefix(bool attribute, std::string_view prefix);
  int WriteTagRecords(uint32_t gt, std::string_view local, int declaration);
  // The character a reference "#n" or "#xh" names, empty when it names none.
  std::string_view CharacterReference(std::string_view name);
  std::string_view OpenName(const OpenElement& e) const noexcept {
    return e.isSaved ? e.saved.view() : std::string_view(input_.data() + e.nameStart, e.nameLen);
  }
  std::string_view AttributeName(const Attribute& a) const noexcept;
  std::string_view AttributeValue(const Attribute& a) const noexcept;
  int Fail(int code, std::string_view detail = {});
  void ApplyLeadingDigit() noexcept;
  const HandledEvents& Handled() noexcept {
    if (EventSink() != handledFor_) {
      handledFor_ = EventSink();
      handled_ = HandledEvents::Of(handledFor_);
    }
    return handled_;
  }

  // Navigation helpers (xml_navigation.cpp).
  uint32_t CursorElement() const noexcept;
  std::string QualifiedName(uint32_t element) const;
  uint32_t ChildAt(uint32_t element, int n) const noexcept;
  int ChildIndex(int index, uint32_t& child);
  int ChildCountOf(uint32_t element) const noexcept;
  uint32_t AttributeRecord(uint32_t element, int index) const noexcept;
  int AttributeIndex(int index);
  uint32_t NamespaceRecordAt(uint32_t element, int index) const noexcept;
  int NamespaceIndex(int index);
  int StepRelative(std::string_view& rest);
  int StepAbsolute(std::string_view& rest);
  std::string CanonicalPathOf(uint32_t element) const;
  bool NameMatches(uint32_t element, std::string_view name) const;
  void RecordError(int code) const;

  // Settings.
  uint32_t flags_ = 15;
  bool includeUnknownPrefixes_ = false;
  bool keepOriginalText_ = true;
  bool htmlComments_ = false;
  bool preserveWhitespace_ = false;
  bool errorOnEmptyAttr_ = false;
  bool allowLeadingDigit_ = false;
  bool validate_ = true;
  bool buildDom_ = true;
  bool doubleByteLead_ = false;
  XmlEncoding encoding_ = XmlEncoding::xeAscii;
  xml::ScanClassTable classes_ = xml::kDefaultScanClasses;

  // Input and scan state.
  XmlBuffer input_;
  XmlTranscoder transcoder_;
  uint32_t pos_ = 0;
  uint32_t dropped_ = 0;  // bytes compacted away before input_
  XmlState state_ = XmlState::xsText;
  int failed_ = 0;
  bool scriptMode_ = false;
  bool deliver_ = false;      // text or references have somewhere to go
  bool deliverText_ = false;  // text runs have somewhere to go (a listener or the model)
  bool textEvents_ = false;        // the listener takes text
  bool whitespaceEvents_ = false;  // the listener takes ignorable whitespace
  // What the listener overrides, worked out again when the listener changes.
  HandledEvents handled_ = HandledEvents::None();
  RESTEvents* handledFor_ = nullptr;
  bool encodingSwitched_ = false;  // a PI named a new encoding: Feed re-transcodes
  XmlEncoding pendingEncoding_ = XmlEncoding::xeAscii;
  // [wsKnownStart_, wsKnownEnd_) is known to be all whitespace (line rule).
  uint32_t wsKnownStart_ = 0, wsKnownEnd_ = 0;
  // Marks into input_.
  uint32_t textStart_ = 0;
  uint32_t tagStart_ = 0;
  uint32_t tokenStart_ = 0;
  uint32_t tokenEnd_ = 0;
  uint32_t attrNameStart_ = 0;
  uint32_t attrNameEnd_ = 0;
  uint32_t valueStart_ = 0;
  uint32_t refStart_ = 0;
  bool pendingAttr_ = false;
  bool valueInArena_ = false;
  uint32_t valueArenaStart_ = 0;

  // The tag being read.
  Attribute attrs_[kMaxAttributes];
  int attrCount_ = 0;
  XmlBytes arena_;  // attribute values that contain references
  uint32_t tagNameStart_ = 0, tagNameEnd_ = 0;
  // The tag name's first ':' as an offset from its start (relative, so
  // compacting the input leaves it valid), or kNoColon.
  static constexpr uint32_t kNoColon = 0xFFFFFFFFu;
  uint32_t tagNameColon_ = kNoColon;

  // Stacks.
  OpenElement open_[kMaxDepth + 1];  // 1-based by depth
  int depth_ = 0;                    // open elements (validating mode)
  Declaration decls_[kMaxNamespaces];
  int declCount_ = 0;
  int defaultDecl_ = -1;  // the innermost declaration of the default namespace
  // The declaration FindPrefix found last; -1 once a new one could shadow it.
  int lastPrefixDecl_ = -1;
  int declsWritten_ = 0;
  // Element text by depth (BuildDOM): while it is one run of the kept input
  // only the run is noted; it is copied into text_ once a second piece or a
  // decoded reference joins it.
  struct InputRun {
    uint32_t start = 0, length = 0;
  };
  XmlBytes text_[kMaxDepth + 1];
  InputRun runs_[kMaxDepth + 1];

  // Document model and cursor.
  XmlDocument doc_;
  uint32_t root_ = 0;
  uint32_t xmlNsRecord_ = 0;
  uint32_t cursor_ = 0;
  std::string canonical_;
  bool inStartElement_ = false;

  // Reference conversion cache, and the bytes of the last character decoded.
  unsigned refCodePage_ = ~0u;
  bool refUtf8_ = true;
  char refBytes_[4] = {};
  std::string refConverted_;

  // Event arguments, reused so a listener costs no allocation per event.
  std::string evNamespace_, evLocal_, evQName_, evText_, evValue_;
};

}  // namespace corvane
