#include "crypto/twofish.h"

#include <array>

#include "core/zero_memory.h"
#include "crypto/byte_order.h"

namespace corvane {
namespace {

using detail::LoadLe32;
using detail::Rotl32;
using detail::Rotr32;

// The 4-bit permutations t0..t3 from which q0 and q1 are built (paper 4.3.5).
constexpr uint8_t kQt[2][4][16] = {
    {{0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
     {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
     {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
     {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA}},
    {{0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
     {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
     {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
     {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA}},
};

constexpr uint8_t Ror4(uint8_t x) { return static_cast<uint8_t>(((x >> 1) | (x << 3)) & 15); }

using QTable = std::array<std::array<uint8_t, 256>, 2>;
constexpr QTable MakeQ() {
  QTable q{};
  for (int n = 0; n < 2; ++n) {
    for (int x = 0; x < 256; ++x) {
      uint8_t a = static_cast<uint8_t>(x >> 4), b = static_cast<uint8_t>(x & 15);
      uint8_t a1 = a ^ b, b1 = static_cast<uint8_t>((a ^ Ror4(b) ^ (8 * a)) & 15);
      uint8_t a2 = kQt[n][0][a1], b2 = kQt[n][1][b1];
      uint8_t a3 = a2 ^ b2, b3 = static_cast<uint8_t>((a2 ^ Ror4(b2) ^ (8 * a2)) & 15);
      uint8_t a4 = kQt[n][2][a3], b4 = kQt[n][3][b3];
      q[n][x] = static_cast<uint8_t>(16 * b4 + a4);
    }
  }
  return q;
}
constexpr QTable kQ = MakeQ();

// GF(2^8) products for the MDS matrix (x^8+x^6+x^5+x^3+1) and the RS code
// (x^8+x^6+x^3+x^2+1).
constexpr uint8_t GfMul(uint8_t a, uint8_t b, unsigned poly) {
  unsigned r = 0, x = a;
  while (b) {
    if (b & 1) r ^= x;
    x <<= 1;
    if (x & 0x100) x ^= poly;
    b >>= 1;
  }
  return static_cast<uint8_t>(r);
}

constexpr uint8_t kMds[4][4] = {
    {0x01, 0xEF, 0x5B, 0x5B}, {0x5B, 0xEF, 0xEF, 0x01}, {0xEF, 0x5B, 0x01, 0xEF}, {0xEF, 0x01, 0xEF, 0x5B}};
constexpr uint8_t kRs[4][8] = {{0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
                               {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
                               {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
                               {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03}};

// Column c of the MDS matrix times y, as a little-endian word.
inline uint32_t MdsColumn(int c, uint8_t y) {
  uint32_t w = 0;
  for (int r = 0; r < 4; ++r) w |= uint32_t{GfMul(kMds[r][c], y, 0x169)} << (8 * r);
  return w;
}

inline uint8_t Byte(uint32_t w, int i) { return static_cast<uint8_t>(w >> (8 * i)); }

// The byte path of h (paper 4.3.2) for byte position i, before the MDS.
inline uint8_t HByte(int i, uint8_t y, const uint32_t* l, int k) {
  // q-box orders per stage, indexed [stage][byte]: 0 = q0, 1 = q1.
  static constexpr int kStage4[4] = {1, 0, 0, 1};
  static constexpr int kStage3[4] = {1, 1, 0, 0};
  static constexpr int kStage2[4] = {0, 1, 0, 1};
  static constexpr int kStage1[4] = {0, 0, 1, 1};
  static constexpr int kStage0[4] = {1, 0, 1, 0};
  if (k == 4) y = kQ[kStage4[i]][y] ^ Byte(l[3], i);
  if (k >= 3) y = kQ[kStage3[i]][y] ^ Byte(l[2], i);
  y = kQ[kStage2[i]][y] ^ Byte(l[1], i);
  y = kQ[kStage1[i]][y] ^ Byte(l[0], i);
  return kQ[kStage0[i]][y];
}

uint32_t H(uint32_t x, const uint32_t* l, int k) {
  uint32_t z = 0;
  for (int i = 0; i < 4; ++i) z ^= MdsColumn(i, HByte(i, Byte(x, i), l, k));
  return z;
}

}  // namespace

bool Twofish::SetKey(const uint8_t* key, size_t keyLength) noexcept {
  if (keyLength != 16 && keyLength != 24 && keyLength != 32) return false;
  const int k = static_cast<int>(keyLength / 8);
  uint32_t me[4], mo[4], s[4];
  for (int i = 0; i < k; ++i) {
    me[i] = LoadLe32(key + 8 * i);
    mo[i] = LoadLe32(key + 8 * i + 4);
    // S_(k-1-i) = RS * key bytes 8i .. 8i+7.
    uint32_t w = 0;
    for (int r = 0; r < 4; ++r) {
      uint8_t acc = 0;
      for (int c = 0; c < 8; ++c) acc ^= GfMul(kRs[r][c], key[8 * i + c], 0x14D);
      w |= uint32_t{acc} << (8 * r);
    }
    s[k - 1 - i] = w;
  }
  constexpr uint32_t kRho = 0x01010101u;
  for (uint32_t i = 0; i < 20; ++i) {
    const uint32_t a = H(2 * i * kRho, me, k);
    const uint32_t b = Rotl32(H((2 * i + 1) * kRho, mo, k), 8);
    k_[2 * i] = a + b;
    k_[2 * i + 1] = Rotl32(a + 2 * b, 9);
  }
  for (int i = 0; i < 4; ++i) {
    for (int x = 0; x < 256; ++x) s_[i][x] = MdsColumn(i, HByte(i, static_cast<uint8_t>(x), s, k));
  }
  SecureWipe(me, sizeof me);
  SecureWipe(mo, sizeof mo);
  SecureWipe(s, sizeof s);
  return true;
}

void Twofish::EncryptBlock(const uint8_t in[16], uint8_t out[16]) const noexcept {
  uint32_t r[4];
  for (int i = 0; i < 4; ++i) r[i] = LoadLe32(in + 4 * i) ^ k_[i];
  for (int round = 0; round < 16; round += 2) {
    uint32_t t0 = G(r[0]), t1 = G(Rotl32(r[1], 8));
    r[2] = Rotr32(r[2] ^ (t0 + t1 + k_[2 * round + 8]), 1);
    r[3] = Rotl32(r[3], 1) ^ (t0 + 2 * t1 + k_[2 * round + 9]);
    t0 = G(r[2]);
    t1 = G(Rotl32(r[3], 8));
    r[0] = Rotr32(r[0] ^ (t0 + t1 + k_[2 * round + 10]), 1);
    r[1] = Rotl32(r[1], 1) ^ (t0 + 2 * t1 + k_[2 * round + 11]);
  }
  // The last swap is undone: output (R2, R3, R0, R1) with output whitening.
  detail::StoreLe32(out, r[2] ^ k_[4]);
  detail::StoreLe32(out + 4, r[3] ^ k_[5]);
  detail::StoreLe32(out + 8, r[0] ^ k_[6]);
  detail::StoreLe32(out + 12, r[1] ^ k_[7]);
}

void Twofish::DecryptBlock(const uint8_t in[16], uint8_t out[16]) const noexcept {
  uint32_t r[4];
  r[2] = LoadLe32(in) ^ k_[4];
  r[3] = LoadLe32(in + 4) ^ k_[5];
  r[0] = LoadLe32(in + 8) ^ k_[6];
  r[1] = LoadLe32(in + 12) ^ k_[7];
  for (int round = 14; round >= 0; round -= 2) {
    uint32_t t0 = G(r[2]), t1 = G(Rotl32(r[3], 8));
    r[0] = Rotl32(r[0], 1) ^ (t0 + t1 + k_[2 * round + 10]);
    r[1] = Rotr32(r[1] ^ (t0 + 2 * t1 + k_[2 * round + 11]), 1);
    t0 = G(r[0]);
    t1 = G(Rotl32(r[1], 8));
    r[2] = Rotl32(r[2], 1) ^ (t0 + t1 + k_[2 * round + 8]);
    r[3] = Rotr32(r[3] ^ (t0 + 2 * t1 + k_[2 * round + 9]), 1);
  }
  for (int i = 0; i < 4; ++i) detail::StoreLe32(out + 4 * i, r[i] ^ k_[i]);
}

}  // namespace corvane
