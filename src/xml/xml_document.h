#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/error_codes.h"
#include "xml/xml_buffer.h"

namespace corvane {

// The document model: one append-only stream of variable-length records in
// document order. Every record starts with a 32-bit tag and a 32-bit length
// (padding to a multiple of 4 included); integers are 32-bit in host order;
// strings are NUL-terminated. Position 0 holds an empty namespace record, so a
// stored position of 0 means "none".
namespace xmlrec {
inline constexpr uint32_t kElement = 'E';
inline constexpr uint32_t kAttribute = 'A';
inline constexpr uint32_t kNamespace = 'P';
inline constexpr uint32_t kText = 'T';

// Offsets common to every record.
inline constexpr uint32_t kTag = 0;
inline constexpr uint32_t kLength = 4;

// Element record (XmlNode).
inline constexpr uint32_t kEnd = 8;            // just past the subtree = next sibling
inline constexpr uint32_t kChildCount = 12;    // signed; -1 for an empty tag
inline constexpr uint32_t kParent = 16;
inline constexpr uint32_t kNamespaceRec = 20;  // the element's own namespace
inline constexpr uint32_t kNsInScope = 24;     // declarations in scope at the start
inline constexpr uint32_t kOwnNsStart = 28;    // first of its own namespace records
inline constexpr uint32_t kAttrCount = 32;
inline constexpr uint32_t kTextRec = 36;
inline constexpr uint32_t kStartLt = 40;       // input position of '<' of the start tag
inline constexpr uint32_t kEndPastGt = 44;     // just past the end tag (0 while open)
inline constexpr uint32_t kStartPastGt = 48;   // just past the start tag
inline constexpr uint32_t kEndLt = 52;         // '<' of the end tag
inline constexpr uint32_t kElementFixed = 56;  // then the local name

// Attribute record: tag, length, namespace record, local name, value.
inline constexpr uint32_t kAttrNamespace = 8;
inline constexpr uint32_t kAttrFixed = 12;
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

  uint32_t Size() const noexcept { return static_cast<uint32_t>(stream_.size()); }
  const XmlBuffer& Stream() const noexcept { return stream_; }

  // Each returns 0 or 200 and the position of the new record.
  int AppendNamespace(std::string_view prefix, std::string_view uri, uint32_t& pos) noexcept;
  int AppendElement(std::string_view localName, uint32_t& pos) noexcept;
  int AppendAttribute(uint32_t nsRecord, std::string_view localName, std::string_view value) noexcept;
  int AppendText(std::string_view text, uint32_t& pos) noexcept;

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

  bool IsRecord(uint32_t pos, uint32_t tag) const noexcept {
    return pos != 0 && pos < Size() && U32(pos) == tag;
  }
  uint32_t RecordEnd(uint32_t pos) const noexcept {
    uint32_t len = U32(pos + xmlrec::kLength);
    if (len < 8 || len > Size() - pos) return Size();
    return pos + len;
  }

  // Element accessors.
  std::string_view LocalName(uint32_t element) const noexcept { return String(element + xmlrec::kElementFixed); }
  std::string_view NsPrefix(uint32_t nsRecord) const noexcept {
    return nsRecord ? String(nsRecord + xmlrec::kNsFixed) : std::string_view();
  }
  std::string_view NsUri(uint32_t nsRecord) const noexcept {
    return nsRecord ? NextString(nsRecord + xmlrec::kNsFixed) : std::string_view();
  }
  std::string_view TextOf(uint32_t element) const noexcept {
    uint32_t t = U32(element + xmlrec::kTextRec);
    return t ? String(t + xmlrec::kTextFixed) : std::string_view();
  }
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
  int Grow(uint32_t length, uint32_t& pos) noexcept;

  XmlBuffer stream_;
};

}  // namespace corvane
