#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/byte_buffer.h"

namespace corvane::http2 {

// Number of bytes the Huffman coding of text takes (RFC 7541 section 5.2).
size_t HuffmanEncodedLength(std::string_view text) noexcept;

// Appends the Huffman coding of text, padded to a byte with the most
// significant bits of EOS. Returns 0 or 200.
int HuffmanEncode(std::string_view text, ByteBuffer& out) noexcept;

enum class HuffmanResult { hrOk, hrEos, hrBadPadding };

// Decodes a Huffman-coded string, appending the bytes to out. Rejects a
// string containing EOS and padding that is longer than 7 bits or not all
// ones (RFC 7541 section 5.2). The decoder walks the code four bits at a time
// through a state table built at compile time from the code table.
HuffmanResult HuffmanDecode(const uint8_t* data, size_t length, std::string& out);

// The most bytes length encoded bytes can decode to (the shortest code is 5 bits).
inline size_t HuffmanMaxDecodedLength(size_t length) noexcept { return length * 8 / 5; }

}  // namespace corvane::http2
