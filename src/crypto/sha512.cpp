#include "crypto/sha512.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "core/cpu_features.h"
#include "crypto/byte_order.h"

namespace corvane {
namespace {

using detail::LoadBe64;
using detail::Rotr64;

// First 64 bits of the fractional parts of the cube roots of the first 80
// primes (FIPS 180-4 4.2.3).
alignas(16) constexpr uint64_t kK[80] = {
    0x428a2f98d728ae22ULL, 0x7137449123ef65cdULL, 0xb5c0fbcfec4d3b2fULL, 0xe9b5dba58189dbbcULL,
    0x3956c25bf348b538ULL, 0x59f111f1b605d019ULL, 0x923f82a4af194f9bULL, 0xab1c5ed5da6d8118ULL,
    0xd807aa98a3030242ULL, 0x12835b0145706fbeULL, 0x243185be4ee4b28cULL, 0x550c7dc3d5ffb4e2ULL,
    0x72be5d74f27b896fULL, 0x80deb1fe3b1696b1ULL, 0x9bdc06a725c71235ULL, 0xc19bf174cf692694ULL,
    0xe49b69c19ef14ad2ULL, 0xefbe4786384f25e3ULL, 0x0fc19dc68b8cd5b5ULL, 0x240ca1cc77ac9c65ULL,
    0x2de92c6f592b0275ULL, 0x4a7484aa6ea6e483ULL, 0x5cb0a9dcbd41fbd4ULL, 0x76f988da831153b5ULL,
    0x983e5152ee66dfabULL, 0xa831c66d2db43210ULL, 0xb00327c898fb213fULL, 0xbf597fc7beef0ee4ULL,
    0xc6e00bf33da88fc2ULL, 0xd5a79147930aa725ULL, 0x06ca6351e003826fULL, 0x142929670a0e6e70ULL,
    0x27b70a8546d22ffcULL, 0x2e1b21385c26c926ULL, 0x4d2c6dfc5ac42aedULL, 0x53380d139d95b3dfULL,
    0x650a73548baf63deULL, 0x766a0abb3c77b2a8ULL, 0x81c2c92e47edaee6ULL, 0x92722c851482353bULL,
    0xa2bfe8a14cf10364ULL, 0xa81a664bbc423001ULL, 0xc24b8b70d0f89791ULL, 0xc76c51a30654be30ULL,
    0xd192e819d6ef5218ULL, 0xd69906245565a910ULL, 0xf40e35855771202aULL, 0x106aa07032bbd1b8ULL,
    0x19a4c116b8d2d0c8ULL, 0x1e376c085141ab53ULL, 0x2748774cdf8eeb99ULL, 0x34b0bcb5e19b48a8ULL,
    0x391c0cb3c5c95a63ULL, 0x4ed8aa4ae3418acbULL, 0x5b9cca4f7763e373ULL, 0x682e6ff3d6b2b8a3ULL,
    0x748f82ee5defb2fcULL, 0x78a5636f43172f60ULL, 0x84c87814a1f0ab72ULL, 0x8cc702081a6439ecULL,
    0x90befffa23631e28ULL, 0xa4506cebde82bde9ULL, 0xbef9a3f7b2c67915ULL, 0xc67178f2e372532bULL,
    0xca273eceea26619cULL, 0xd186b8c721c0c207ULL, 0xeada7dd6cde0eb1eULL, 0xf57d4f7fee6ed178ULL,
    0x06f067aa72176fbaULL, 0x0a637dc5a2c898a6ULL, 0x113f9804bef90daeULL, 0x1b710b35131c471bULL,
    0x28db77f523047d84ULL, 0x32caab7b40c72493ULL, 0x3c9ebe0a15c9bebcULL, 0x431d67c49c100d4cULL,
    0x4cc5d4becb3e42b6ULL, 0x597f299cfc657e2aULL, 0x5fcb6fab3ad6faecULL, 0x6c44198c4a475817ULL,
};

inline uint64_t Ch(uint64_t x, uint64_t y, uint64_t z) { return z ^ (x & (y ^ z)); }
inline uint64_t Sigma0(uint64_t x) { return Rotr64(x, 28) ^ Rotr64(x, 34) ^ Rotr64(x, 39); }
inline uint64_t Sigma1(uint64_t x) { return Rotr64(x, 14) ^ Rotr64(x, 18) ^ Rotr64(x, 41); }
inline uint64_t sigma0(uint64_t x) { return Rotr64(x, 1) ^ Rotr64(x, 8) ^ (x >> 7); }
inline uint64_t sigma1(uint64_t x) { return Rotr64(x, 19) ^ Rotr64(x, 61) ^ (x >> 6); }

// The same renaming scheme as SHA-256: round r of each group of eight uses
// v[(8 - r) & 7] as a; fully unrolled so the renaming costs nothing. The
// rounds are bound by instruction count rather than latency, so each takes
// the cheapest forms: Maj as b ^ ((a ^ b) & (b ^ c)) with b ^ c carried over
// from the previous round's a ^ b (bc), and T1 summed once.
template <int R>
inline void Round(uint64_t* v, uint64_t kw, uint64_t& bc) {
  uint64_t& a = v[(8 - R) & 7];
  uint64_t& b = v[(9 - R) & 7];
  uint64_t& d = v[(11 - R) & 7];
  uint64_t& e = v[(12 - R) & 7];
  uint64_t& f = v[(13 - R) & 7];
  uint64_t& g = v[(14 - R) & 7];
  uint64_t& h = v[(15 - R) & 7];
  const uint64_t t1 = (h + kw) + Ch(e, f, g) + Sigma1(e);
  d += t1;
  const uint64_t ab = a ^ b;
  h = t1 + (b ^ (ab & bc)) + Sigma0(a);
  bc = ab;
}

template <int R>
inline uint64_t Expand(uint64_t* w) {
  return w[R] += sigma1(w[(R + 14) & 15]) + w[(R + 9) & 15] + sigma0(w[(R + 1) & 15]);
}

// Sixteen rounds starting at round t; the first sixteen read the message
// words, the later ones expand the schedule in place.
template <bool kExpand>
__attribute__((always_inline)) inline void Sixteen(uint64_t* v, uint64_t* w, const uint64_t* k,
                                                   uint64_t& bc) {
#define SHA512_ROUND(R)                                               \
  do {                                                                \
    uint64_t kw;                                                      \
    if constexpr (kExpand) {                                          \
      kw = k[R] + Expand<R>(w);                                       \
    } else {                                                          \
      kw = k[R] + w[R];                                               \
    }                                                                 \
    Round<R>(v, kw, bc);                                              \
  } while (0)
  SHA512_ROUND(0);
  SHA512_ROUND(1);
  SHA512_ROUND(2);
  SHA512_ROUND(3);
  SHA512_ROUND(4);
  SHA512_ROUND(5);
  SHA512_ROUND(6);
  SHA512_ROUND(7);
  SHA512_ROUND(8);
  SHA512_ROUND(9);
  SHA512_ROUND(10);
  SHA512_ROUND(11);
  SHA512_ROUND(12);
  SHA512_ROUND(13);
  SHA512_ROUND(14);
  SHA512_ROUND(15);
#undef SHA512_ROUND
}

__attribute__((always_inline)) inline void CompressBody(uint64_t* state, const uint8_t* p,
                                                        size_t blocks) noexcept {
  for (; blocks != 0; --blocks, p += 128) {
    uint64_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = LoadBe64(p + 8 * i);
    uint64_t v[8];
    for (int i = 0; i < 8; ++i) v[i] = state[i];
    uint64_t bc = v[1] ^ v[2];
    Sixteen<false>(v, w, kK, bc);
    for (int t = 16; t < 80; t += 16) Sixteen<true>(v, w, kK + t, bc);
    for (int i = 0; i < 8; ++i) state[i] += v[i];
  }
}

void CompressPortable(uint64_t* state, const uint8_t* p, size_t blocks) noexcept {
  CompressBody(state, p, blocks);
}

#if defined(__x86_64__)
// The same code built for BMI2, whose rorx rotates without touching the
// flags or the source register; chosen at run time.
__attribute__((target("bmi2"))) void CompressBmi2(uint64_t* state, const uint8_t* p,
                                                 size_t blocks) noexcept {
  CompressBody(state, p, blocks);
}
#endif

#if defined(__x86_64__)
#define SHA512_AVX_TARGET __attribute__((target("avx2,bmi2")))

// Two blocks at once: each 256-bit register holds the same two schedule
// words of both blocks (the first block in the low lane), so one pass of
// vector steps yields both schedules. The first block's rounds run between
// those steps; the second block's rounds then read their words from the
// table with no vector work left beside them.
SHA512_AVX_TARGET inline __m256i SimdSigma0x2(__m256i x) {
  return _mm256_xor_si256(
      _mm256_xor_si256(_mm256_or_si256(_mm256_srli_epi64(x, 1), _mm256_slli_epi64(x, 63)),
                       _mm256_or_si256(_mm256_srli_epi64(x, 8), _mm256_slli_epi64(x, 56))),
      _mm256_srli_epi64(x, 7));
}
SHA512_AVX_TARGET inline __m256i SimdSigma1x2(__m256i x) {
  return _mm256_xor_si256(
      _mm256_xor_si256(_mm256_or_si256(_mm256_srli_epi64(x, 19), _mm256_slli_epi64(x, 45)),
                       _mm256_or_si256(_mm256_srli_epi64(x, 61), _mm256_slli_epi64(x, 3))),
      _mm256_srli_epi64(x, 6));
}

// wk holds, per pair of rounds t, t + 1: W + K of the first block's two
// rounds, then of the second block's.
template <int J>
SHA512_AVX_TARGET inline void SimdStepx2(__m256i* x, uint64_t* wk, const uint64_t* k) {
  const __m256i w15 = _mm256_alignr_epi8(x[(J + 1) & 7], x[J], 8);
  const __m256i w7 = _mm256_alignr_epi8(x[(J + 5) & 7], x[(J + 4) & 7], 8);
  x[J] = _mm256_add_epi64(_mm256_add_epi64(x[J], SimdSigma0x2(w15)),
                          _mm256_add_epi64(w7, SimdSigma1x2(x[(J + 7) & 7])));
  const __m256i kk = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(k + 2 * J)));
  _mm256_store_si256(reinterpret_cast<__m256i*>(wk + 4 * J), _mm256_add_epi64(x[J], kk));
}

SHA512_AVX_TARGET __attribute__((always_inline)) inline void PairsBody(uint64_t* state,
                                                                        const uint8_t* p,
                                                                        size_t pairs) noexcept {
  const __m256i kSwap = _mm256_broadcastsi128_si256(
      _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7));
  alignas(32) uint64_t wk[160];
  for (; pairs != 0; --pairs, p += 256) {
    __m256i x[8];
    for (int i = 0; i < 8; ++i) {
      const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 128 + 16 * i));
      x[i] = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1), kSwap);
      const __m256i kk =
          _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kK + 2 * i)));
      _mm256_store_si256(reinterpret_cast<__m256i*>(wk + 4 * i), _mm256_add_epi64(x[i], kk));
    }
    uint64_t v[8];
    for (int i = 0; i < 8; ++i) v[i] = state[i];
    uint64_t bc = v[1] ^ v[2];
#define SHA512_PAIR(J)                                \
  Round<2 * (J)>(v, wk[2 * t + 4 * (J)], bc);         \
  Round<2 * (J) + 1>(v, wk[2 * t + 4 * (J) + 1], bc); \
  SimdStepx2<J>(x, wk + 2 * t + 32, kK + t + 16)
    for (int t = 0; t < 64; t += 16) {
      SHA512_PAIR(0);
      SHA512_PAIR(1);
      SHA512_PAIR(2);
      SHA512_PAIR(3);
      SHA512_PAIR(4);
      SHA512_PAIR(5);
      SHA512_PAIR(6);
      SHA512_PAIR(7);
    }
#undef SHA512_PAIR
#define SHA512_TAIL(R, OFF) Round<R>(v, wk[128 + 4 * ((R) / 2) + ((R) & 1) + (OFF)], bc)
#define SHA512_TAIL16(OFF)                                                                    \
  SHA512_TAIL(0, OFF); SHA512_TAIL(1, OFF); SHA512_TAIL(2, OFF); SHA512_TAIL(3, OFF);         \
  SHA512_TAIL(4, OFF); SHA512_TAIL(5, OFF); SHA512_TAIL(6, OFF); SHA512_TAIL(7, OFF);         \
  SHA512_TAIL(8, OFF); SHA512_TAIL(9, OFF); SHA512_TAIL(10, OFF); SHA512_TAIL(11, OFF);       \
  SHA512_TAIL(12, OFF); SHA512_TAIL(13, OFF); SHA512_TAIL(14, OFF); SHA512_TAIL(15, OFF)
    SHA512_TAIL16(0);
    for (int i = 0; i < 8; ++i) state[i] += v[i];
    // The second block: all eighty words are in the table.
    for (int i = 0; i < 8; ++i) v[i] = state[i];
    bc = v[1] ^ v[2];
#define SHA512_SECOND(R) Round<(R) & 15>(v, wk[t + 4 * (((R) & 15) / 2) + ((R) & 1) + 2], bc)
    for (int t = 0; t < 128; t += 32) {
      SHA512_SECOND(0); SHA512_SECOND(1); SHA512_SECOND(2); SHA512_SECOND(3);
      SHA512_SECOND(4); SHA512_SECOND(5); SHA512_SECOND(6); SHA512_SECOND(7);
      SHA512_SECOND(8); SHA512_SECOND(9); SHA512_SECOND(10); SHA512_SECOND(11);
      SHA512_SECOND(12); SHA512_SECOND(13); SHA512_SECOND(14); SHA512_SECOND(15);
    }
#undef SHA512_SECOND
    SHA512_TAIL16(2);
#undef SHA512_TAIL16
#undef SHA512_TAIL
    for (int i = 0; i < 8; ++i) state[i] += v[i];
  }
}

SHA512_AVX_TARGET void CompressAvx2Pairs(uint64_t* state, const uint8_t* p, size_t pairs) noexcept {
  PairsBody(state, p, pairs);
}

// The same code again where AVX-512VL is present: the compiler then turns the
// shift/shift/or rotates of the schedule into vprorq and the sigma XOR chains
// into vpternlogq, and has sixteen more vector registers to keep it in.
__attribute__((target("avx2,bmi2,avx512f,avx512vl"))) void CompressAvx512Pairs(
    uint64_t* state, const uint8_t* p, size_t pairs) noexcept {
  PairsBody(state, p, pairs);
}
#endif

}  // namespace

namespace detail {

void Sha512Algo::Compress(uint64_t* state, const uint8_t* p, size_t blocks) noexcept {
#if defined(__x86_64__)
  if (Cpu().avx2 && Cpu().bmi2) {
    if (blocks >= 2) {
      if (Cpu().avx512vl) {
        CompressAvx512Pairs(state, p, blocks / 2);
      } else {
        CompressAvx2Pairs(state, p, blocks / 2);
      }
    }
    // An odd last block (every message's final block, most often) takes the
    // scalar schedule: one block fills only half the vector lanes.
    if (blocks & 1) CompressBmi2(state, p + (blocks & ~size_t{1}) * 128, 1);
    return;
  }
  if (Cpu().bmi2) return CompressBmi2(state, p, blocks);
#endif
  CompressPortable(state, p, blocks);
}

}  // namespace detail
}  // namespace corvane
