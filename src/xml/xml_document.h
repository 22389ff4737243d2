#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/error_codes.h"
#include "xml/xml_buffer.h"

namespace corvane {

// The document model: one append-only stream of variable-length records in
// document order. Every record starts with a 32-bit tag and a 32-bit length
// (padding to a multiple of 4 included); integers are 32-bit in host order.
// Names, values and text are string references (offset, length): into the
// parser's kept input while the document binds it, otherwise (and for text
// that is not one run of the input: decoded references, CDATA, mixed pieces)
// into bytes the record carries. Namespace records carry their two strings
// NUL-terminated. Position 0 holds an empty namespace record, so a stored
// position of 0 means "none".
namespace xmlrec {
inline constexpr uint32_t kElement = 'E';
inline constexpr uint32_t kAttribute = 'A';
inline constexpr uint32_t kNamespace = 'P';
inline constexpr uint32_t kText = 'T';

// Offsets common to every record.
inline constexpr uint32_t kTag = 0;
inline constexpr uint32_t kLength = 4;

// A string reference: offset, then length; the length's top bit says the
// offset is a stream position rather than an input position.
inline constexpr uint32_t kRefSize = 8;
inline constexpr uint32_t kInStream = 0x80000000u;

// Element record (XmlNode). What the kept input already says is not
// repeated: the child count is counted, the inner tag bounds are short
// distances from the outer ones.
inline constexpr uint32_t kEnd = 8;            // just past the subtree = next sibling
inline constexpr uint32_t kEndPastGt = 12;     // just past the end tag (0 while open)
// Low half: start tag length ('<' to just past '>'); high half: end tag
// length. kLongSpan in either: the tag is longer (the start's end is then
// in the extension, the end's '<' is found in the input).
inline constexpr uint32_t kSpans = 16;
inline constexpr uint32_t kLongSpan = 0xFFFF;
inline constexpr uint32_t kParent = 20;
inline constexpr uint32_t kNamespaceRec = 24;  // the element's own namespace
// Declarations in scope at the start (bits 0-15) and attributes (16-30):
// both are at most 256. kExtended: the extension follows the fixed words.
inline constexpr uint32_t kCounts = 28;
inline constexpr uint32_t kExtended = 0x80000000u;
inline constexpr uint32_t kStartLt = 32;       // input position of '<' of the start tag
// The local name: length << 8 | its offset in the start tag's name while it
// is read from the input; kInStream | length when the record carries it.
inline constexpr uint32_t kLocalName = 36;
inline constexpr uint32_t kTextRef = 40;       // reference; empty while there is no text
inline constexpr uint32_t kElementFixed = 48;
// The extension, for the few elements that declare namespaces or have a
// start tag of kLongSpan bytes or more: the first of the element's own
// namespace records (otherwise there are none: the element's own position),
// and the input position just past the start tag.
inline constexpr uint32_t kOwnNsStart = 48;
inline constexpr uint32_t kStartPastGt = 52;
inline constexpr uint32_t kElementExtended = 56;  // then a carried local name

// Attribute record: tag, length, namespace record, value reference, local
// name reference, then any copied bytes. The short record, for a local name
// and value that both lie in the input less than kAttrNear bytes apart, has
// one word for the name instead: their distance << 16 | the name's length.
inline constexpr uint32_t kAttrNamespace = 8;
inline constexpr uint32_t kAttrValue = 12;
inline constexpr uint32_t kAttrLocal = 20;
inline constexpr uint32_t kAttrShort = 24;
inline constexpr uint32_t kAttrFixed = 28;
inline constexpr uint32_t kAttrNear = 0x10000;
// Namespace record: tag, length, 0, prefix, URI.
inline constexpr uint32_t kNsFixed = 12;
// Text record: tag, length, text.
inline constexpr uint32_t kTextFixed = 8;
}  // namespace xmlrec

class XmlDocument {
 public:
  // Empties the stream (keeping its block up to XmlBuffer::kKeepBytes) and
  // writes the leading empty namespace record.
  int Reset() noexcept;
  void Release() noexcept { stream_.Release(); }
  // Room for a stream of bytes, so that it is not remapped while it fills.
  int Reserve(uint64_t bytes) noexcept { return stream_.Reserve(bytes); }

  // While bound, strings that lie inside input are stored as references to
  // it instead of copies; the owner keeps input unmoved in content (it may
  // grow) for as long as the records are read.
  // base is the input position of input's first byte (what was dropped
  // before it); it may not change while bound.
  void BindInput(const XmlBuffer* input, uint32_t base) noexcept {
    input_ = input;
    inputBase_ = base;
  }
  bool InputBound() const noexcept { return input_ != nullptr; }
  // True when s lies inside the bound input.
  bool InInput(std::string_view s) const noexcept {
    if (input_ == nullptr || s.empty()) return false;
    const char* b = input_->data();
    return s.data() >= b && s.size() <= static_cast<size_t>(input_->size()) &&
           s.data() - b <= static_cast<ptrdiff_t>(input_->size() - s.size());
  }

  uint32_t Size() const noexcept { return static_cast<uint32_t>(stream_.size()); }
  const XmlBuffer& Stream() const noexcept { return stream_; }

  // Each returns 0 or 200 and the position of the new record.
  int AppendNamespace(std::string_view prefix, std::string_view uri, uint32_t& pos) noexcept;
  // The start of an element: every field but the ones its end sets.
  struct ElementStart {
    uint32_t parent, nsRecord, ownNsStart, nsInScope, attrCount, startLt, startPastGt;
  };
  // qname is the start tag's name, its local part from localStart on; the
  // local name is copied into the record.
  int AppendElement(const ElementStart& e, std::string_view qname, uint32_t localStart,
                    uint32_t& pos) noexcept;
  // The same for a start tag in the bound input whose local name is
  // localLength bytes from localStart of the name (below 256 and 2^23).
  int AppendInputElement(const ElementStart& e, uint32_t localStart, uint32_t localLength,
                         uint32_t& pos) noexcept {
    pos = Size();
    bool extended = Extended(e, pos);
    uint32_t n = extended ? xmlrec::kElementExtended : xmlrec::kElementFixed;
    if (n > 0x7FFFFFF0u - pos) return kErrOutOfMemory;
    if (int rc = stream_.Extend(n); rc != 0) return rc;
    PutElementHead(pos, e, n, localLength << 8 | localStart, extended);
    return 0;
  }
  // An attribute whose name or value is not one run of the bound input
  // (a decoded value, a dropped input): what is not in the input is copied.
  int AppendAttribute(uint32_t nsRecord, std::string_view localName, std::string_view value) noexcept;
  // An attribute whose local name and value are both [offset, offset +
  // length) runs of the bound input: a fixed-size record, nothing copied,
  // and the short one when the value follows the name closely.
  int AppendInputAttribute(uint32_t nsRecord, uint32_t localAt, uint32_t localLen, uint32_t valueAt,
                           uint32_t valueLen) noexcept {
    uint32_t pos = Size();
    if (valueAt >= localAt && valueAt - localAt < xmlrec::kAttrNear) {
      if (xmlrec::kAttrShort > 0x7FFFFFF0u - pos) return kErrOutOfMemory;
      if (int rc = stream_.Extend(xmlrec::kAttrShort); rc != 0) return rc;
      uint32_t w[xmlrec::kAttrShort / 4] = {
          xmlrec::kAttribute, xmlrec::kAttrShort,
          nsRecord,           valueAt,
          valueLen,           (valueAt - localAt) << 16 | localLen};
      std::memcpy(stream_.data() + pos, w, sizeof w);
      return 0;
    }
    if (xmlrec::kAttrFixed > 0x7FFFFFF0u - pos) return kErrOutOfMemory;
    if (int rc = stream_.Extend(xmlrec::kAttrFixed); rc != 0) return rc;
    uint32_t w[xmlrec::kAttrFixed / 4] = {
        xmlrec::kAttribute, xmlrec::kAttrFixed, nsRecord, valueAt, valueLen, localAt, localLen};
    std::memcpy(stream_.data() + pos, w, sizeof w);
    return 0;
  }
  // A text record holding text; ref is set to refer to it.
  int AppendText(std::string_view text, uint32_t refPos) noexcept;
  // Completes the element record at element when its end tag is read: the
  // subtree ends here, and the end tag's input positions. A text run of the
  // input (textLength not 0) becomes the element's text.
  void CloseElement(uint32_t element, uint32_t endPastGt, uint32_t endLt, uint32_t textAt = 0,
                    uint32_t textLength = 0) noexcept {
    uint32_t size = Size();
    if (element > size || size - element < xmlrec::kElementFixed) return;
    char* d = stream_.data() + element;
    uint32_t w[3];
    std::memcpy(w, d + xmlrec::kEnd, sizeof w);
    static_assert(xmlrec::kEndPastGt == xmlrec::kEnd + 4 && xmlrec::kSpans == xmlrec::kEnd + 8,
                  "one store covers the words an end sets");
    uint32_t span = endPastGt - endLt < xmlrec::kLongSpan ? endPastGt - endLt : xmlrec::kLongSpan;
    w[0] = size;
    w[1] = endPastGt;
    w[2] = (w[2] & 0xFFFF) | span << 16;
    std::memcpy(d + xmlrec::kEnd, w, sizeof w);
    if (textLength != 0) {
      uint32_t ref[2] = {textAt, textLength};
      std::memcpy(d + xmlrec::kTextRef, ref, sizeof ref);
    }
  }

  // Bounds-checked reads: outside the stream they give 0 / empty.
  uint32_t U32(uint32_t pos) const noexcept {
    if (pos > Size() || Size() - pos < 4) return 0;
    uint32_t v;
    std::memcpy(&v, stream_.data() + pos, 4);
    return v;
  }
  void SetU32(uint32_t pos, uint32_t value) noexcept {
    if (pos > Size() || Size() - pos < 4) return;
    std::memcpy(stream_.data() + pos, &value, 4);
  }
  // The NUL-terminated string at pos, cut at the end of the stream.
  std::string_view String(uint32_t pos) const noexcept;
  // The string that follows the one at pos.
  std::string_view NextString(uint32_t pos) const noexcept { return String(pos + static_cast<uint32_t>(String(pos).size()) + 1); }
  // The string the reference at pos refers to; empty when it points outside
  // its buffer.
  std::string_view Ref(uint32_t pos) const noexcept { return RefTo(U32(pos), U32(pos + 4)); }
  // The same for a reference's two words.
  std::string_view RefTo(uint32_t offset, uint32_t length) const noexcept;

  bool IsRecord(uint32_t pos, uint32_t tag) const noexcept {
    return pos != 0 && pos < Size() && U32(pos) == tag;
  }
  uint32_t RecordEnd(uint32_t pos) const noexcept {
    uint32_t len = U32(pos + xmlrec::kLength);
    if (len < 8 || len > Size() - pos) return Size();
    return pos + len;
  }

  // Element accessors.
  std::string_view LocalName(uint32_t element) const noexcept;
  int AttrCountOf(uint32_t element) const noexcept {
    return static_cast<int>((U32(element + xmlrec::kCounts) & ~xmlrec::kExtended) >> 16);
  }
  int NsInScopeOf(uint32_t element) const noexcept { return static_cast<int>(U32(element + xmlrec::kCounts) & 0xFFFF); }
  std::string_view NsPrefix(uint32_t nsRecord) const noexcept {
    return nsRecord ? String(nsRecord + xmlrec::kNsFixed) : std::string_view();
  }
  std::string_view NsUri(uint32_t nsRecord) const noexcept {
    return nsRecord ? NextString(nsRecord + xmlrec::kNsFixed) : std::string_view();
  }
  // Input positions of the tag bounds; 0 where unknown (no bound input for
  // a long end tag, or still open).
  uint32_t StartPastGt(uint32_t element) const noexcept;
  uint32_t EndLt(uint32_t element) const noexcept;
  // The first of the element's own namespace records (the element itself
  // when it declares none).
  uint32_t OwnNsStart(uint32_t element) const noexcept {
    return Extended(element) ? U32(element + xmlrec::kOwnNsStart) : element;
  }
  // Child elements whose end has been read.
  int ClosedChildCount(uint32_t element) const noexcept;
  std::string_view TextOf(uint32_t element) const noexcept { return Ref(element + xmlrec::kTextRef); }
  // Attribute accessors.
  std::string_view AttrLocal(uint32_t attribute) const noexcept;
  std::string_view AttrValue(uint32_t attribute) const noexcept { return Ref(attribute + xmlrec::kAttrValue); }
  // The end of an element's subtree; the stream end while it is still open.
  uint32_t SubtreeEnd(uint32_t element) const noexcept {
    uint32_t e = U32(element + xmlrec::kEnd);
    return e == 0 || e > Size() ? Size() : e;
  }
  // The first child element record after pos, before limit; 0 if none.
  uint32_t NextElement(uint32_t pos, uint32_t limit) const noexcept;
  uint32_t FirstChild(uint32_t element) const noexcept {
    return NextElement(RecordEnd(element), SubtreeEnd(element));
  }
  uint32_t NextSibling(uint32_t child, uint32_t parentLimit) const noexcept {
    uint32_t e = U32(child + xmlrec::kEnd);
    if (e <= child) return 0;  // still open: it is the last one so far
    return NextElement(e, parentLimit);
  }

 private:
  bool Extended(uint32_t element) const noexcept { return (U32(element + xmlrec::kCounts) & xmlrec::kExtended) != 0; }
  static bool Extended(const ElementStart& e, uint32_t pos) noexcept {
    return e.ownNsStart != pos || e.startPastGt - e.startLt >= xmlrec::kLongSpan;
  }
  // The fixed words of an element record at pos (and the extension when the
  // element needs one): its length and how its local name is found (see
  // kLocalName); the fields its end sets are 0.
  void PutElementHead(uint32_t pos, const ElementStart& e, uint32_t length, uint32_t nameWord,
                      bool extended) noexcept {
    static_assert(xmlrec::kElementFixed == 48 && xmlrec::kTextRef == 40, "every fixed word is stored below");
    uint32_t span = e.startPastGt - e.startLt;
    char* d = stream_.data() + pos;
    // Stored word by word: a staged copy costs more than the record.
    auto put = [d](uint32_t at, uint32_t v) { std::memcpy(d + at, &v, 4); };
    put(xmlrec::kTag, xmlrec::kElement);
    put(xmlrec::kLength, length);
    put(xmlrec::kEnd, 0);
    put(xmlrec::kEndPastGt, 0);
    put(xmlrec::kSpans, span < xmlrec::kLongSpan ? span : xmlrec::kLongSpan);
    put(xmlrec::kParent, e.parent);
    put(xmlrec::kNamespaceRec, e.nsRecord);
    put(xmlrec::kCounts, e.nsInScope | e.attrCount << 16 | (extended ? xmlrec::kExtended : 0));
    put(xmlrec::kStartLt, e.startLt);
    put(xmlrec::kLocalName, nameWord);
    put(xmlrec::kTextRef, 0);
    put(xmlrec::kTextRef + 4, 0);
    if (extended) {
      put(xmlrec::kOwnNsStart, e.ownNsStart);
      put(xmlrec::kStartPastGt, e.startPastGt);
    }
  }

  // Appends a record of n bytes and its padding at pos: its length word and
  // last word are set, the rest is the caller's to fill.
  int Grow(uint64_t n, uint32_t& pos) noexcept;
  // The reference to s, which lies in the input or is copied to at.
  void PutRef(std::string_view s, bool inInput, uint32_t& at, uint32_t* ref) noexcept;

  XmlBuffer stream_;
  const XmlBuffer* input_ = nullptr;
  uint32_t inputBase_ = 0;
};

}  // namespace corvane
