#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/md_hash.h"

namespace corvane {

namespace detail {
struct Sha512Algo {
  static constexpr uint64_t kInit[8] = {
      0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL, 0xa54ff53a5f1d36f1ULL,
      0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL, 0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL,
  };
  static constexpr int kDigestSize = 64;
  static constexpr bool kBigEndian = true;
  static void Compress(uint64_t* state, const uint8_t* p, size_t blocks) noexcept;
};
struct Sha384Algo : Sha512Algo {
  static constexpr uint64_t kInit[8] = {
      0xcbbb9d5dc1059ed8ULL, 0x629a292a367cd507ULL, 0x9159015a3070dd17ULL, 0x152fecd8f70e5939ULL,
      0x67332667ffc00b31ULL, 0x8eb44a8768581511ULL, 0xdb0c2e0d64f98fa7ULL, 0x47b5481dbefa4fa4ULL,
  };
  static constexpr int kDigestSize = 48;
};
}  // namespace detail

// SHA-512 and SHA-384 (FIPS 180-4): 128-byte blocks, 128-bit length field.
using Sha512 = detail::MdHash<detail::Sha512Algo>;
using Sha384 = detail::MdHash<detail::Sha384Algo>;

}  // namespace corvane
