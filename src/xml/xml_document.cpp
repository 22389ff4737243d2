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

int XmlDocument::Grow(uint32_t length, uint32_t& pos) noexcept {
  pos = Size();
  if (length > 0x7FFFFFF0u - pos) return kErrOutOfMemory;
  // Each writer fills its record; zeroing the last word first gives the
  // closing NUL and the padding without writing every byte twice.
  if (int rc = stream_.Extend(length); rc != 0) return rc;
  SetU32(pos + length - 4, 0);
  SetU32(pos + xmlrec::kLength, length);
  return 0;
}

int XmlDocument::AppendNamespace(std::string_view prefix, std::string_view uri,
                                 uint32_t& pos) noexcept {
  uint64_t n = uint64_t{xmlrec::kNsFixed} + prefix.size() + uri.size() + 2;
  if (n > 0x7FFFFFF0u) return kErrOutOfMemory;
  if (int rc = Grow(Padded(n), pos); rc != 0) return rc;
  char* d = stream_.data() + pos;
  SetU32(pos, xmlrec::kNamespace);
  SetU32(pos + 8, 0);
  Put(d + xmlrec::kNsFixed, prefix);
  d[xmlrec::kNsFixed + prefix.size()] = '\0';
  Put(d + xmlrec::kNsFixed + prefix.size() + 1, uri);
  return 0;
}

int XmlDocument::AppendElement(std::string_view localName, uint32_t& pos) noexcept {
  uint64_t n = uint64_t{xmlrec::kElementFixed} + localName.size() + 1;
  if (n > 0x7FFFFFF0u) return kErrOutOfMemory;
  if (int rc = Grow(Padded(n), pos); rc != 0) return rc;
  SetU32(pos, xmlrec::kElement);
  std::memset(stream_.data() + pos + 8, 0, xmlrec::kElementFixed - 8);
  Put(stream_.data() + pos + xmlrec::kElementFixed, localName);
  return 0;
}

int XmlDocument::AppendAttribute(uint32_t nsRecord, std::string_view localName,
                                 std::string_view value) noexcept {
  uint64_t n = uint64_t{xmlrec::kAttrFixed} + localName.size() + value.size() + 2;
  if (n > 0x7FFFFFF0u) return kErrOutOfMemory;
  uint32_t pos = 0;
  if (int rc = Grow(Padded(n), pos); rc != 0) return rc;
  char* d = stream_.data() + pos;
  SetU32(pos, xmlrec::kAttribute);
  SetU32(pos + xmlrec::kAttrNamespace, nsRecord);
  Put(d + xmlrec::kAttrFixed, localName);
  d[xmlrec::kAttrFixed + localName.size()] = '\0';
  Put(d + xmlrec::kAttrFixed + localName.size() + 1, value);
  return 0;
}

int XmlDocument::AppendText(std::string_view text, uint32_t& pos) noexcept {
  uint64_t n = uint64_t{xmlrec::kTextFixed} + text.size() + 1;
  if (n > 0x7FFFFFF0u) return kErrOutOfMemory;
  if (int rc = Grow(Padded(n), pos); rc != 0) return rc;
  SetU32(pos, xmlrec::kText);
  Put(stream_.data() + pos + xmlrec::kTextFixed, text);
  return 0;
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
