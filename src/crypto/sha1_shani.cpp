// SHA-1 block function on the x86 SHA extensions, selected at run time.
#include "crypto/sha1.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace corvane::detail {

__attribute__((target("sha,sse4.1,ssse3"))) void Sha1CompressShaNi(uint32_t* state,
                                                                   const uint8_t* p,
                                                                   size_t blocks) noexcept {
  const __m128i kMask = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1b);
  __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
  for (; blocks != 0; --blocks, p += 64) {
    const __m128i abcdSave = abcd;
    const __m128i eSave = e0;
    __m128i m[4];
    __m128i e1;
    for (int i = 0; i < 4; ++i) {
      m[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i)), kMask);
    }
    // Twenty groups of four rounds; the message schedule runs three groups ahead.
#define SHA1_GROUP(g, eIn, eOut)                                          \
  do {                                                                    \
    if ((g) == 0) {                                                       \
      eIn = _mm_add_epi32(eIn, m[0]);                                     \
    } else {                                                              \
      eIn = _mm_sha1nexte_epu32(eIn, m[(g) & 3]);                         \
    }                                                                     \
    eOut = abcd;                                                          \
    if ((g) >= 3 && (g) <= 18) m[((g) + 1) & 3] = _mm_sha1msg2_epu32(m[((g) + 1) & 3], m[(g) & 3]); \
    abcd = _mm_sha1rnds4_epu32(abcd, eIn, (g) / 5);                       \
    if ((g) >= 1 && (g) <= 16) m[((g) + 3) & 3] = _mm_sha1msg1_epu32(m[((g) + 3) & 3], m[(g) & 3]); \
    if ((g) >= 2 && (g) <= 17) m[((g) + 2) & 3] = _mm_xor_si128(m[((g) + 2) & 3], m[(g) & 3]); \
  } while (0)
    SHA1_GROUP(0, e0, e1);
    SHA1_GROUP(1, e1, e0);
    SHA1_GROUP(2, e0, e1);
    SHA1_GROUP(3, e1, e0);
    SHA1_GROUP(4, e0, e1);
    SHA1_GROUP(5, e1, e0);
    SHA1_GROUP(6, e0, e1);
    SHA1_GROUP(7, e1, e0);
    SHA1_GROUP(8, e0, e1);
    SHA1_GROUP(9, e1, e0);
    SHA1_GROUP(10, e0, e1);
    SHA1_GROUP(11, e1, e0);
    SHA1_GROUP(12, e0, e1);
    SHA1_GROUP(13, e1, e0);
    SHA1_GROUP(14, e0, e1);
    SHA1_GROUP(15, e1, e0);
    SHA1_GROUP(16, e0, e1);
    SHA1_GROUP(17, e1, e0);
    SHA1_GROUP(18, e0, e1);
    SHA1_GROUP(19, e1, e0);
#undef SHA1_GROUP
    e0 = _mm_sha1nexte_epu32(e0, eSave);
    abcd = _mm_add_epi32(abcd, abcdSave);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1b));
  state[4] = static_cast<uint32_t>(_mm_extract_epi32(e0, 3));
}

}  // namespace corvane::detail
#endif
