#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

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

}  // namespace corvane::detail
