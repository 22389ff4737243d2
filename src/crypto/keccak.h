#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// Keccak-224/256/384/512 as submitted to the SHA-3 competition (round 3):
// Keccak-f[1600], capacity twice the digest size, and the original padding
// (0x01 ... 0x80), not the 0x06 domain byte of FIPS 202.
class Keccak {
 public:
  static constexpr int kMaxDigestSize = 64;

  explicit Keccak(int digestBits = 256) noexcept { Init(digestBits); }
  // digestBits is 224, 256, 384 or 512; anything else selects 256.
  void Init(int digestBits) noexcept;
  int Update(const void* data, size_t len) noexcept;
  const uint8_t* Final() noexcept;
  int DigestSize() const noexcept { return digestSize_; }
  int Rate() const noexcept { return rate_; }

 private:
  uint64_t state_[25];
  int rate_;
  int digestSize_;
  size_t used_;  // bytes absorbed into the current block
  uint8_t digest_[kMaxDigestSize];
};

namespace detail {
void KeccakF1600(uint64_t* state) noexcept;
}

}  // namespace corvane
