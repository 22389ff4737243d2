#include "http2/hpack_encoder.h"

#include <climits>

#include "http2/hpack_table.h"
#include "http2/huffman.h"

namespace corvane {

int HpackEncodeInteger(uint32_t value, int prefixBits, uint8_t flags, ByteBuffer& out) noexcept {
  uint8_t buf[8];
  int n = 0;
  const uint32_t max = (1u << prefixBits) - 1;
  if (value < max) {
    buf[n++] = static_cast<uint8_t>(flags | value);
  } else {
    buf[n++] = static_cast<uint8_t>(flags | max);
    value -= max;
    while (value >= 0x80) {
      buf[n++] = static_cast<uint8_t>((value & 0x7F) | 0x80);
      value >>= 7;
    }
    buf[n++] = static_cast<uint8_t>(value);
  }
  return out.Append(buf, n);
}

int HpackEncodeString(std::string_view text, bool useHuffman, ByteBuffer& out) noexcept {
  if (text.size() > INT_MAX / 2) return kErrOutOfMemory;
  if (!useHuffman) {
    if (int rc = HpackEncodeInteger(static_cast<uint32_t>(text.size()), 7, 0x00, out); rc != 0) {
      return rc;
    }
    return out.Append(text);
  }
  size_t len = http2::HuffmanEncodedLength(text);
  if (int rc = HpackEncodeInteger(static_cast<uint32_t>(len), 7, 0x80, out); rc != 0) return rc;
  return http2::HuffmanEncode(text, out);
}

int HpackEncode(const HeaderList& headers, bool useHuffman, ByteBuffer& out) noexcept {
  for (const HeaderField& h : headers) {
    uint32_t nameIndex = 0;
    uint32_t index = HpackTable::FindStatic(h.name, h.value, nameIndex);
    int rc = 0;
    if (index != 0) {
      rc = HpackEncodeInteger(index, 7, 0x80, out);
    } else if (nameIndex != 0) {
      rc = HpackEncodeInteger(nameIndex, 6, 0x40, out);
      if (rc == 0) rc = HpackEncodeString(h.value, useHuffman, out);
    } else {
      rc = out.Append('\x40');
      if (rc == 0) rc = HpackEncodeString(h.name, useHuffman, out);
      if (rc == 0) rc = HpackEncodeString(h.value, useHuffman, out);
    }
    if (rc != 0) return rc;
  }
  return 0;
}

}  // namespace corvane
