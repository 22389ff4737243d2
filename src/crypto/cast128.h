#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// CAST-128 (RFC 2144): 64-bit blocks, keys of 5 to 16 bytes (shorter keys
// are zero-padded; up to 80 bits run 12 rounds, longer keys 16).
class Cast128 {
 public:
  static constexpr int kBlockSize = 8;

  bool SetKey(const uint8_t* key, size_t keyLength) noexcept;
  void EncryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;
  void DecryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;

 private:
  uint32_t km_[16];
  uint8_t kr_[16];
  int rounds_ = 16;
};

}  // namespace corvane
