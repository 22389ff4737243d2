#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/md_hash.h"

namespace corvane {

namespace detail {
struct Md5Algo {
  static constexpr uint32_t kInit[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
  static constexpr int kDigestSize = 16;
  static constexpr bool kBigEndian = false;
  static void Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
};
}  // namespace detail

// MD5 (RFC 1321).
using Md5 = detail::MdHash<detail::Md5Algo>;

}  // namespace corvane
