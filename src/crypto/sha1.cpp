#include "crypto/sha1.h"

#include "core/cpu_features.h"
#include "crypto/byte_order.h"

namespace corvane {
namespace detail {

// FIPS 180-4 6.1.2 with the 16-word rolling schedule.
void Sha1Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept {
  for (; blocks != 0; --blocks, p += 64) {
    uint32_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(p + 4 * i);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    auto round = [&](int t, uint32_t f, uint32_t k) {
      uint32_t wt;
      if (t < 16) {
        wt = w[t];
      } else {
        wt = Rotl32(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
        w[t & 15] = wt;
      }
      uint32_t tmp = ((e + k + wt) + f) + Rotl32(a, 5);
      e = d;
      d = c;
      c = Rotl32(b, 30);
      b = a;
      a = tmp;
    };
    for (int t = 0; t < 20; ++t) round(t, d ^ (b & (c ^ d)), 0x5a827999u);
    for (int t = 20; t < 40; ++t) round(t, b ^ c ^ d, 0x6ed9eba1u);
    for (int t = 40; t < 60; ++t) round(t, (b & c) | (d & (b | c)), 0x8f1bbcdcu);
    for (int t = 60; t < 80; ++t) round(t, b ^ c ^ d, 0xca62c1d6u);
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
}

void Sha1Algo::Compress(uint32_t* state, const uint8_t* p, size_t n) noexcept {
#if defined(__x86_64__)
  if (Cpu().shaNi) return Sha1CompressShaNi(state, p, n);
#endif
  Sha1Compress(state, p, n);
}

}  // namespace detail
}  // namespace corvane
