#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// RC2 (RFC 2268): 64-bit blocks, keys of 1 to 128 bytes, with an effective
// key length in bits (0 means the full key length).
class Rc2 {
 public:
  static constexpr int kBlockSize = 8;

  bool SetKey(const uint8_t* key, size_t keyLength, int effectiveBits) noexcept;
  void EncryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;
  void DecryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;

 private:
  uint16_t k_[64];
};

}  // namespace corvane
