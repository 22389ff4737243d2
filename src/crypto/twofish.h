#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// Twofish (Schneier et al., 1998): 128-bit blocks, 128-, 192- or 256-bit keys.
// The key-dependent S-boxes are folded with the MDS matrix into four tables
// at key setup.
class Twofish {
 public:
  static constexpr int kBlockSize = 16;

  bool SetKey(const uint8_t* key, size_t keyLength) noexcept;
  void EncryptBlock(const uint8_t in[16], uint8_t out[16]) const noexcept;
  void DecryptBlock(const uint8_t in[16], uint8_t out[16]) const noexcept;

 private:
  uint32_t G(uint32_t x) const noexcept {
    return s_[0][x & 255] ^ s_[1][(x >> 8) & 255] ^ s_[2][(x >> 16) & 255] ^ s_[3][x >> 24];
  }

  uint32_t k_[40];
  uint32_t s_[4][256];
};

}  // namespace corvane
