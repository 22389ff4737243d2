#include "crypto/idea.h"

#include "core/zero_memory.h"

namespace corvane {
namespace {

// Multiplication modulo 2^16 + 1, with 0 standing for 2^16.
inline uint16_t Mul(uint16_t a, uint16_t b) {
  if (a == 0) return static_cast<uint16_t>(1 - b);
  if (b == 0) return static_cast<uint16_t>(1 - a);
  const uint32_t p = uint32_t{a} * b;
  const uint32_t lo = p & 0xffff, hi = p >> 16;
  return static_cast<uint16_t>(lo - hi + (lo < hi ? 1 : 0));
}

// Multiplicative inverse modulo 2^16 + 1 (0 and 1 are their own inverses).
uint16_t Inverse(uint16_t x) {
  if (x <= 1) return x;
  // x^(p-2) mod p with p = 65537.
  uint64_t result = 1, base = x;
  for (uint32_t e = 65535; e != 0; e >>= 1) {
    if (e & 1) result = result * base % 65537;
    base = base * base % 65537;
  }
  return static_cast<uint16_t>(result);
}

void Crypt(const uint16_t* z, const uint8_t* in, uint8_t* out) {
  uint16_t x1 = static_cast<uint16_t>(in[0] << 8 | in[1]), x2 = static_cast<uint16_t>(in[2] << 8 | in[3]);
  uint16_t x3 = static_cast<uint16_t>(in[4] << 8 | in[5]), x4 = static_cast<uint16_t>(in[6] << 8 | in[7]);
  for (int r = 0; r < 8; ++r, z += 6) {
    x1 = Mul(x1, z[0]);
    x2 = static_cast<uint16_t>(x2 + z[1]);
    x3 = static_cast<uint16_t>(x3 + z[2]);
    x4 = Mul(x4, z[3]);
    const uint16_t t0 = Mul(static_cast<uint16_t>(x1 ^ x3), z[4]);
    const uint16_t t1 = Mul(static_cast<uint16_t>((x2 ^ x4) + t0), z[5]);
    const uint16_t t2 = static_cast<uint16_t>(t0 + t1);
    x1 ^= t1;
    x4 ^= t2;
    const uint16_t swap = static_cast<uint16_t>(x2 ^ t2);
    x2 = static_cast<uint16_t>(x3 ^ t1);
    x3 = swap;
  }
  // Output transformation; the middle words come back unswapped.
  const uint16_t y1 = Mul(x1, z[0]);
  const uint16_t y2 = static_cast<uint16_t>(x3 + z[1]);
  const uint16_t y3 = static_cast<uint16_t>(x2 + z[2]);
  const uint16_t y4 = Mul(x4, z[3]);
  const uint16_t y[4] = {y1, y2, y3, y4};
  for (int i = 0; i < 4; ++i) {
    out[2 * i] = static_cast<uint8_t>(y[i] >> 8);
    out[2 * i + 1] = static_cast<uint8_t>(y[i]);
  }
}

}  // namespace

bool Idea::SetKey(const uint8_t* key, size_t keyLength) noexcept {
  if (keyLength != 16) return false;
  // Subkeys are consecutive 16-bit pieces of the key, rotated left 25 bits
  // after every eight.
  uint8_t k[16];
  for (int i = 0; i < 16; ++i) k[i] = key[i];
  for (int n = 0; n < 52; ++n) {
    const int i = n % 8;
    if (n != 0 && i == 0) {
      uint8_t r[16];
      for (int b = 0; b < 16; ++b) {
        // 25 = 3 bytes + 1 bit.
        r[b] = static_cast<uint8_t>((k[(b + 3) % 16] << 1) | (k[(b + 4) % 16] >> 7));
      }
      for (int b = 0; b < 16; ++b) k[b] = r[b];
    }
    enc_[n] = static_cast<uint16_t>(k[2 * i] << 8 | k[2 * i + 1]);
  }
  SecureWipe(k, sizeof k);
  // Decryption keys: inverses in reverse round order; the additive keys of
  // the inner rounds swap because of the swap inside each round.
  const uint16_t* z = enc_;
  dec_[0] = Inverse(z[48]);
  dec_[1] = static_cast<uint16_t>(-z[49]);
  dec_[2] = static_cast<uint16_t>(-z[50]);
  dec_[3] = Inverse(z[51]);
  for (int r = 1; r <= 8; ++r) {
    const int e = 6 * (8 - r);
    dec_[6 * r - 2] = z[e + 4];
    dec_[6 * r - 1] = z[e + 5];
    dec_[6 * r] = Inverse(z[e]);
    const bool outer = r == 8;
    dec_[6 * r + 1] = static_cast<uint16_t>(-z[e + (outer ? 1 : 2)]);
    dec_[6 * r + 2] = static_cast<uint16_t>(-z[e + (outer ? 2 : 1)]);
    dec_[6 * r + 3] = Inverse(z[e + 3]);
  }
  return true;
}

void Idea::EncryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept { Crypt(enc_, in, out); }
void Idea::DecryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept { Crypt(dec_, in, out); }

}  // namespace corvane
