#pragma once

#include <cstddef>
#include <cstdint>

#include "core/byte_buffer.h"

namespace corvane {

// DES (FIPS 46-3) and Triple-DES in encrypt-decrypt-encrypt form
// (NIST SP 800-67). Parity bits of the keys are ignored.
class Des {
 public:
  static constexpr int kBlockSize = 8;

  // Builds the sixteen round keys for one direction.
  void SetKey(const uint8_t key[8], bool decrypt) noexcept;
  void CryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;
  void CryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const noexcept;

 private:
  friend class TripleDes;
  uint32_t subkeys_[32];
};

class TripleDes {
 public:
  static constexpr int kBlockSize = 8;

  // key is 24 bytes (K1 K2 K3) or 16 bytes (K1 K2, K3 = K1).
  // Returns false for any other length.
  bool SetKey(const uint8_t* key, size_t keyLength, bool decrypt) noexcept;
  void CryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept;

 private:
  Des stage_[3];  // in the order they are applied
};

// Single-block DES encryption for the LM and NTLMv1 responses: 8 ciphertext
// bytes appended to out. 0 or 200.
int DesEncryptBlock(const void* key8, const void* input8, ByteBuffer& out) noexcept;

// Spreads a 56-bit key over eight bytes: each byte takes the next seven key
// bits in its high bits, and its low bit is set for odd parity.
void DesExpandKey56(const void* key7, uint8_t key8[8]) noexcept;

}  // namespace corvane
