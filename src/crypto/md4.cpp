#include "crypto/md4.h"

#include "crypto/byte_order.h"

namespace corvane::detail {

// RFC 1320 3.4: three rounds of sixteen steps.
void Md4Algo::Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept {
  static constexpr int kR2[16] = {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15};
  static constexpr int kR3[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};
  static constexpr int kS1[4] = {3, 7, 11, 19};
  static constexpr int kS2[4] = {3, 5, 9, 13};
  static constexpr int kS3[4] = {3, 9, 11, 15};
  for (; blocks != 0; --blocks, p += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLe32(p + 4 * i);
    uint32_t v[4] = {state[0], state[1], state[2], state[3]};
    // v[(4 - i) & 3] is the word updated in step i: a, d, c, b, a, ...
    for (int i = 0; i < 16; ++i) {
      uint32_t& a = v[(4 - i) & 3];
      uint32_t b = v[(5 - i) & 3], c = v[(6 - i) & 3], d = v[(7 - i) & 3];
      a = Rotl32((a + x[i]) + (d ^ (b & (c ^ d))), kS1[i & 3]);
    }
    for (int i = 0; i < 16; ++i) {
      uint32_t& a = v[(4 - i) & 3];
      uint32_t b = v[(5 - i) & 3], c = v[(6 - i) & 3], d = v[(7 - i) & 3];
      // The majority as two disjoint halves, so only one AND and one
      // addition wait for b, the word the previous step produced.
      a = Rotl32((a + x[kR2[i]] + 0x5a827999u + (c & d)) + (b & (c ^ d)), kS2[i & 3]);
    }
    for (int i = 0; i < 16; ++i) {
      uint32_t& a = v[(4 - i) & 3];
      uint32_t b = v[(5 - i) & 3], c = v[(6 - i) & 3], d = v[(7 - i) & 3];
      a = Rotl32((a + x[kR3[i]] + 0x6ed9eba1u) + (b ^ (c ^ d)), kS3[i & 3]);
    }
    for (int i = 0; i < 4; ++i) state[i] += v[i];
  }
}

}  // namespace corvane::detail
