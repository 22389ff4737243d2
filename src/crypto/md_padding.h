#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/zero_memory.h"
#include "crypto/byte_order.h"

namespace corvane::detail {

// Merkle-Damgard finishing shared by the MD4/MD5/SHA/RIPEMD families: 0x80,
// zeros up to the length field, then the length field (already encoded by the
// caller in the algorithm's byte order) in the last lenBytes of the block.
template <size_t B, class Compress>
inline void FinishMd(uint8_t* buffer, size_t used, const uint8_t* lengthField, size_t lenBytes,
                     Compress&& compress) {
  buffer[used++] = 0x80;
  if (used > B - lenBytes) {
    std::memset(buffer + used, 0, B - used);
    compress(buffer, size_t{1});
    used = 0;
  }
  std::memset(buffer + used, 0, B - lenBytes - used);
  std::memcpy(buffer + B - lenBytes, lengthField, lenBytes);
  compress(buffer, size_t{1});
}

// The little-endian finish shared by MD4, MD5 and RIPEMD-160: the 64-bit bit
// count, the state words written out little-endian, then the state wiped and
// the counters reset for the next message.
template <size_t B, size_t Words, class Compress>
inline void FinishLeMd(uint32_t (&state)[Words], uint8_t (&buffer)[B], size_t& used,
                       uint64_t& bytes, uint8_t* digest, Compress&& compress) {
  uint8_t length[8];
  StoreLe64(length, bytes << 3);
  FinishMd<B>(buffer, used, length, 8, compress);
  for (size_t i = 0; i < Words; ++i) StoreLe32(digest + 4 * i, state[i]);
  SecureWipe(state, sizeof state);
  SecureWipe(buffer, B);
  bytes = 0;
  used = 0;
}

}  // namespace corvane::detail
