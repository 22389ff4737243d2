// SHA-256 block function on the x86 SHA extensions, selected at run time.
#include "crypto/sha256.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace corvane::detail {

__attribute__((target("sha,sse4.1,ssse3"))) void Sha256CompressShaNi(uint32_t* state,
                                                                     const uint8_t* p,
                                                                     size_t blocks) noexcept {
  const __m128i kMask = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
  // The instructions want the state as ABEF and CDGH.
  __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xb1);
  __m128i s1 = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1b);
  __m128i s0 = _mm_alignr_epi8(tmp, s1, 8);
  s1 = _mm_blend_epi16(s1, tmp, 0xf0);
  const __m128i* k = reinterpret_cast<const __m128i*>(kSha256K);
  for (; blocks != 0; --blocks, p += 64) {
    const __m128i s0Save = s0;
    const __m128i s1Save = s1;
    __m128i m[4];
    for (int i = 0; i < 4; ++i) {
      m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)), kMask);
    }
    // Sixteen groups of four rounds; the schedule runs three groups ahead.
#pragma GCC unroll 16
    for (int g = 0; g < 16; ++g) {
      __m128i msg = _mm_add_epi32(m[g & 3], _mm_load_si128(k + g));
      s1 = _mm_sha256rnds2_epu32(s1, s0, msg);
      if (g >= 3 && g <= 14) {
        __m128i& next = m[(g + 1) & 3];
        next = _mm_add_epi32(next, _mm_alignr_epi8(m[g & 3], m[(g + 3) & 3], 4));
        next = _mm_sha256msg2_epu32(next, m[g & 3]);
      }
      msg = _mm_shuffle_epi32(msg, 0x0e);
      s0 = _mm_sha256rnds2_epu32(s0, s1, msg);
      if (g >= 1 && g <= 12) m[(g + 3) & 3] = _mm_sha256msg1_epu32(m[(g + 3) & 3], m[g & 3]);
    }
    s0 = _mm_add_epi32(s0, s0Save);
    s1 = _mm_add_epi32(s1, s1Save);
  }
  tmp = _mm_shuffle_epi32(s0, 0x1b);
  s1 = _mm_shuffle_epi32(s1, 0xb1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(tmp, s1, 0xf0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(s1, tmp, 8));
}

}  // namespace corvane::detail
#endif
