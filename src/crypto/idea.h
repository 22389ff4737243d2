#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// IDEA (Lai and Massey): 64-bit blocks, 128-bit keys, 8.5 rounds.
class Idea {
 public:
  static constexpr int kBlockSize = 8;

  bool SetKey(const uint8_t* key, size_t keyLength) noexcept;
  void EncryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;
  void DecryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;

 private:
  uint16_t enc_[52];
  uint16_t dec_[52];
};

}  // namespace corvane
