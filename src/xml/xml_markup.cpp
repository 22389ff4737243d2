// What the scanner does when a construct is complete: the text rules,
// references, attributes and namespace declarations, start and end tags,
// processing instructions and sections, and the document records they append.
#include <cstdint>
#include <cstring>

#include "core/ascii.h"
#include "core/code_page.h"
#include "core/utf8.h"
#include "xml/same_name.h"
#include "xml/xml_parser.h"

namespace corvane {

namespace {

// The namespace name reserved for the prefix xml (Namespaces in XML 1.0, 3).
constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

bool IsWs(char c) noexcept { return xml::kWhitespaceTable[static_cast<uint8_t>(c)] != 0; }

// The value of one of the five predefined entities, empty for any other name.
std::string_view PredefinedEntity(std::string_view name) noexcept {
  switch (name.size()) {
    case 2:
      if (name[1] != 't') break;
      if (name[0] == 'l') return "<";
      if (name[0] == 'g') return ">";
      break;
    case 3:
      if (std::memcmp(name.data(), "amp", 3) == 0) return "&";
      break;
    case 4:
      if (std::memcmp(name.data(), "apos", 4) == 0) return "'";
      if (std::memcmp(name.data(), "quot", 4) == 0) return "\"";
      break;
    default:
      break;
  }
  return {};
}

bool AllWhitespace(const char* p, size_t n) noexcept {
  for (size_t i = 0; i < n; ++i) {
    if (!IsWs(p[i])) return false;
  }
  return true;
}

}  // namespace

XmlParser::XmlParser() {
  // Double-byte lead bytes are recognised when the system code page is 932.
  std::string cs = CharsetForCodePage(CodePage());
  doubleByteLead_ = EqualsNoCase(cs, "CP932") || EqualsNoCase(cs, "SHIFT_JIS") ||
                    EqualsNoCase(cs, "SJIS") || EqualsNoCase(cs, "WINDOWS-31J");
  Reset();
}

XmlParser::~XmlParser() = default;

void XmlParser::Reset() {
  input_.Recycle(XmlBuffer::kKeepBytes);
  transcoder_.Reset();
  pos_ = dropped_ = 0;
  state_ = XmlState::xsText;
  failed_ = 0;
  scriptMode_ = false;
  encodingSwitched_ = false;
  textStart_ = tagStart_ = tokenStart_ = tokenEnd_ = 0;
  attrNameStart_ = attrNameEnd_ = valueStart_ = refStart_ = 0;
  wsKnownStart_ = wsKnownEnd_ = 0;
  pendingAttr_ = valueInArena_ = false;
  valueArenaStart_ = 0;
  attrCount_ = 0;
  arena_.Release();
  tagNameStart_ = tagNameEnd_ = 0;
  tagNameColon_ = kNoColon;
  for (XmlBytes& t : text_) t.Release();
  for (InputRun& r : runs_) r = InputRun();
  depth_ = 0;
  declCount_ = declsWritten_ = 0;
  defaultDecl_ = lastPrefixDecl_ = -1;
  root_ = xmlNsRecord_ = cursor_ = 0;
  canonical_.clear();
  inStartElement_ = false;
  lastErrorText_.Clear();
  lastErrorCode_ = 0;
  if (doc_.Reset() != 0) failed_ = Fail(xeOutOfMemory);
}

void XmlParser::ApplyLeadingDigit() noexcept {
  for (unsigned b = '0'; b <= '9'; ++b) {
    if (allowLeadingDigit_) {
      classes_.cls[b] |= xml::kNameStart;
    } else {
      classes_.cls[b] &= ~uint32_t{xml::kNameStart};
    }
  }
}

int XmlParser::Fail(int code, std::string_view detail) {
  std::string text = XmlErrorText(code);
  text.append(detail);
  failed_ = code;
  return SetError(code, text);
}

// Text rules ---------------------------------------------------------------

int XmlParser::DeliverText(const char* p, size_t n) {
  if (n == 0) return 0;
  if (textEvents_) {
    if (RESTEvents* sink = EventSink(); sink != nullptr && Handled().characters) {
      evText_.assign(p, n);
      sink->Characters(evText_);
    }
  }
  if (!buildDom_) return 0;
  if (depth_ == 0) {
    // Outside every element the text is not part of the model.
    if (!(flags_ & kAllowTextOutsideRoot) && !AllWhitespace(p, n)) return Fail(xeTextOutsideRoot);
    return 0;
  }
  return KeepText(p, n);
}

inline int XmlParser::KeepText(const char* p, size_t n) {
  if (n == 0) return 0;
  XmlBytes& text = text_[depth_];
  InputRun& run = runs_[depth_];
  const char* b = input_.data();
  if (text.empty() && doc_.InInput(std::string_view(p, n))) {
    // Text that is one run of the input is referenced, not copied.
    auto at = static_cast<uint32_t>(p - b);
    if (run.length == 0) {
      run = InputRun{at, static_cast<uint32_t>(n)};
      return 0;
    }
    if (run.start + run.length == at) {
      run.length += static_cast<uint32_t>(n);
      return 0;
    }
  }
  if (run.length != 0) {
    if (text.Append(b + run.start, run.length) != 0) return Fail(xeOutOfMemory);
    run = InputRun();
  }
  if (text.Append(p, n) != 0) return Fail(xeOutOfMemory);
  return 0;
}

// A run of the input's text: straight to the model in the common case.
inline int XmlParser::InputTextRun(const char* p, size_t n) {
  if (!textEvents_ && buildDom_ && depth_ > 0) return KeepText(p, n);
  return DeliverText(p, n);
}

int XmlParser::ReportWhitespace(uint32_t start, uint32_t end) {
  if (end <= start) return 0;
  if (RESTEvents* sink = EventSink(); sink != nullptr && Handled().ignorableWhitespace) {
    evText_.assign(input_.data() + start, end - start);
    sink->IgnorableWhitespace(evText_);
  }
  return 0;
}

int XmlParser::FlushText(uint32_t end, TextRule rule) {
  uint32_t start = textStart_;
  textStart_ = end;
  if (end <= start) return 0;
  const char* b = input_.data();
  // The common case, the first run of an element's text with nothing to
  // trim, becomes the element's run here; the rest goes on in a tail call.
  if ((rule == TextRule::trPlain || preserveWhitespace_ || !IsWs(b[end - 1])) && !textEvents_ &&
      buildDom_ && depth_ > 0) {
    InputRun& run = runs_[depth_];
    if (run.length == 0 && text_[depth_].empty() &&
        doc_.InInput(std::string_view(b + start, end - start))) {
      run = InputRun{start, end - start};
      return 0;
    }
  }
  return TrimAndKeepText(start, end, rule);
}

[[gnu::noinline]] int XmlParser::TrimAndKeepText(uint32_t start, uint32_t end, TextRule rule) {
  const char* b = input_.data();
  if (rule == TextRule::trPlain || preserveWhitespace_) return InputTextRun(b + start, end - start);
  uint32_t w = end;
  uint32_t lo = (wsKnownStart_ == start && wsKnownEnd_ > start && wsKnownEnd_ <= end) ? wsKnownEnd_ : start;
  while (w > lo && IsWs(b[w - 1])) --w;
  if (w == lo && lo != start) w = start;
  if (int rc = InputTextRun(b + start, w - start); rc != 0) return rc;
  return whitespaceEvents_ ? ReportWhitespace(w, end) : 0;
}

int XmlParser::LineBreak(uint32_t afterLf) {
  // Cut the trailing whitespace (the line feed included) and deliver the
  // rest; the cut part starts the next run. Remembering how far the run is
  // known to be blank keeps a long run of blank lines linear.
  const char* b = input_.data();
  uint32_t start = textStart_;
  bool known = wsKnownStart_ == start && wsKnownEnd_ > start && wsKnownEnd_ <= afterLf;
  uint32_t lo = known ? wsKnownEnd_ : start;
  uint32_t w = afterLf;
  while (w > lo && IsWs(b[w - 1])) --w;
  if (w == lo && known) w = start;
  if (w > start) {
    if (int rc = InputTextRun(b + start, w - start); rc != 0) return rc;
    textStart_ = w;
  }
  wsKnownStart_ = textStart_;
  wsKnownEnd_ = afterLf;
  return 0;
}

// References ---------------------------------------------------------------

std::string_view XmlParser::CharacterReference(std::string_view name) {
  // "#x" hex digits or "#" decimal digits; anything else resolves to nothing.
  // One loop per base: most references in a document are decimal ones.
  uint32_t cp = 0;
  if (name.size() > 1 && name[1] == 'x') {
    if (name.size() == 2) return {};
    for (size_t i = 2; i < name.size(); ++i) {
      int value = HexValue(name[i]);
      if (value < 0) return {};
      cp = cp * 16 + static_cast<uint32_t>(value);
      if (cp >= 0x10000) return {};  // beyond one UTF-16 unit: kept as written
    }
  } else {
    if (name.size() == 1) return {};
    for (size_t i = 1; i < name.size(); ++i) {
      uint32_t d = static_cast<uint8_t>(name[i]) - uint32_t{'0'};
      if (d > 9) return {};
      cp = cp * 10 + d;
      if (cp >= 0x10000) return {};
    }
  }
  if (cp == 0) return {};
  if (cp < 0x80) return {refBytes_, PutUtf8(refBytes_, cp)};
  if (refCodePage_ != CodePage()) {
    refCodePage_ = CodePage();
    std::string cs = CharsetForCodePage(refCodePage_);
    refUtf8_ = EqualsNoCase(cs, "UTF-8") || EqualsNoCase(cs, "UTF8");
  }
  if (refUtf8_) {
    if (cp >= 0xD800 && cp <= 0xDFFF) return {};  // a lone surrogate: kept as written
    return {refBytes_, PutUtf8(refBytes_, cp)};
  }
  std::u16string unit(1, static_cast<char16_t>(cp));
  if (FromUtf16(unit, refCodePage_, refConverted_) != 0) return {};
  return refConverted_;
}

std::string_view XmlParser::ResolveReference(uint32_t nameStart, uint32_t nameEnd, bool semicolon) {
  std::string_view name(input_.data() + nameStart, nameEnd - nameStart);
  std::string_view value;
  if (buildDom_) value = name.starts_with('#') ? CharacterReference(name) : PredefinedEntity(name);
  // Unresolved: the reference as written, which is still in the input from
  // its '&' on.
  if (value.empty()) value = {name.data() - 1, name.size() + (semicolon ? 2 : 1)};
  if (RESTEvents* sink = EventSink(); sink != nullptr && Handled().evalEntity) {
    evText_.assign(name);
    evValue_.assign(value);
    sink->EvalEntity(evText_, evValue_);
    return evValue_;
  }
  return value;
}

// Attributes and namespace declarations -------------------------------------

std::string_view XmlParser::AttributeName(const Attribute& a) const noexcept {
  return {input_.data() + a.nameStart, a.nameLen};
}

std::string_view XmlParser::AttributeValue(const Attribute& a) const noexcept {
  if (a.inArena) return arena_.view().substr(a.valueStart, a.valueLen);
  return {input_.data() + a.valueStart, a.valueLen};
}

// Every attribute passes here: the common case stores the attribute and
// returns, the rest goes on in tail calls, so no registers are saved for it.
int XmlParser::CompleteAttribute(uint32_t valueEnd) {
  if (valueInArena_) return CompleteArenaAttribute(valueEnd);
  return AddAttribute(valueStart_, valueEnd - valueStart_, false);
}

// Out of line, as is AddDeclaration: inlined, they made every attribute
// save the registers they use.
[[gnu::noinline]] int XmlParser::CompleteArenaAttribute(uint32_t valueEnd) {
  valueInArena_ = false;
  if (arena_.Append(input_.data() + valueStart_, valueEnd - valueStart_) != 0) {
    return Fail(xeOutOfMemory);
  }
  return AddAttribute(valueArenaStart_, arena_.size() - valueArenaStart_, true);
}

int XmlParser::AddAttribute(uint32_t valueStart, uint32_t valueLen, bool inArena) {
  uint32_t nameLen = attrNameEnd_ - attrNameStart_;
  if (validate_ && nameLen >= 5 && std::memcmp(input_.data() + attrNameStart_, "xmlns", 5) == 0) {
    return AddDeclaration(valueStart, valueLen, inArena);
  }
  if (attrCount_ >= kMaxAttributes) return TooManyAttributes();
  attrs_[attrCount_++] = Attribute{attrNameStart_, nameLen, valueStart, valueLen, inArena};
  return 0;
}

int XmlParser::TooManyAttributes() {
  failed_ = kErrOutOfMemory;
  return SetError(kErrOutOfMemory, "Too many attributes in one tag (limit 256).");
}

[[gnu::noinline]] int XmlParser::AddDeclaration(uint32_t valueStart, uint32_t valueLen,
                                                bool inArena) {
  Attribute a{attrNameStart_, attrNameEnd_ - attrNameStart_, valueStart, valueLen, inArena};
  std::string_view prefix = AttributeName(a).substr(5);
  if (!prefix.empty() && prefix[0] == ':') prefix.remove_prefix(1);
  if (declCount_ >= kMaxNamespaces) {
    failed_ = kErrOutOfMemory;
    return SetError(kErrOutOfMemory, "Too many namespace declarations in scope (limit 256).");
  }
  Declaration& d = decls_[declCount_];
  if (d.prefix.Assign(prefix) != 0 || d.uri.Assign(AttributeValue(a)) != 0) {
    return Fail(xeOutOfMemory);
  }
  d.depth = depth_ + 1;
  d.record = 0;
  if (prefix.empty()) defaultDecl_ = declCount_;
  lastPrefixDecl_ = -1;
  ++declCount_;
  if (RESTEvents* sink = EventSink()) {
    evLocal_.assign(d.prefix.view());
    evValue_.assign(d.uri.view());
    sink->StartPrefixMapping(evLocal_, evValue_);
  }
  return 0;
}

// Prefixes --------------------------------------------------------------------

int XmlParser::UnknownPrefix(bool attribute, std::string_view prefix) {
  int code = attribute ? xeUnknownAttributePrefix : xeUnknownElementPrefix;
  uint32_t ignore = attribute ? kIgnoreBadAttributePrefixes : kIgnoreBadElementPrefixes;
  if (!(flags_ & ignore)) return Fail(code, prefix);
  if (EventSink() != nullptr) {
    std::string text = XmlErrorText(code);
    text.append(prefix);
    FireError(code, text);
  }
  return 0;
}

int XmlParser::SearchPrefix(std::string_view prefix) noexcept {
  if (prefix.size() == 3 && std::memcmp(prefix.data(), "xml", 3) == 0) return -2;
  for (int i = declCount_ - 1; i >= 0; --i) {
    if (xml::SameName(decls_[i].prefix.view(), prefix)) return lastPrefixDecl_ = i;
  }
  return -1;
}

int XmlParser::UnknownPrefixed(std::string_view qname, size_t colon, bool attribute,
                               std::string_view& local, bool& known) {
  known = false;
  if (includeUnknownPrefixes_) local = qname;
  return UnknownPrefix(attribute, qname.substr(0, colon));
}

// Tags ------------------------------------------------------------------------

// Inline in its one caller: the start tag path pays one call, not two.
[[gnu::always_inline]] inline int XmlParser::WriteTagRecords(uint32_t gt, std::string_view local,
                                                             int declaration) {
  if (xmlNsRecord_ == 0) {
    // Written once, at the first use of the xml prefix, ahead of the
    // element's own declarations, so it never counts as one of them.
    bool usesXml = declaration == -2;
    for (int i = 0; i < attrCount_ && !usesXml; ++i)
      usesXml = AttributeName(attrs_[i]).starts_with("xml:");
    if (usesXml && doc_.AppendNamespace("xml", kXmlNamespace, xmlNsRecord_) != 0)
      return Fail(xeOutOfMemory);
  }
  uint32_t ownStart = doc_.Size();
  for (int i = declsWritten_; i < declCount_; ++i) {
    if (doc_.AppendNamespace(decls_[i].prefix.view(), decls_[i].uri.view(), decls_[i].record) !=
        0) {
      return Fail(xeOutOfMemory);
    }
  }
  declsWritten_ = declCount_;
  uint32_t ns = declaration >= 0    ? decls_[declaration].record
                : declaration == -2 ? xmlNsRecord_
                                    : 0;
  XmlDocument::ElementStart e{};
  e.parent = depth_ > 1 ? open_[depth_ - 1].record : 0;
  e.nsRecord = ns;
  e.ownNsStart = ownStart;
  e.nsInScope = static_cast<uint32_t>(declCount_);
  e.attrCount = static_cast<uint32_t>(attrCount_);
  e.startLt = tagStart_ + dropped_;
  e.startPastGt = gt + 1 + dropped_;
  std::string_view qname(input_.data() + tagNameStart_, tagNameEnd_ - tagNameStart_);
  auto localStart = static_cast<uint32_t>(local.data() - qname.data());
  bool bound = doc_.InputBound();
  uint32_t pos = 0;
  int rc = bound && localStart < 256 && local.size() < (uint32_t{1} << 23)
               ? doc_.AppendInputElement(e, localStart, static_cast<uint32_t>(local.size()), pos)
               : doc_.AppendElement(e, qname, localStart, pos);
  if (rc != 0) return Fail(xeOutOfMemory);
  open_[depth_].record = pos;
  if (root_ == 0) root_ = pos;
  for (int i = 0; i < attrCount_; ++i) {
    const Attribute& a = attrs_[i];
    std::string_view name = AttributeName(a);
    std::string_view attrLocal;
    int attrDecl = -1;
    bool known = true;
    if (int rc = ResolvePrefix(name, true, attrLocal, attrDecl, known); rc != 0) return rc;
    uint32_t attrNs = attrDecl >= 0 ? decls_[attrDecl].record : attrDecl == -2 ? xmlNsRecord_ : 0;
    int rc = bound && !a.inArena
                 ? doc_.AppendInputAttribute(
                       attrNs, a.nameStart + static_cast<uint32_t>(attrLocal.data() - name.data()),
                       static_cast<uint32_t>(attrLocal.size()), a.valueStart, a.valueLen)
                 : doc_.AppendAttribute(attrNs, attrLocal, AttributeValue(a));
    if (rc != 0) return Fail(xeOutOfMemory);
  }
  return 0;
}

int XmlParser::StartTag(uint32_t gt, bool empty) {
  std::string_view qname(input_.data() + tagNameStart_, tagNameEnd_ - tagNameStart_);
  if (validate_) {
    if (depth_ >= kMaxDepth) {
      failed_ = kErrOutOfMemory;
      return SetError(kErrOutOfMemory, "Too many open elements (limit 256).");
    }
    // The name stays in the input until the end tag compares it; only a
    // compaction of the input copies it (see CompactInput).
    OpenElement& open = open_[++depth_];
    open.nameStart = tagNameStart_;
    open.nameLen = tagNameEnd_ - tagNameStart_;
    open.isSaved = false;
  } else if (EqualsNoCase(qname, "SCRIPT")) {
    scriptMode_ = true;
  }
  std::string_view local;
  int declaration = -1;
  bool known = true;
  if (int rc = ResolvePrefixAt(qname, tagNameColon_, false, local, declaration, known); rc != 0) return rc;
  if (validate_) {
    OpenElement& open = open_[depth_];
    open.declaration = declaration;
    open.localStart = static_cast<uint32_t>(local.data() - qname.data());
    open.known = known;
  }

  if (RESTEvents* sink = EventSink(); sink != nullptr && Handled().startElement) {
    if (declaration >= 0) {
      evNamespace_.assign(decls_[declaration].uri.view());
    } else if (declaration == -2) {
      evNamespace_.assign(kXmlNamespace);
    } else {
      evNamespace_.clear();
    }
    evLocal_.assign(local);
    evQName_.assign(qname);
    bool isEmpty = empty;
    inStartElement_ = true;
    sink->StartElement(evNamespace_, evLocal_, evQName_, isEmpty);
    inStartElement_ = false;
  }
  if (buildDom_) {
    if (int rc = WriteTagRecords(gt, local, declaration); rc != 0) return rc;
  }
  attrCount_ = 0;
  arena_.Clear();
  if (empty) {
    if (validate_ && !EndEvents()) return CloseMatched(gt + 1, gt + 1);
    return EndTag(qname, true, gt + 1, gt + 1, declaration, local);
  }
  return 0;
}

int XmlParser::EndTag(std::string_view qname, bool empty, uint32_t endLt, uint32_t pastGt,
                      int startDeclaration, std::string_view startLocal) {
  RESTEvents* sink = EventSink();
  std::string_view local = startLocal;
  int declaration = startDeclaration;
  // An empty tag closes the element it just opened.
  bool matches = depth_ > 0 &&
                 (startDeclaration != kUnresolved || xml::SameName(OpenName(open_[depth_]), qname));
  if (!validate_) {
    size_t colon = qname.find(':');
    local = colon == std::string_view::npos ? qname : qname.substr(colon + 1);
    if (EqualsNoCase(qname, "SCRIPT")) scriptMode_ = false;
  } else if (declaration == kUnresolved) {
    // An empty tag reuses the resolution of its start (and its one Error).
    // So does a matching end tag: the declarations in scope are the same
    // ones; an unknown prefix is looked up again so its Error fires again.
    const OpenElement& open = open_[depth_];
    if (matches && open.known) {
      declaration = open.declaration;
      local = qname.substr(open.localStart);
    } else {
      bool known = true;
      if (int rc = ResolvePrefix(qname, false, local, declaration, known); rc != 0) return rc;
    }
  }
  if (sink != nullptr && Handled().endElement) {
    if (declaration >= 0) {
      evNamespace_.assign(decls_[declaration].uri.view());
    } else if (declaration == -2) {
      evNamespace_.assign(kXmlNamespace);
    } else {
      evNamespace_.clear();
    }
    evLocal_.assign(local);
    evQName_.assign(qname);
    bool isEmpty = empty;
    sink->EndElement(evNamespace_, evLocal_, evQName_, isEmpty);
  }
  if (!validate_) return 0;
  if (!matches) {
    // The innermost element's record still ends here.
    if (depth_ > 0) {
      if (int rc = CloseRecord(endLt, pastGt); rc != 0) return rc;
    }
    return Fail(xeUnbalancedTag, qname);
  }
  return CloseMatched(endLt, pastGt);
}

// Out of line: the common close, a text run or none, saves no registers for it.
[[gnu::noinline]] int XmlParser::StoreText(uint32_t element) {
  XmlBytes& text = text_[depth_];
  if (doc_.AppendText(text.view(), element + xmlrec::kTextRef) != 0) return Fail(xeOutOfMemory);
  text.Clear();
  return 0;
}

void XmlParser::EndScope() {
  RESTEvents* sink = EventSink();
  while (declCount_ > 0 && decls_[declCount_ - 1].depth == depth_) {
    --declCount_;
    if (sink != nullptr) {
      evLocal_.assign(decls_[declCount_].prefix.view());
      sink->EndPrefixMapping(evLocal_);
    }
  }
  if (declsWritten_ > declCount_) declsWritten_ = declCount_;
  if (defaultDecl_ >= declCount_) {
    defaultDecl_ = -1;
    for (int i = declCount_ - 1; i >= 0 && defaultDecl_ < 0; --i) {
      if (decls_[i].prefix.empty()) defaultDecl_ = i;
    }
  }
}

// Other constructs -------------------------------------------------------------

int XmlParser::ProcessingInstruction(uint32_t start, uint32_t end) {
  std::string_view text(input_.data() + start, end - start);
  if (RESTEvents* sink = EventSink()) {
    evText_.assign(text);
    sink->PI(evText_);
  }
  size_t at = text.find(" encoding");
  if (at == std::string_view::npos) return 0;
  std::string rest;
  for (char c : text.substr(at + 9)) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') rest += c;
  }
  size_t i = 0;
  if (i < rest.size() && rest[i] == '=') ++i;
  if (i >= rest.size() || (rest[i] != '"' && rest[i] != '\'')) return 0;
  char quote = rest[i++];
  std::string name;
  for (; i < rest.size() && rest[i] != quote; ++i) {
    if (rest[i] == '\\' && i + 1 < rest.size()) ++i;
    name += rest[i];
  }
  XmlEncoding next = XmlEncodingFromName(name);
  if (next != encoding_) {
    pendingEncoding_ = next;
    return kEncodingSwitch;  // Scan stops here so Feed can transcode the rest again
  }
  return 0;
}

int XmlParser::Section(uint32_t end) {
  std::string_view id(input_.data() + tokenStart_, tokenEnd_ - tokenStart_);
  while (!id.empty() && id.front() == ' ') id.remove_prefix(1);
  while (!id.empty() && id.back() == ' ') id.remove_suffix(1);
  std::string_view text(input_.data() + valueStart_, end - valueStart_);
  if (RESTEvents* sink = EventSink()) {
    evLocal_.assign(id);
    evText_.assign(text);
    sink->SpecialSection(evLocal_, evText_);
  }
  if (buildDom_ && id == "CDATA" && depth_ > 0) return KeepText(text.data(), text.size());
  return 0;
}

}  // namespace corvane
