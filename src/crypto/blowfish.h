#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// Blowfish (Schneier, 1993): 64-bit blocks, keys of 1 to 56 bytes.
class Blowfish {
 public:
  static constexpr int kBlockSize = 8;

  // false for an empty key or one longer than 56 bytes.
  bool SetKey(const uint8_t* key, size_t keyLength) noexcept;
  void EncryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;
  void DecryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;

 private:
  void Encrypt(uint32_t& l, uint32_t& r) const noexcept;
  uint32_t F(uint32_t x) const noexcept {
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 255]) ^ s_[2][(x >> 8) & 255]) + s_[3][x & 255];
  }

  uint32_t p_[18];
  uint32_t s_[4][256];
};

}  // namespace corvane
