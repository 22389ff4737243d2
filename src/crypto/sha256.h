#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/md_hash.h"

namespace corvane {

namespace detail {
struct Sha256Algo {
  static constexpr uint32_t kInit[8] = {0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
                                        0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u};
  static constexpr int kDigestSize = 32;
  static constexpr bool kBigEndian = true;
  static void Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
};
struct Sha224Algo : Sha256Algo {
  static constexpr uint32_t kInit[8] = {0xc1059ed8u, 0x367cd507u, 0x3070dd17u, 0xf70e5939u,
                                        0xffc00b31u, 0x68581511u, 0x64f98fa7u, 0xbefa4fa4u};
  static constexpr int kDigestSize = 28;
};
extern const uint32_t kSha256K[64];
void Sha256Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
void Sha256CompressShaNi(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
}  // namespace detail

// SHA-256 and SHA-224 (FIPS 180-4): one block function, different initial
// values and digest lengths.
using Sha256 = detail::MdHash<detail::Sha256Algo>;
using Sha224 = detail::MdHash<detail::Sha224Algo>;

}  // namespace corvane
