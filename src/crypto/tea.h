#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// TEA and XTEA (Wheeler and Needham): 64-bit blocks, 128-bit keys, words in
// big-endian order. The round count counts Feistel rounds, two per cycle
// (the standard 32 cycles are 64 rounds).
class Tea {
 public:
  static constexpr int kBlockSize = 8;

  bool SetKey(const uint8_t* key, size_t keyLength, bool extended, int rounds) noexcept;
  void EncryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;
  void DecryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;

 private:
  uint32_t k_[4];
  uint32_t cycles_ = 32;
  bool extended_ = false;
};

// XXTEA (corrected Block TEA): the whole buffer of n >= 2 big-endian words is
// one block, with 6 + 52 / n cycles.
class Xxtea {
 public:
  bool SetKey(const uint8_t* key, size_t keyLength) noexcept;
  // len must be a multiple of 4 and at least 8; returns false otherwise.
  bool Encrypt(uint8_t* data, size_t len) const noexcept;
  bool Decrypt(uint8_t* data, size_t len) const noexcept;

 private:
  uint32_t k_[4];
};

}  // namespace corvane
