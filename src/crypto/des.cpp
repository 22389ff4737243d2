#include "crypto/des.h"

#include <array>

#include "core/zero_memory.h"
#include "crypto/byte_order.h"

namespace corvane {
namespace {

using detail::LoadBe32;
using detail::Rotl32;
using detail::Rotr32;
using detail::StoreBe32;

// FIPS 46-3 S-boxes: row (outer bits b1 b6) major, column (b2..b5) minor.
constexpr uint8_t kS[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5,  3,  8,  4,  1,  14, 8,  13, 6, 2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0, 6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7, 2,  13, 12, 0, 5,  10, 3,  13, 4,  7,  15, 2,
     8,  14, 12, 0,  1,  10, 6,  9,  11, 5, 0,  14, 7,  11, 10, 4, 13, 1,  5,  8,  12, 6,
     9,  3,  2,  15, 13, 8,  10, 1,  3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  13, 7,  0,  9,  3,  4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6,  4,  9,  8,  15, 3,  0,  11, 1,  2,  12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3, 0,  6,  9,  10, 1,  2,  8,  5, 11, 12, 4,  15, 13, 8,  11, 5,  6,  15,
     0,  3,  4,  7, 2,  12, 1,  10, 14, 9,  10, 6, 9,  0,  12, 11, 7,  13, 15, 1,  3,  14,
     5,  2,  8,  4, 3,  15, 0,  6,  10, 1,  13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6, 8,  5,  3,  15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5,  0,  15, 10, 3,  9, 8,  6,  4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0,  14, 11, 8,  12, 7, 1,  14, 2,  13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6,  8,  0,  13, 3, 4,  14, 7,  5,  11, 10, 15, 4,  2,  7,  12,
     9,  5,  6,  1,  13, 14, 0,  11, 3,  8,  9, 14, 15, 5,  2,  8,  12, 3,  7,  0,  4,  10,
     1,  13, 11, 6,  4,  3,  2,  12, 9,  5,  15, 10, 11, 14, 1, 7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0,  8,  13, 3, 12, 9,  7,  5,  10, 6,  1,  13, 0,  11, 7,  4,  9,
     1,  10, 14, 3,  5,  12, 2,  15, 8, 6,  1,  4,  11, 13, 12, 3,  7,  14, 10, 15, 6,  8,
     0,  5,  9,  2,  6,  11, 13, 8,  1, 4,  10, 7,  9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5, 0,  12, 7,  1,  15, 13, 8,  10, 3,
     7,  4,  12, 5,  6,  11, 0,  14, 9,  2,  7,  11, 4, 1,  9,  12, 14, 2,  0,  6,  10, 13,
     15, 3,  5,  8,  2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9, 0,  3,  5,  6,  11},
};

// The permutation P applied to the S-box outputs (FIPS 46-3, bit 1 = MSB).
constexpr uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                            2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};
constexpr uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                              10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                              63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                              14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};
constexpr uint8_t kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
                              23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
                              41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                              44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};
constexpr uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S-box and P merged: kSp[i][v] is P applied to S-box i's output for the
// six input bits v (b1 in the high bit), rotated left by one because the
// rounds keep both halves rotated that way (so that each six-bit group of
// the expansion E is a contiguous field of one word).
using SpTable = std::array<std::array<uint32_t, 64>, 8>;
constexpr SpTable MakeSp() {
  SpTable sp{};
  for (int i = 0; i < 8; ++i) {
    for (int v = 0; v < 64; ++v) {
      const int row = ((v >> 4) & 2) | (v & 1);
      const int col = (v >> 1) & 15;
      const uint32_t s = kS[i][row * 16 + col];
      const uint32_t pre = s << (28 - 4 * i);  // pre-P bits 4i+1..4i+4
      uint32_t out = 0;
      for (int k = 0; k < 32; ++k) {
        if (pre & (0x80000000u >> (kP[k] - 1))) out |= 0x80000000u >> k;
      }
      sp[i][v] = (out << 1) | (out >> 31);
    }
  }
  return sp;
}
constexpr SpTable kSp = MakeSp();

inline uint32_t F(uint32_t r, const uint32_t* k) noexcept {
  uint32_t work = Rotr32(r, 4) ^ k[0];
  uint32_t f = kSp[6][work & 63] | kSp[4][(work >> 8) & 63] | kSp[2][(work >> 16) & 63] |
               kSp[0][(work >> 24) & 63];
  work = r ^ k[1];
  f |= kSp[7][work & 63] | kSp[5][(work >> 8) & 63] | kSp[3][(work >> 16) & 63] |
       kSp[1][(work >> 24) & 63];
  return f;
}

// The initial permutation as a sequence of bit-group swaps; leaves both halves
// rotated left by one.
inline void InitialPermutation(uint32_t& left, uint32_t& right) noexcept {
  uint32_t work = ((left >> 4) ^ right) & 0x0f0f0f0fu;
  right ^= work;
  left ^= work << 4;
  work = ((left >> 16) ^ right) & 0x0000ffffu;
  right ^= work;
  left ^= work << 16;
  work = ((right >> 2) ^ left) & 0x33333333u;
  left ^= work;
  right ^= work << 2;
  work = ((right >> 8) ^ left) & 0x00ff00ffu;
  left ^= work;
  right ^= work << 8;
  right = Rotl32(right, 1);
  work = (left ^ right) & 0xaaaaaaaau;
  left ^= work;
  right ^= work;
  left = Rotl32(left, 1);
}

// Inverse of the above; called with the halves in the order the rounds
// leave them exchanged, so the output is (R16, L16) as the standard wants.
inline void FinalPermutation(uint32_t& left, uint32_t& right) noexcept {
  right = Rotr32(right, 1);
  uint32_t work = (left ^ right) & 0xaaaaaaaau;
  left ^= work;
  right ^= work;
  left = Rotr32(left, 1);
  work = ((left >> 8) ^ right) & 0x00ff00ffu;
  right ^= work;
  left ^= work << 8;
  work = ((left >> 2) ^ right) & 0x33333333u;
  right ^= work;
  left ^= work << 2;
  work = ((right >> 16) ^ left) & 0x0000ffffu;
  left ^= work;
  right ^= work << 16;
  work = ((right >> 4) ^ left) & 0x0f0f0f0fu;
  left ^= work;
  right ^= work << 4;
}

// Sixteen rounds; on return the halves are exchanged (R16 in left).
inline void Rounds(uint32_t& left, uint32_t& right, const uint32_t* k) noexcept {
  for (int i = 0; i < 8; ++i, k += 4) {
    left ^= F(right, k);
    right ^= F(left, k + 2);
  }
  const uint32_t t = left;
  left = right;
  right = t;
}

}  // namespace

void Des::SetKey(const uint8_t key[8], bool decrypt) noexcept {
  auto keyBit = [&](int n) { return (key[(n - 1) >> 3] >> (7 - ((n - 1) & 7))) & 1; };
  uint8_t cd[56];
  for (int i = 0; i < 56; ++i) cd[i] = static_cast<uint8_t>(keyBit(kPc1[i]));
  for (int round = 0; round < 16; ++round) {
    for (int s = 0; s < kShifts[round]; ++s) {
      const uint8_t c0 = cd[0], d0 = cd[28];
      for (int i = 0; i < 27; ++i) {
        cd[i] = cd[i + 1];
        cd[28 + i] = cd[29 + i];
      }
      cd[27] = c0;
      cd[55] = d0;
    }
    // Group g (0..7) of the 48-bit subkey goes into word g & 1, byte 3 - g / 2.
    uint32_t w[2] = {0, 0};
    for (int b = 0; b < 48; ++b) {
      const int g = b / 6;
      if (cd[kPc2[b] - 1]) w[g & 1] |= 1u << (8 * (3 - g / 2) + 5 - b % 6);
    }
    const int slot = decrypt ? 15 - round : round;
    subkeys_[2 * slot] = w[0];
    subkeys_[2 * slot + 1] = w[1];
  }
  SecureWipe(cd, sizeof cd);
}

void Des::CryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept { CryptBlocks(in, out, 1); }

void Des::CryptBlocks(const uint8_t* in, uint8_t* out, size_t blocks) const noexcept {
  for (; blocks != 0; --blocks, in += 8, out += 8) {
    uint32_t left = LoadBe32(in), right = LoadBe32(in + 4);
    InitialPermutation(left, right);
    Rounds(left, right, subkeys_);
    FinalPermutation(right, left);
    StoreBe32(out, left);
    StoreBe32(out + 4, right);
  }
}

bool TripleDes::SetKey(const uint8_t* key, size_t keyLength, bool decrypt) noexcept {
  if (keyLength != 16 && keyLength != 24) return false;
  const uint8_t* k1 = key;
  const uint8_t* k2 = key + 8;
  const uint8_t* k3 = keyLength == 24 ? key + 16 : key;
  if (!decrypt) {
    stage_[0].SetKey(k1, false);
    stage_[1].SetKey(k2, true);
    stage_[2].SetKey(k3, false);
  } else {
    stage_[0].SetKey(k3, true);
    stage_[1].SetKey(k2, false);
    stage_[2].SetKey(k1, true);
  }
  return true;
}

void TripleDes::CryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept {
  uint32_t left = LoadBe32(in), right = LoadBe32(in + 4);
  // The final and initial permutations between the stages cancel out.
  InitialPermutation(left, right);
  Rounds(left, right, stage_[0].subkeys_);
  Rounds(left, right, stage_[1].subkeys_);
  Rounds(left, right, stage_[2].subkeys_);
  FinalPermutation(right, left);
  StoreBe32(out, left);
  StoreBe32(out + 4, right);
}

int DesEncryptBlock(const void* key8, const void* input8, ByteBuffer& out) noexcept {
  Des des;
  des.SetKey(static_cast<const uint8_t*>(key8), false);
  uint8_t block[8];
  des.CryptBlock(static_cast<const uint8_t*>(input8), block);
  SecureWipe(&des, sizeof des);
  return out.Append(block, 8);
}

void DesExpandKey56(const void* key7, uint8_t key8[8]) noexcept {
  const uint8_t* k = static_cast<const uint8_t*>(key7);
  for (int i = 0; i < 8; ++i) {
    // Bits 7i .. 7i+6 of the 56-bit big-endian key.
    uint32_t bits = 0;
    for (int j = 0; j < 7; ++j) {
      const int n = 7 * i + j;
      bits = (bits << 1) | ((k[n >> 3] >> (7 - (n & 7))) & 1u);
    }
    uint8_t b = static_cast<uint8_t>(bits << 1);
    if (__builtin_popcount(b) % 2 == 0) b |= 1;
    key8[i] = b;
  }
}

}  // namespace corvane
