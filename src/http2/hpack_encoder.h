#pragma once

#include <cstdint>
#include <string_view>

#include "core/byte_buffer.h"
#include "http2/header_list.h"

namespace corvane {

// HPACK encoder of the request header list. It refers to the static table
// only and never inserts into a table of its own, so it emits no dynamic
// index and no table size update; the peer's decoder still adds the
// literals "with incremental indexing" to its own table, which is harmless.
// Per pair: an exact static match as an indexed field; a static name match
// (lowest index) as a literal with incremental indexing and indexed name;
// otherwise 0x40 and two string literals. With useHuffman every string is
// Huffman-coded; the code covers all 256 byte values, so any byte is sent.
// Returns 0 or 200.
int HpackEncode(const HeaderList& headers, bool useHuffman, ByteBuffer& out) noexcept;

// RFC 7541 section 5.1: value as an integer with a prefixBits-bit prefix;
// flags fills the bits above the prefix in the first byte.
int HpackEncodeInteger(uint32_t value, int prefixBits, uint8_t flags, ByteBuffer& out) noexcept;

// RFC 7541 section 5.2: H bit, length, octets.
int HpackEncodeString(std::string_view text, bool useHuffman, ByteBuffer& out) noexcept;

}  // namespace corvane
