#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// SHA-512 and SHA-384 (FIPS 180-4): 128-byte blocks, 128-bit length field.
class Sha512 {
 public:
  static constexpr int kDigestSize = 64;
  static constexpr int kBlockSize = 128;

  Sha512() noexcept { Init(); }
  void Init() noexcept;
  int Update(const void* data, size_t len) noexcept;
  const uint8_t* Final() noexcept;

 protected:
  void Finish(int digestSize) noexcept;

  uint64_t state_[8];
  uint64_t bytesLo_;
  uint64_t bytesHi_;
  size_t used_;
  uint8_t buffer_[kBlockSize];
  uint8_t digest_[kDigestSize];
};

class Sha384 : public Sha512 {
 public:
  static constexpr int kDigestSize = 48;

  Sha384() noexcept { Init(); }
  void Init() noexcept;
  const uint8_t* Final() noexcept {
    Finish(kDigestSize);
    return digest_;
  }
};

}  // namespace corvane
