// Cursor navigation over the record stream: the XPath steps, the canonical
// path, and the element, child, attribute and namespace accessors.
#include <charconv>

#include "xml/xml_parser.h"

namespace corvane {

namespace {

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

// Reads decimal digits at s[i]; false when there are none or they overflow.
bool ReadNumber(std::string_view s, size_t& i, long long& value) noexcept {
  size_t start = i;
  value = 0;
  while (i < s.size() && IsDigit(s[i])) {
    value = value * 10 + (s[i] - '0');
    if (value > 0x7FFFFFFF) return false;
    ++i;
  }
  return i > start;
}

// Appends "[n]" to a path.
void AppendIndex(std::string& path, long long n) {
  path += '[';
  path += std::to_string(n);
  path += ']';
}

bool StartsWithLast(std::string_view s) noexcept {
  return s.substr(0, 6) == "last()" || s.substr(0, 6) == "Last()" || s.substr(0, 6) == "LAST()";
}

}  // namespace

void XmlParser::RecordError(int code) const {
  // Reading a property cannot fail, but a few readers leave their reason as
  // the last error; the object is never const itself.
  auto* self = const_cast<XmlParser*>(this);
  self->SetError(code, XmlErrorText(code));
  self->SetLastErrorCode(code);
}

uint32_t XmlParser::CursorElement() const noexcept { return cursor_ != 0 ? cursor_ : root_; }

std::string XmlParser::QualifiedName(uint32_t element) const {
  if (element == 0) return {};
  std::string_view prefix = doc_.NsPrefix(doc_.U32(element + xmlrec::kNamespaceRec));
  std::string name;
  if (!prefix.empty()) {
    name.append(prefix);
    name += ':';
  }
  name.append(doc_.LocalName(element));
  return name;
}

bool XmlParser::NameMatches(uint32_t element, std::string_view name) const {
  std::string_view local = doc_.LocalName(element);
  if (name == local) return true;
  std::string_view prefix = doc_.NsPrefix(doc_.U32(element + xmlrec::kNamespaceRec));
  return !prefix.empty() && name.size() == prefix.size() + 1 + local.size() &&
         name.substr(0, prefix.size()) == prefix && name[prefix.size()] == ':' &&
         name.substr(prefix.size() + 1) == local;
}

int XmlParser::ChildCountOf(uint32_t element) const noexcept {
  if (element == 0) return 0;
  return doc_.ClosedChildCount(element);
}

uint32_t XmlParser::ChildAt(uint32_t element, int n) const noexcept {
  uint32_t limit = doc_.SubtreeEnd(element);
  for (uint32_t c = doc_.FirstChild(element); c != 0; c = doc_.NextSibling(c, limit)) {
    if (--n == 0) return c;
  }
  return 0;
}

std::string XmlParser::CanonicalPathOf(uint32_t element) const {
  uint32_t chain[kMaxDepth + 2];
  int n = 0;
  for (uint32_t e = element; e != 0 && n < kMaxDepth + 2; e = doc_.U32(e + xmlrec::kParent)) {
    chain[n++] = e;
  }
  std::string path;
  for (int i = n - 1; i >= 0; --i) {
    std::string qname = QualifiedName(chain[i]);
    path += '/';
    path += qname;
    if (i == n - 1) continue;
    uint32_t parent = chain[i + 1];
    uint32_t limit = doc_.SubtreeEnd(parent);
    int k = 0;
    for (uint32_t c = doc_.FirstChild(parent); c != 0; c = doc_.NextSibling(c, limit)) {
      if (NameMatches(c, qname)) ++k;
      if (c == chain[i]) break;
    }
    if (k > 1) AppendIndex(path, k);
  }
  return path;
}

// XPath ------------------------------------------------------------------------

int XmlParser::SetXPath(std::string_view path) {
  if (path.empty()) return 0;
  if (root_ == 0) return SetError(xeNoDocument, XmlErrorText(xeNoDocument));
  std::string_view rest = path;
  if (path[0] == '*') {
    size_t i = 1;
    long long n = 0;
    if (!ReadNumber(path, i, n)) return SetError(xeInvalidXPath, XmlErrorText(xeInvalidXPath));
    uint32_t target = static_cast<uint32_t>(n);
    if (target == 0) {
      cursor_ = root_;
    } else if (target < doc_.Size()) {
      // Only a true record boundary counts: walk the stream up to it.
      uint32_t pos = 0;
      while (pos < target) {
        uint32_t next = doc_.RecordEnd(pos);
        if (next <= pos) break;
        pos = next;
      }
      if (pos != target || doc_.U32(pos) != xmlrec::kElement) {
        return SetError(xeInvalidXPath, XmlErrorText(xeInvalidXPath));
      }
      cursor_ = target;
    }
    canonical_ = CanonicalPathOf(CursorElement());
    rest = path.substr(i);
  } else if (path[0] == '/') {
    rest = path.substr(1);
    if (int rc = StepAbsolute(rest); rc != 0) return rc;
  } else if (cursor_ == 0 || canonical_.empty()) {
    cursor_ = CursorElement();
    canonical_ = CanonicalPathOf(cursor_);
  }
  while (!rest.empty()) {
    if (int rc = StepRelative(rest); rc != 0) return rc;
  }
  return 0;
}

int XmlParser::StepAbsolute(std::string_view& rest) {
  cursor_ = root_;
  canonical_.assign(1, '/');
  if (rest.empty()) return 0;
  size_t slash = rest.find('/');
  std::string_view step = rest.substr(0, slash);
  if (step.substr(0, 16) == "[lastUnclosed()]") {
    cursor_ = depth_ > 0 && buildDom_ && open_[depth_].record != 0 ? open_[depth_].record : root_;
    canonical_ = CanonicalPathOf(cursor_);
    rest.remove_prefix(16);
    return 0;
  }
  if (!(step == "[1]" || step.substr(0, 8) == "[last()]")) {
    const uint32_t* cls = classes_.cls;
    size_t i = 0;
    if (step.empty() || !(cls[static_cast<uint8_t>(step[0])] & xml::kNameStart)) {
      return SetError(xeInvalidXPath, XmlErrorText(xeInvalidXPath));
    }
    while (i < step.size() && (cls[static_cast<uint8_t>(step[i])] & xml::kName)) ++i;
    std::string_view name = step.substr(0, i);
    if (i < step.size() && step.substr(i) != "[1]") {
      return SetError(xeInvalidXPath, XmlErrorText(xeInvalidXPath));
    }
    std::string_view local = doc_.LocalName(root_);
    std::string_view uri = doc_.NsUri(doc_.U32(root_ + xmlrec::kNamespaceRec));
    bool matches = name == local || name == QualifiedName(root_) ||
                   (!uri.empty() && name.size() == uri.size() + local.size() &&
                    name.substr(0, uri.size()) == uri && name.substr(uri.size()) == local);
    if (!matches) return SetError(xeTopElementMismatch, XmlErrorText(xeTopElementMismatch));
  }
  canonical_.assign(1, '/');
  canonical_.append(QualifiedName(root_));
  rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
  return 0;
}

int XmlParser::StepRelative(std::string_view& rest) {
  auto invalid = [this] { return SetError(xeInvalidXPath, XmlErrorText(xeInvalidXPath)); };
  while (!rest.empty() && rest[0] == '/') rest.remove_prefix(1);
  if (rest.empty()) return 0;
  uint32_t current = CursorElement();
  size_t i = 0;
  auto stepEnds = [&rest](size_t at) { return at == rest.size() || rest[at] == '/'; };

  if (rest[0] == '[') {
    i = 1;
    long long n = 0;
    int count = ChildCountOf(current);
    if (StartsWithLast(rest.substr(1))) {
      i += 6;
      long long k = 0;
      if (i < rest.size() && (rest[i] == '-' || rest[i] == '+')) {
        char sign = rest[i++];
        if (!ReadNumber(rest, i, k)) return invalid();
        if (sign == '+' && k > 0) return invalid();
      }
      n = count - k;
    } else if (!ReadNumber(rest, i, n)) {
      return invalid();
    }
    if (i >= rest.size() || rest[i] != ']' || !stepEnds(i + 1)) return invalid();
    if (n < 1 || n > count) return invalid();
    uint32_t child = ChildAt(current, static_cast<int>(n));
    if (child == 0) return invalid();
    cursor_ = child;
    if (canonical_ != "/") canonical_ += '/';
    AppendIndex(canonical_, n);
    rest.remove_prefix(i + 1);
    return 0;
  }

  if (rest.substr(0, 2) == "..") {
    if (!stepEnds(2)) return invalid();
    uint32_t parent = doc_.U32(current + xmlrec::kParent);
    if (parent == 0) return SetError(xeNoSuchChild, XmlErrorText(xeNoSuchChild));
    cursor_ = parent;
    size_t cut = canonical_.rfind('/');
    canonical_.erase(cut == std::string::npos || cut == 0 ? (cut == 0 ? 1 : 0) : cut);
    if (canonical_.empty()) canonical_ = CanonicalPathOf(parent);
    rest.remove_prefix(2);
    return 0;
  }

  const uint32_t* cls = classes_.cls;
  if (!(cls[static_cast<uint8_t>(rest[0])] & xml::kNameStart)) return invalid();
  while (i < rest.size() && (cls[static_cast<uint8_t>(rest[i])] & xml::kName)) ++i;
  std::string_view name = rest.substr(0, i);
  long long n = 1;
  bool predicate = false;
  bool withValue = false;
  std::string_view attrName, attrValue;
  if (i < rest.size() && rest[i] == '[') {
    ++i;
    if (i < rest.size() && rest[i] == '@') {
      predicate = true;
      size_t a = ++i;
      while (i < rest.size() && rest[i] != '=' && rest[i] != ']') ++i;
      attrName = rest.substr(a, i - a);
      if (attrName.empty()) return invalid();
      if (i < rest.size() && rest[i] == '=') {
        withValue = true;
        ++i;
        if (i < rest.size() && (rest[i] == '\'' || rest[i] == '"')) {
          char quote = rest[i++];
          size_t v = i;
          while (i < rest.size() && rest[i] != quote) ++i;
          if (i >= rest.size()) return invalid();
          attrValue = rest.substr(v, i - v);
          ++i;
        } else {
          size_t v = i;
          while (i < rest.size() && rest[i] != ']') ++i;
          attrValue = rest.substr(v, i - v);
        }
      }
    } else if (!ReadNumber(rest, i, n)) {
      return invalid();
    }
    if (i >= rest.size() || rest[i] != ']') return invalid();
    ++i;
  }
  if (!stepEnds(i)) return invalid();

  uint32_t limit = doc_.SubtreeEnd(current);
  uint32_t selected = 0;
  long long matches = 0;
  for (uint32_t c = doc_.FirstChild(current); c != 0 && selected == 0; c = doc_.NextSibling(c, limit)) {
    std::string_view local = doc_.LocalName(c);
    std::string_view uri = doc_.NsUri(doc_.U32(c + xmlrec::kNamespaceRec));
    if (!uri.empty() && name.size() == uri.size() + local.size() &&
        name.substr(0, uri.size()) == uri && name.substr(uri.size()) == local) {
      selected = c;
      break;
    }
    if (!NameMatches(c, name)) continue;
    if (!predicate) {
      if (++matches == n) selected = c;
      continue;
    }
    int attrs = doc_.AttrCountOf(c);
    uint32_t a = doc_.RecordEnd(c);
    for (int k = 0; k < attrs && doc_.IsRecord(a, xmlrec::kAttribute); ++k, a = doc_.RecordEnd(a)) {
      std::string_view aLocal = doc_.AttrLocal(a);
      std::string_view aPrefix = doc_.NsPrefix(doc_.U32(a + xmlrec::kAttrNamespace));
      bool nameOk = attrName == aLocal ||
                    (!aPrefix.empty() && attrName.size() == aPrefix.size() + 1 + aLocal.size() &&
                     attrName.substr(0, aPrefix.size()) == aPrefix &&
                     attrName.substr(aPrefix.size() + 1) == aLocal);
      if (nameOk && (!withValue || doc_.AttrValue(a) == attrValue)) {
        selected = c;
        break;
      }
    }
  }
  if (selected == 0) return SetError(xeNoSuchChild, XmlErrorText(xeNoSuchChild));
  cursor_ = selected;
  std::string qname = QualifiedName(selected);
  int k = 0;
  for (uint32_t c = doc_.FirstChild(current); c != 0; c = doc_.NextSibling(c, limit)) {
    if (NameMatches(c, qname)) ++k;
    if (c == selected) break;
  }
  if (canonical_ != "/") canonical_ += '/';
  canonical_ += qname;
  if (k > 1) AppendIndex(canonical_, k);
  rest.remove_prefix(i);
  return 0;
}

bool XmlParser::HasXPath(std::string_view path) {
  if (path.empty()) return false;
  uint32_t savedCursor = cursor_;
  std::string savedPath = canonical_;
  int rc = SetXPath(path);
  cursor_ = savedCursor;
  canonical_ = std::move(savedPath);
  return rc == 0;
}

// Element properties ---------------------------------------------------------

std::string XmlParser::XElement() const { return QualifiedName(CursorElement()); }

std::string XmlParser::XNamespace() const {
  uint32_t e = CursorElement();
  return e ? std::string(doc_.NsUri(doc_.U32(e + xmlrec::kNamespaceRec))) : std::string();
}

std::string XmlParser::XPrefix() const {
  uint32_t e = CursorElement();
  return e ? std::string(doc_.NsPrefix(doc_.U32(e + xmlrec::kNamespaceRec))) : std::string();
}

std::string XmlParser::XText() const {
  uint32_t e = CursorElement();
  return e ? std::string(doc_.TextOf(e)) : std::string();
}

std::string XmlParser::XParent() const {
  uint32_t e = CursorElement();
  uint32_t parent = e ? doc_.U32(e + xmlrec::kParent) : 0;
  return parent ? std::string(doc_.LocalName(parent)) : std::string();
}

std::string XmlParser::XSubTree() const {
  if (!keepOriginalText_) {
    RecordError(xeSubtreeUnavailable);
    return {};
  }
  uint32_t e = CursorElement();
  if (e == 0) return {};
  uint32_t from = doc_.U32(e + xmlrec::kStartLt);
  uint32_t to = doc_.U32(e + xmlrec::kEndPastGt);
  if (to <= from || to - dropped_ > static_cast<uint32_t>(input_.size())) return {};
  return std::string(input_.view().substr(from - dropped_, to - from));
}

std::string XmlParser::XContents() const {
  if (!keepOriginalText_) {
    RecordError(xeSubtreeUnavailable);
    return {};
  }
  uint32_t e = CursorElement();
  if (e == 0) return {};
  uint32_t from = doc_.StartPastGt(e);
  uint32_t to = doc_.EndLt(e);
  // An open element's end is 0, below any start.
  if (to <= from || to - dropped_ > static_cast<uint32_t>(input_.size())) return {};
  return std::string(input_.view().substr(from - dropped_, to - from));
}

// Children ---------------------------------------------------------------------

int XmlParser::XChildCount() const { return ChildCountOf(CursorElement()); }

int XmlParser::ChildIndex(int index, uint32_t& child) {
  child = 0;
  uint32_t e = CursorElement();
  if (e == 0) return 0;
  int count = ChildCountOf(e);
  if (count == 0) return SetError(xeNoElements, XmlErrorText(xeNoElements));
  if (index < 0 || index >= count) return SetError(xeInvalidElementIndex, XmlErrorText(xeInvalidElementIndex));
  child = ChildAt(e, index + 1);
  return 0;
}

int XmlParser::XChildName(int index, std::string& out) {
  uint32_t c = 0;
  int rc = ChildIndex(index, c);
  out = c ? QualifiedName(c) : std::string();
  return rc;
}

int XmlParser::XChildNamespace(int index, std::string& out) {
  uint32_t c = 0;
  int rc = ChildIndex(index, c);
  out = c ? std::string(doc_.NsUri(doc_.U32(c + xmlrec::kNamespaceRec))) : std::string();
  return rc;
}

int XmlParser::XChildPrefix(int index, std::string& out) {
  uint32_t c = 0;
  int rc = ChildIndex(index, c);
  out = c ? std::string(doc_.NsPrefix(doc_.U32(c + xmlrec::kNamespaceRec))) : std::string();
  return rc;
}

int XmlParser::XChildXText(int index, std::string& out) {
  uint32_t c = 0;
  int rc = ChildIndex(index, c);
  out = c ? std::string(doc_.TextOf(c)) : std::string();
  return rc;
}

// Attributes -------------------------------------------------------------------

int XmlParser::AttrCount() const {
  if (inStartElement_) return attrCount_;
  uint32_t e = CursorElement();
  return e ? doc_.AttrCountOf(e) : 0;
}

uint32_t XmlParser::AttributeRecord(uint32_t element, int index) const noexcept {
  uint32_t a = doc_.RecordEnd(element);
  for (int k = 0; k < index && doc_.IsRecord(a, xmlrec::kAttribute); ++k) a = doc_.RecordEnd(a);
  return doc_.IsRecord(a, xmlrec::kAttribute) ? a : 0;
}

int XmlParser::AttributeIndex(int index) {
  int count = AttrCount();
  if (!inStartElement_ && root_ == 0) return 0;
  if (count == 0) return SetError(xeNoAttributes, XmlErrorText(xeNoAttributes));
  if (index < 0 || index >= count) return SetError(xeInvalidAttributeIndex, XmlErrorText(xeInvalidAttributeIndex));
  return 0;
}

namespace {

std::string_view LocalPart(std::string_view qname) {
  size_t colon = qname.find(':');
  return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
}

std::string_view PrefixPart(std::string_view qname) {
  size_t colon = qname.find(':');
  return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
}

}  // namespace

int XmlParser::AttrName(int index, std::string& out) {
  out.clear();
  if (int rc = AttributeIndex(index); rc != 0 || (!inStartElement_ && root_ == 0)) return rc;
  if (inStartElement_) {
    out = LocalPart(AttributeName(attrs_[index]));
    return 0;
  }
  uint32_t a = AttributeRecord(CursorElement(), index);
  if (a) out = doc_.AttrLocal(a);
  return 0;
}

int XmlParser::AttrValue(int index, std::string& out) {
  if (inStartElement_ && index >= 0 && index < attrCount_) {
    // A listener reading each attribute of each start tag.
    std::string_view v = AttributeValue(attrs_[index]);
    out.assign(v.data(), v.size());
    return 0;
  }
  // An index in range was answered above while in a start tag.
  out.clear();
  if (int rc = AttributeIndex(index); rc != 0 || (!inStartElement_ && root_ == 0)) return rc;
  uint32_t a = AttributeRecord(CursorElement(), index);
  if (a) out = doc_.AttrValue(a);
  return 0;
}

int XmlParser::AttrPrefix(int index, std::string& out) {
  out.clear();
  if (int rc = AttributeIndex(index); rc != 0 || (!inStartElement_ && root_ == 0)) return rc;
  if (inStartElement_) {
    out = PrefixPart(AttributeName(attrs_[index]));
    return 0;
  }
  uint32_t a = AttributeRecord(CursorElement(), index);
  if (a) out = doc_.NsPrefix(doc_.U32(a + xmlrec::kAttrNamespace));
  return 0;
}

int XmlParser::AttrNamespace(int index, std::string& out) {
  out.clear();
  if (int rc = AttributeIndex(index); rc != 0 || (!inStartElement_ && root_ == 0)) return rc;
  if (inStartElement_) {
    std::string_view prefix = PrefixPart(AttributeName(attrs_[index]));
    if (prefix.empty()) return 0;
    if (prefix == "xml") {
      out = "http://www.w3.org/XML/1998/namespace";
      return 0;
    }
    for (int i = declCount_ - 1; i >= 0; --i) {
      if (decls_[i].prefix.view() == prefix) {
        out = decls_[i].uri.view();
        break;
      }
    }
    return 0;
  }
  uint32_t a = AttributeRecord(CursorElement(), index);
  if (a) out = doc_.NsUri(doc_.U32(a + xmlrec::kAttrNamespace));
  return 0;
}

int XmlParser::Attr(std::string_view name, std::string& out) {
  out.clear();
  int count = AttrCount();
  for (int i = 0; i < count; ++i) {
    std::string_view qname, value;
    std::string built;
    if (inStartElement_) {
      qname = AttributeName(attrs_[i]);
      value = AttributeValue(attrs_[i]);
      if (EqualsNoCase(qname, name) || EqualsNoCase(LocalPart(qname), name)) {
        out = value;
        return 0;
      }
      continue;
    }
    uint32_t a = AttributeRecord(CursorElement(), i);
    if (a == 0) break;
    std::string_view local = doc_.AttrLocal(a);
    std::string_view prefix = doc_.NsPrefix(doc_.U32(a + xmlrec::kAttrNamespace));
    if (!prefix.empty()) built = std::string(prefix) + ":" + std::string(local);
    if (EqualsNoCase(local, name) || (!built.empty() && EqualsNoCase(built, name))) {
      out = doc_.AttrValue(a);
      return 0;
    }
  }
  if (errorOnEmptyAttr_ && (inStartElement_ || root_ != 0)) {
    return SetError(xeAttributeMissing, XmlErrorText(xeAttributeMissing));
  }
  return 0;
}

// Namespaces -------------------------------------------------------------------

int XmlParser::NamespaceCount() const {
  if (inStartElement_) return declCount_;
  uint32_t e = CursorElement();
  return e ? doc_.NsInScopeOf(e) : 0;
}

uint32_t XmlParser::NamespaceRecordAt(uint32_t element, int index) const noexcept {
  // The declarations in scope are the ancestors' own records, outermost first.
  uint32_t chain[kMaxDepth + 2];
  int n = 0;
  for (uint32_t e = element; e != 0 && n < kMaxDepth + 2; e = doc_.U32(e + xmlrec::kParent)) {
    chain[n++] = e;
  }
  for (int i = n - 1; i >= 0; --i) {
    uint32_t e = chain[i];
    for (uint32_t r = doc_.OwnNsStart(e); r < e; r = doc_.RecordEnd(r)) {
      if (doc_.U32(r) != xmlrec::kNamespace) continue;
      if (index-- == 0) return r;
    }
  }
  return 0;
}

int XmlParser::NamespaceIndex(int index) {
  int count = NamespaceCount();
  if (!inStartElement_ && root_ == 0) return 0;
  if (count == 0) return SetError(xeNoNamespaces, XmlErrorText(xeNoNamespaces));
  if (index < 0 || index >= count) return SetError(xeInvalidNamespaceIndex, XmlErrorText(xeInvalidNamespaceIndex));
  return 0;
}

int XmlParser::NamespacePrefix(int index, std::string& out) {
  out.clear();
  if (int rc = NamespaceIndex(index); rc != 0 || (!inStartElement_ && root_ == 0)) return rc;
  if (inStartElement_) {
    out = decls_[index].prefix.view();
    return 0;
  }
  uint32_t r = NamespaceRecordAt(CursorElement(), index);
  if (r) out = doc_.NsPrefix(r);
  return 0;
}

int XmlParser::NamespaceURI(int index, std::string& out) {
  out.clear();
  if (int rc = NamespaceIndex(index); rc != 0 || (!inStartElement_ && root_ == 0)) return rc;
  if (inStartElement_) {
    out = decls_[index].uri.view();
    return 0;
  }
  uint32_t r = NamespaceRecordAt(CursorElement(), index);
  if (r) out = doc_.NsUri(r);
  return 0;
}

}  // namespace corvane
