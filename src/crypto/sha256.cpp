#include "crypto/sha256.h"

#include "core/cpu_features.h"
#include "crypto/byte_order.h"

namespace corvane {
namespace detail {

// First 32 bits of the fractional parts of the cube roots of the first 64
// primes (FIPS 180-4 4.2.2).
alignas(16) const uint32_t kSha256K[64] = {
    0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u, 0xab1c5ed5u,
    0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu, 0x9bdc06a7u, 0xc19bf174u,
    0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu, 0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau,
    0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u, 0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u,
    0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu, 0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u,
    0xa2bfe8a1u, 0xa81a664bu, 0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u,
    0x19a4c116u, 0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
    0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u, 0xc67178f2u,
};

namespace {
inline uint32_t Ch(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t Maj(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (z & (x | y)); }
inline uint32_t Sigma0(uint32_t x) { return Rotr32(x, 2) ^ Rotr32(x, 13) ^ Rotr32(x, 22); }
inline uint32_t Sigma1(uint32_t x) { return Rotr32(x, 6) ^ Rotr32(x, 11) ^ Rotr32(x, 25); }
inline uint32_t sigma0(uint32_t x) { return Rotr32(x, 7) ^ Rotr32(x, 18) ^ (x >> 3); }
inline uint32_t sigma1(uint32_t x) { return Rotr32(x, 17) ^ Rotr32(x, 19) ^ (x >> 10); }
}  // namespace

void Sha256Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept {
  for (; blocks != 0; --blocks, p += 64) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(p + 4 * i);
    uint32_t v[8];
    for (int i = 0; i < 8; ++i) v[i] = state[i];
    // Rounds rename the working variables instead of moving them: in round t,
    // a is v[(0 - t) & 7], b is v[(1 - t) & 7], ...
    for (int t = 0; t < 64; t += 8) {
      for (int r = 0; r < 8; ++r) {
        const int i = t + r;
        uint32_t wt;
        if (i < 16) {
          wt = w[i];
        } else {
          wt = w[i & 15] += sigma1(w[(i + 14) & 15]) + w[(i + 9) & 15] + sigma0(w[(i + 1) & 15]);
        }
        uint32_t& a = v[(8 - r) & 7];
        uint32_t& b = v[(9 - r) & 7];
        uint32_t& c = v[(10 - r) & 7];
        uint32_t& d = v[(11 - r) & 7];
        uint32_t& e = v[(12 - r) & 7];
        uint32_t& f = v[(13 - r) & 7];
        uint32_t& g = v[(14 - r) & 7];
        uint32_t& h = v[(15 - r) & 7];
        // Early terms first, the ones waiting for e and a last (see sha512.cpp).
        const uint32_t hk = h + kSha256K[i] + wt;
        const uint32_t ch = Ch(e, f, g);
        const uint32_t s1 = Sigma1(e);
        const uint32_t t1 = (hk + ch) + s1;
        d = ((d + hk) + ch) + s1;
        h = (t1 + Maj(a, b, c)) + Sigma0(a);
      }
    }
    for (int i = 0; i < 8; ++i) state[i] += v[i];
  }
}

void Sha256Algo::Compress(uint32_t* state, const uint8_t* p, size_t n) noexcept {
#if defined(__x86_64__)
  if (Cpu().shaNi) return Sha256CompressShaNi(state, p, n);
#endif
  Sha256Compress(state, p, n);
}

}  // namespace detail
}  // namespace corvane
