#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/md_hash.h"

namespace corvane {

namespace detail {
struct Ripemd160Algo {
  static constexpr uint32_t kInit[5] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u,
                                        0xc3d2e1f0u};
  static constexpr int kDigestSize = 20;
  static constexpr bool kBigEndian = false;
  static void Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
};
}  // namespace detail

// RIPEMD-160 (Dobbertin, Bosselaers, Preneel, 1996).
using Ripemd160 = detail::MdHash<detail::Ripemd160Algo>;

}  // namespace corvane
