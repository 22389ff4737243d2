#pragma once

namespace corvane {

// Numbering of the digest algorithms shared by HashContext, HmacContext and
// the key derivations.
enum HashAlgorithm : int {
  haSHA1 = 0,
  haMD5 = 1,
  haSHA256 = 2,
  haSHA224 = 3,
  haSHA512 = 4,
  haSHA384 = 5,
  haRIPEMD160 = 6,
  haMD4 = 7,
  haMD2 = 8,
  haMD5SHA1 = 9,  // MD5 digest followed by the SHA-1 digest of the same input
  haKeccak224 = 10,
  haKeccak256 = 11,
  haKeccak384 = 12,
  haKeccak512 = 13,
};

inline constexpr int kHashAlgorithmCount = 14;

// Digest size in bits of an id; 0 for an unknown id.
constexpr int HashDigestBits(int id) noexcept {
  constexpr int kBits[kHashAlgorithmCount] = {160, 128, 256, 224, 512, 384, 160,
                                              128, 128, 288, 224, 256, 384, 512};
  return id >= 0 && id < kHashAlgorithmCount ? kBits[id] : 0;
}

// The HMAC block size B of an id (RFC 2104): 128 for SHA-512 and SHA-384,
// 64 for every other id.
constexpr int HmacBlockSize(int id) noexcept {
  return id == haSHA512 || id == haSHA384 ? 128 : 64;
}

}  // namespace corvane
