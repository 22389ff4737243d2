#include "xml/xml_document.h"

namespace corvane {

namespace {

constexpr uint32_t Padded(uint64_t n) { return static_cast<uint32_t>((n + 3) & ~uint64_t{3}); }

// memcpy of an empty view may not pass its null data pointer.
void Put(char* to, std::string_view s) noexcept {
  if (!s.empty()) std::memcpy(to, s.data(), s.size());
}

}  // namespace

int XmlDocument::Reset() noexcept {
  stream_.Recycle(XmlBuffer::kKeepBytes);
  uint32_t pos = 0;
  return AppendNamespace({}, {}, pos);
}

int XmlDocument::Grow(uint64_t n, uint32_t& pos) noexcept {
  pos = Size();
  if (n > 0x7FFFFFF0u - 3) return kErrOutOfMemory;
  uint32_t length = Padded(n);
  if (length > 0x7FFFFFF0u - pos) return kErrOutOfMemory;
  // Each writer fills its record; zeroing the last word first gives the
  // closing NUL and the padding without writing every byte twice.
  if (int rc = stream_.Extend(length); rc != 0) return rc;
  char* d = stream_.data() + pos;
  std::memset(d + length - 4, 0, 4);
  std::memcpy(d + xmlrec::kLength, &length, 4);
  return 0;
}

int XmlDocument::AppendNamespace(std::string_view prefix, std::string_view uri,
                                 uint32_t& pos) noexcept {
  uint64_t n = uint64_t{xmlrec::kNsFixed} + prefix.size() + uri.size() + 2;
  if (int rc = Grow(n, pos); rc != 0) return rc;
  char* d = stream_.data() + pos;
  SetU32(pos, xmlrec::kNamespace);
  SetU32(pos + 8, 0);
  Put(d + xmlrec::kNsFixed, prefix);
  d[xmlrec::kNsFixed + prefix.size()] = '\0';
  Put(d + xmlrec::kNsFixed + prefix.size() + 1, uri);
  return 0;
}

void XmlDocument::PutRef(std::string_view s, bool inInput, uint32_t& at, uint32_t* ref) noexcept {
  if (inInput) {
    ref[0] = static_cast<uint32_t>(s.data() - input_->data());
    ref[1] = static_cast<uint32_t>(s.size());
    return;
  }
  Put(stream_.data() + at, s);
  ref[0] = at;
  ref[1] = static_cast<uint32_t>(s.size()) | xmlrec::kInStream;
  at += static_cast<uint32_t>(s.size());
}

int XmlDocument::AppendElement(const ElementStart& e, std::string_view qname, uint32_t localStart,
                               uint32_t& pos) noexcept {
  std::string_view local = qname.substr(localStart);
  if (local.size() > 0x7FFFFFF0u - xmlrec::kElementFixed) return kErrOutOfMemory;
  pos = Size();
  bool extended = Extended(e, pos);
  uint32_t fixed = extended ? xmlrec::kElementExtended : xmlrec::kElementFixed;
  uint32_t n = Padded(uint64_t{fixed} + local.size());
  if (n > 0x7FFFFFF0u - pos) return kErrOutOfMemory;
  if (int rc = stream_.Extend(n); rc != 0) return rc;
  char* d = stream_.data() + pos;
  // The padding goes first: with an empty local name the last word is the
  // head's own.
  std::memset(d + n - 4, 0, 4);
  PutElementHead(pos, e, n, static_cast<uint32_t>(local.size()) | xmlrec::kInStream, extended);
  Put(d + fixed, local);
  return 0;
}

std::string_view XmlDocument::LocalName(uint32_t element) const noexcept {
  uint32_t w = U32(element + xmlrec::kLocalName);
  if (w & xmlrec::kInStream) {
    uint32_t at = element + (Extended(element) ? xmlrec::kElementExtended : xmlrec::kElementFixed);
    uint32_t length = w & ~xmlrec::kInStream;
    if (at > Size() || Size() - at < length) return {};
    return {stream_.data() + at, length};
  }
  if (input_ == nullptr) return {};
  uint64_t at = uint64_t{U32(element + xmlrec::kStartLt)} + 1 + (w & 0xFF);
  uint32_t length = w >> 8;
  if (at < inputBase_ || at - inputBase_ + length > static_cast<uint64_t>(input_->size())) return {};
  return {input_->data() + (at - inputBase_), length};
}

uint32_t XmlDocument::StartPastGt(uint32_t element) const noexcept {
  if (Extended(element)) return U32(element + xmlrec::kStartPastGt);
  return U32(element + xmlrec::kStartLt) + (U32(element + xmlrec::kSpans) & 0xFFFF);
}

uint32_t XmlDocument::EndLt(uint32_t element) const noexcept {
  uint32_t pastGt = U32(element + xmlrec::kEndPastGt);
  if (pastGt == 0) return 0;
  uint32_t span = U32(element + xmlrec::kSpans) >> 16;
  if (span != xmlrec::kLongSpan) return pastGt - span;
  // A long end tag ("</name" and its blanks): its only '<' starts it.
  if (input_ == nullptr || pastGt <= inputBase_ || pastGt - inputBase_ > static_cast<uint32_t>(input_->size())) return 0;
  const char* b = input_->data();
  for (uint32_t at = pastGt - inputBase_; at-- > 0;) {
    if (b[at] == '<') return at + inputBase_;
  }
  return 0;
}

int XmlDocument::ClosedChildCount(uint32_t element) const noexcept {
  int n = 0;
  uint32_t limit = SubtreeEnd(element);
  for (uint32_t c = FirstChild(element); c != 0; c = NextSibling(c, limit)) {
    if (U32(c + xmlrec::kEnd) != 0) ++n;
  }
  return n;
}

int XmlDocument::AppendAttribute(uint32_t nsRecord, std::string_view localName,
                                 std::string_view value) noexcept {
  bool nameIn = InInput(localName), valueIn = InInput(value);
  uint64_t n =
      uint64_t{xmlrec::kAttrFixed} + (nameIn ? 0 : localName.size()) + (valueIn ? 0 : value.size());
  uint32_t pos = 0;
  if (int rc = Grow(n, pos); rc != 0) return rc;
  // The fixed words are stored at once, after the copies they refer to.
  uint32_t w[xmlrec::kAttrFixed / 4] = {xmlrec::kAttribute, Padded(n), nsRecord};
  uint32_t at = pos + xmlrec::kAttrFixed;
  PutRef(localName, nameIn, at, w + xmlrec::kAttrLocal / 4);
  PutRef(value, valueIn, at, w + xmlrec::kAttrValue / 4);
  std::memcpy(stream_.data() + pos, w, sizeof w);
  return 0;
}

int XmlDocument::AppendText(std::string_view text, uint32_t refPos) noexcept {
  uint32_t pos = 0;
  if (int rc = Grow(uint64_t{xmlrec::kTextFixed} + text.size(), pos); rc != 0) return rc;
  char* d = stream_.data();
  std::memcpy(d + pos, &xmlrec::kText, 4);
  Put(d + pos + xmlrec::kTextFixed, text);
  // Stored directly: the parser's element record always precedes its text.
  if (pos >= xmlrec::kRefSize && refPos <= pos - xmlrec::kRefSize) {
    uint32_t ref[2] = {pos + xmlrec::kTextFixed,
                       static_cast<uint32_t>(text.size()) | xmlrec::kInStream};
    std::memcpy(d + refPos, ref, sizeof ref);
  }
  return 0;
}

std::string_view XmlDocument::RefTo(uint32_t offset, uint32_t length) const noexcept {
  bool inStream = (length & xmlrec::kInStream) != 0;
  length &= ~xmlrec::kInStream;
  if (length == 0) return {};
  const char* base = inStream ? stream_.data() : input_ ? input_->data() : nullptr;
  uint32_t size = inStream ? Size() : input_ ? static_cast<uint32_t>(input_->size()) : 0;
  if (base == nullptr || offset > size || size - offset < length) return {};
  return {base + offset, length};
}

std::string_view XmlDocument::AttrLocal(uint32_t attribute) const noexcept {
  if (U32(attribute + xmlrec::kLength) != xmlrec::kAttrShort)
    return Ref(attribute + xmlrec::kAttrLocal);
  uint32_t w = U32(attribute + xmlrec::kAttrLocal);
  uint32_t valueAt = U32(attribute + xmlrec::kAttrValue);
  if ((w >> 16) > valueAt) return {};
  return RefTo(valueAt - (w >> 16), w & 0xFFFF);
}

std::string_view XmlDocument::String(uint32_t pos) const noexcept {
  if (pos >= Size()) return {};
  const char* s = stream_.data() + pos;
  size_t max = Size() - pos;
  const void* nul = std::memchr(s, 0, max);
  return {s, nul ? static_cast<size_t>(static_cast<const char*>(nul) - s) : max};
}

uint32_t XmlDocument::NextElement(uint32_t pos, uint32_t limit) const noexcept {
  if (limit > Size()) limit = Size();
  while (pos < limit) {
    uint32_t tag = U32(pos);
    if (tag == xmlrec::kElement) return pos;
    uint32_t next = RecordEnd(pos);
    if (next <= pos) return 0;
    pos = next;
  }
  return 0;
}

}  // namespace corvane
