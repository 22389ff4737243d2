#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/md_hash.h"

namespace corvane {

namespace detail {
struct Sha1Algo {
  static constexpr uint32_t kInit[5] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u,
                                        0xc3d2e1f0u};
  static constexpr int kDigestSize = 20;
  static constexpr bool kBigEndian = true;
  // The bit count is 64 bits wide: at most 2^61 - 1 bytes fit.
  static constexpr uint64_t kMaxBytes = (uint64_t{1} << 61) - 1;
  static void Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
};
void Sha1Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
void Sha1CompressShaNi(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
}  // namespace detail

// SHA-1 (FIPS 180-4). Once the 64-bit bit count would overflow, Update
// returns 1 without hashing and Final yields nullptr.
using Sha1 = detail::MdHash<detail::Sha1Algo>;

}  // namespace corvane
