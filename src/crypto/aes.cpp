#include "crypto/aes.h"

#include <array>
#include <cstring>

#include "core/cpu_features.h"
#include "crypto/byte_order.h"

namespace corvane {
namespace {

using detail::LoadBe32;
using detail::StoreBe32;

constexpr uint8_t XTime(uint8_t x) { return static_cast<uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1b : 0)); }
constexpr uint8_t Mul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  while (b) {
    if (b & 1) r ^= a;
    a = XTime(a);
    b >>= 1;
  }
  return r;
}

struct AesTables {
  std::array<uint8_t, 256> sbox{};
  std::array<uint8_t, 256> inv{};
  std::array<uint32_t, 256> te[4]{};
  std::array<uint32_t, 256> td[4]{};
};

// FIPS 197 5.1.1: the S-box is the multiplicative inverse in GF(2^8)
// followed by the affine map with constant 0x63. Inverses come from
// logarithms to the generator 3, which keeps the compile-time work small.
constexpr AesTables MakeTables() {
  AesTables t;
  std::array<uint8_t, 256> exp{};
  std::array<uint8_t, 256> log{};
  uint8_t g = 1;
  for (int i = 0; i < 255; ++i) {
    exp[i] = g;
    log[g] = static_cast<uint8_t>(i);
    g = static_cast<uint8_t>(g ^ XTime(g));  // multiply by 3
  }
  for (int x = 0; x < 256; ++x) {
    const uint8_t invx = x == 0 ? 0 : exp[(255 - log[x]) % 255];
    uint8_t s = invx;
    for (int i = 1; i < 5; ++i) s ^= static_cast<uint8_t>((invx << i) | (invx >> (8 - i)));
    s ^= 0x63;
    t.sbox[x] = s;
    t.inv[s] = static_cast<uint8_t>(x);
  }
  for (int x = 0; x < 256; ++x) {
    const uint8_t s = t.sbox[x];
    const uint32_t e = (uint32_t{Mul(s, 2)} << 24) | (uint32_t{s} << 16) | (uint32_t{s} << 8) | Mul(s, 3);
    const uint8_t i = t.inv[x];
    const uint32_t d = (uint32_t{Mul(i, 14)} << 24) | (uint32_t{Mul(i, 9)} << 16) |
                       (uint32_t{Mul(i, 13)} << 8) | Mul(i, 11);
    for (int r = 0; r < 4; ++r) {
      t.te[r][x] = detail::Rotr32(e, 8 * r);
      t.td[r][x] = detail::Rotr32(d, 8 * r);
    }
  }
  return t;
}

constexpr AesTables kT = MakeTables();

inline uint32_t SubWord(uint32_t w) {
  return (uint32_t{kT.sbox[w >> 24]} << 24) | (uint32_t{kT.sbox[(w >> 16) & 255]} << 16) |
         (uint32_t{kT.sbox[(w >> 8) & 255]} << 8) | kT.sbox[w & 255];
}

inline uint32_t InvMixColumn(uint32_t w) {
  // td[] includes the inverse S-box, so feed it S-box outputs.
  return kT.td[0][kT.sbox[w >> 24]] ^ kT.td[1][kT.sbox[(w >> 16) & 255]] ^
         kT.td[2][kT.sbox[(w >> 8) & 255]] ^ kT.td[3][kT.sbox[w & 255]];
}

void EncryptPortable(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out) {
  uint32_t s0 = LoadBe32(in) ^ rk[0], s1 = LoadBe32(in + 4) ^ rk[1];
  uint32_t s2 = LoadBe32(in + 8) ^ rk[2], s3 = LoadBe32(in + 12) ^ rk[3];
  const auto& te = kT.te;
  for (int r = 1; r < rounds; ++r) {
    rk += 4;
    const uint32_t t0 = te[0][s0 >> 24] ^ te[1][(s1 >> 16) & 255] ^ te[2][(s2 >> 8) & 255] ^ te[3][s3 & 255] ^ rk[0];
    const uint32_t t1 = te[0][s1 >> 24] ^ te[1][(s2 >> 16) & 255] ^ te[2][(s3 >> 8) & 255] ^ te[3][s0 & 255] ^ rk[1];
    const uint32_t t2 = te[0][s2 >> 24] ^ te[1][(s3 >> 16) & 255] ^ te[2][(s0 >> 8) & 255] ^ te[3][s1 & 255] ^ rk[2];
    const uint32_t t3 = te[0][s3 >> 24] ^ te[1][(s0 >> 16) & 255] ^ te[2][(s1 >> 8) & 255] ^ te[3][s2 & 255] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  const auto& s = kT.sbox;
  auto last = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
    return ((uint32_t{s[a >> 24]} << 24) | (uint32_t{s[(b >> 16) & 255]} << 16) |
            (uint32_t{s[(c >> 8) & 255]} << 8) | s[d & 255]) ^ k;
  };
  StoreBe32(out, last(s0, s1, s2, s3, rk[0]));
  StoreBe32(out + 4, last(s1, s2, s3, s0, rk[1]));
  StoreBe32(out + 8, last(s2, s3, s0, s1, rk[2]));
  StoreBe32(out + 12, last(s3, s0, s1, s2, rk[3]));
}

void DecryptPortable(const uint32_t* rk, int rounds, const uint8_t* in, uint8_t* out) {
  uint32_t s0 = LoadBe32(in) ^ rk[0], s1 = LoadBe32(in + 4) ^ rk[1];
  uint32_t s2 = LoadBe32(in + 8) ^ rk[2], s3 = LoadBe32(in + 12) ^ rk[3];
  const auto& td = kT.td;
  for (int r = 1; r < rounds; ++r) {
    rk += 4;
    const uint32_t t0 = td[0][s0 >> 24] ^ td[1][(s3 >> 16) & 255] ^ td[2][(s2 >> 8) & 255] ^ td[3][s1 & 255] ^ rk[0];
    const uint32_t t1 = td[0][s1 >> 24] ^ td[1][(s0 >> 16) & 255] ^ td[2][(s3 >> 8) & 255] ^ td[3][s2 & 255] ^ rk[1];
    const uint32_t t2 = td[0][s2 >> 24] ^ td[1][(s1 >> 16) & 255] ^ td[2][(s0 >> 8) & 255] ^ td[3][s3 & 255] ^ rk[2];
    const uint32_t t3 = td[0][s3 >> 24] ^ td[1][(s2 >> 16) & 255] ^ td[2][(s1 >> 8) & 255] ^ td[3][s0 & 255] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  const auto& s = kT.inv;
  auto last = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
    return ((uint32_t{s[a >> 24]} << 24) | (uint32_t{s[(b >> 16) & 255]} << 16) |
            (uint32_t{s[(c >> 8) & 255]} << 8) | s[d & 255]) ^ k;
  };
  StoreBe32(out, last(s0, s3, s2, s1, rk[0]));
  StoreBe32(out + 4, last(s1, s0, s3, s2, rk[1]));
  StoreBe32(out + 8, last(s2, s1, s0, s3, rk[2]));
  StoreBe32(out + 12, last(s3, s2, s1, s0, rk[3]));
}

inline bool UseNi() { return detail::Cpu().aesNi; }

}  // namespace

bool Aes::SetKey(const uint8_t* key, size_t keyLength) noexcept {
  if (keyLength != 16 && keyLength != 24 && keyLength != 32) return false;
  const int nk = static_cast<int>(keyLength / 4);
  rounds_ = nk + 6;
  const int words = 4 * (rounds_ + 1);
  uint32_t* w = ks_.enc;
  for (int i = 0; i < nk; ++i) w[i] = LoadBe32(key + 4 * i);
  uint32_t rcon = 0x01;
  for (int i = nk; i < words; ++i) {
    uint32_t temp = w[i - 1];
    if (i % nk == 0) {
      temp = SubWord(detail::Rotl32(temp, 8)) ^ (rcon << 24);
      rcon = XTime(static_cast<uint8_t>(rcon));
    } else if (nk > 6 && i % nk == 4) {
      temp = SubWord(temp);
    }
    w[i] = w[i - nk] ^ temp;
  }
  // FIPS 197 5.3.5: the equivalent inverse cipher uses the round keys in
  // reverse order with InvMixColumns applied to all but the first and last.
  uint32_t* d = ks_.dec;
  for (int r = 0; r <= rounds_; ++r) {
    for (int c = 0; c < 4; ++c) {
      const uint32_t k = w[4 * (rounds_ - r) + c];
      d[4 * r + c] = (r == 0 || r == rounds_) ? k : InvMixColumn(k);
    }
  }
  for (int i = 0; i < words; ++i) {
    StoreBe32(ks_.encBytes + 4 * i, w[i]);
    StoreBe32(ks_.decBytes + 4 * i, d[i]);
  }
  return true;
}

void Aes::EncryptBlock(const uint8_t in[16], uint8_t out[16]) const noexcept { EncryptEcb(in, out, 1); }
void Aes::DecryptBlock(const uint8_t in[16], uint8_t out[16]) const noexcept { DecryptEcb(in, out, 1); }

void Aes::EncryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const noexcept {
#if defined(__x86_64__)
  if (UseNi()) return detail::AesNiEncryptEcb(ks_.encBytes, rounds_, in, out, blocks);
#endif
  for (; blocks != 0; --blocks, in += 16, out += 16) EncryptPortable(ks_.enc, rounds_, in, out);
}

void Aes::DecryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const noexcept {
#if defined(__x86_64__)
  if (UseNi()) return detail::AesNiDecryptEcb(ks_.decBytes, rounds_, in, out, blocks);
#endif
  for (; blocks != 0; --blocks, in += 16, out += 16) DecryptPortable(ks_.dec, rounds_, in, out);
}

void Aes::EncryptCbc(uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t blocks) const noexcept {
#if defined(__x86_64__)
  if (UseNi()) return detail::AesNiEncryptCbc(ks_.encBytes, rounds_, iv, in, out, blocks);
#endif
  for (; blocks != 0; --blocks, in += 16, out += 16) {
    uint8_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = in[i] ^ iv[i];
    EncryptPortable(ks_.enc, rounds_, x, out);
    std::memcpy(iv, out, 16);
  }
}

void Aes::DecryptCbc(uint8_t iv[16], const uint8_t* in, uint8_t* out, size_t blocks) const noexcept {
#if defined(__x86_64__)
  if (detail::Cpu().vaes) return detail::AesVaesDecryptCbc(ks_.decBytes, rounds_, iv, in, out, blocks);
  if (UseNi()) return detail::AesNiDecryptCbc(ks_.decBytes, rounds_, iv, in, out, blocks);
#endif
  for (; blocks != 0; --blocks, in += 16, out += 16) {
    uint8_t c[16], p[16];
    std::memcpy(c, in, 16);  // in and out may be the same buffer
    DecryptPortable(ks_.dec, rounds_, c, p);
    for (int i = 0; i < 16; ++i) out[i] = p[i] ^ iv[i];
    std::memcpy(iv, c, 16);
  }
}

}  // namespace corvane
