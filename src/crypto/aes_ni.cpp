// AES on the x86 AES instructions, selected at run time. CBC decryption and
// ECB run eight blocks at a time to hide the instruction latency; CBC
// encryption is inherently serial.
#include "crypto/aes.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace corvane::detail {
namespace {

#define AESNI_TARGET __attribute__((target("aes,sse4.1,ssse3")))

struct RoundKeys {
  __m128i k[15];
};

AESNI_TARGET inline void Load(RoundKeys& rk, const uint8_t* bytes, int rounds) {
  for (int i = 0; i <= rounds; ++i) rk.k[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(bytes + 16 * i));
}

AESNI_TARGET inline __m128i EncOne(const RoundKeys& rk, int rounds, __m128i b) {
  b = _mm_xor_si128(b, rk.k[0]);
  for (int r = 1; r < rounds; ++r) b = _mm_aesenc_si128(b, rk.k[r]);
  return _mm_aesenclast_si128(b, rk.k[rounds]);
}

AESNI_TARGET inline __m128i DecOne(const RoundKeys& rk, int rounds, __m128i b) {
  b = _mm_xor_si128(b, rk.k[0]);
  for (int r = 1; r < rounds; ++r) b = _mm_aesdec_si128(b, rk.k[r]);
  return _mm_aesdeclast_si128(b, rk.k[rounds]);
}

template <bool kEncrypt>
AESNI_TARGET inline void Eight(const RoundKeys& rk, int rounds, __m128i* b) {
  for (int i = 0; i < 8; ++i) b[i] = _mm_xor_si128(b[i], rk.k[0]);
  for (int r = 1; r < rounds; ++r) {
    const __m128i k = rk.k[r];
    for (int i = 0; i < 8; ++i) b[i] = kEncrypt ? _mm_aesenc_si128(b[i], k) : _mm_aesdec_si128(b[i], k);
  }
  const __m128i k = rk.k[rounds];
  for (int i = 0; i < 8; ++i) b[i] = kEncrypt ? _mm_aesenclast_si128(b[i], k) : _mm_aesdeclast_si128(b[i], k);
}

inline __m128i LoadU(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void StoreU(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

template <bool kEncrypt>
AESNI_TARGET void Ecb(const uint8_t* keys, int rounds, const uint8_t* in, uint8_t* out, size_t blocks) {
  RoundKeys rk;
  Load(rk, keys, rounds);
  for (; blocks >= 8; blocks -= 8, in += 128, out += 128) {
    __m128i b[8];
    for (int i = 0; i < 8; ++i) b[i] = LoadU(in + 16 * i);
    Eight<kEncrypt>(rk, rounds, b);
    for (int i = 0; i < 8; ++i) StoreU(out + 16 * i, b[i]);
  }
  for (; blocks != 0; --blocks, in += 16, out += 16) {
    StoreU(out, kEncrypt ? EncOne(rk, rounds, LoadU(in)) : DecOne(rk, rounds, LoadU(in)));
  }
}

}  // namespace

AESNI_TARGET void AesNiEncryptEcb(const uint8_t* rk, int rounds, const uint8_t* in, uint8_t* out,
                                  size_t blocks) noexcept {
  Ecb<true>(rk, rounds, in, out, blocks);
}

AESNI_TARGET void AesNiDecryptEcb(const uint8_t* rk, int rounds, const uint8_t* in, uint8_t* out,
                                  size_t blocks) noexcept {
  Ecb<false>(rk, rounds, in, out, blocks);
}

AESNI_TARGET void AesNiEncryptCbc(const uint8_t* keys, int rounds, uint8_t* iv, const uint8_t* in,
                                  uint8_t* out, size_t blocks) noexcept {
  RoundKeys rk;
  Load(rk, keys, rounds);
  __m128i c = LoadU(iv);
  if (rounds == 10 && blocks != 0) {
    // The common AES-128 case with the round count known to the compiler,
    // so the whole chain stays in registers. The chain is nothing but AES
    // rounds: the last round's key XOR also adds the next plaintext block
    // and the first round key, so the next block starts straight from it,
    // while the ciphertext itself comes from a second, independent last round.
    __m128i b = _mm_xor_si128(_mm_xor_si128(LoadU(in), c), rk.k[0]);
    for (;;) {
#pragma GCC unroll 9
      for (int r = 1; r < 10; ++r) b = _mm_aesenc_si128(b, rk.k[r]);
      StoreU(out, _mm_aesenclast_si128(b, rk.k[10]));
      if (--blocks == 0) break;
      in += 16;
      out += 16;
      b = _mm_aesenclast_si128(b, _mm_xor_si128(rk.k[10], _mm_xor_si128(LoadU(in), rk.k[0])));
    }
    c = LoadU(out);
  } else {
    for (; blocks != 0; --blocks, in += 16, out += 16) {
      c = EncOne(rk, rounds, _mm_xor_si128(LoadU(in), c));
      StoreU(out, c);
    }
  }
  StoreU(iv, c);
}

AESNI_TARGET void AesNiDecryptCbc(const uint8_t* keys, int rounds, uint8_t* iv, const uint8_t* in,
                                  uint8_t* out, size_t blocks) noexcept {
  RoundKeys rk;
  Load(rk, keys, rounds);
  __m128i prev = LoadU(iv);
  for (; blocks >= 8; blocks -= 8, in += 128, out += 128) {
    __m128i c[8], b[8];
    for (int i = 0; i < 8; ++i) b[i] = c[i] = LoadU(in + 16 * i);
    Eight<false>(rk, rounds, b);
    StoreU(out, _mm_xor_si128(b[0], prev));
    for (int i = 1; i < 8; ++i) StoreU(out + 16 * i, _mm_xor_si128(b[i], c[i - 1]));
    prev = c[7];
  }
  for (; blocks != 0; --blocks, in += 16, out += 16) {
    const __m128i c = LoadU(in);
    StoreU(out, _mm_xor_si128(DecOne(rk, rounds, c), prev));
    prev = c;
  }
  StoreU(iv, prev);
}

// CBC decryption with the 256-bit VAES forms: two blocks per instruction,
// eight blocks per pass. The vector of "previous ciphertexts" is the input
// shifted back by one block, read with an unaligned load.
__attribute__((target("vaes,avx2,aes,sse4.1,ssse3"))) void AesVaesDecryptCbc(const uint8_t* keys, int rounds,
                                                                             uint8_t* iv, const uint8_t* in,
                                                                             uint8_t* out, size_t blocks) noexcept {
  __m256i rk[15];
  for (int i = 0; i <= rounds; ++i) {
    rk[i] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(keys + 16 * i)));
  }
  __m128i prev = LoadU(iv);
  for (; blocks >= 8; blocks -= 8, in += 128, out += 128) {
    __m256i b[4], chain[4];
    for (int i = 0; i < 4; ++i) b[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32 * i));
    chain[0] = _mm256_inserti128_si256(_mm256_castsi128_si256(prev), LoadU(in), 1);
    for (int i = 1; i < 4; ++i) chain[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 32 * i - 16));
    prev = LoadU(in + 112);
    for (int i = 0; i < 4; ++i) b[i] = _mm256_xor_si256(b[i], rk[0]);
    for (int r = 1; r < rounds; ++r) {
      for (int i = 0; i < 4; ++i) b[i] = _mm256_aesdec_epi128(b[i], rk[r]);
    }
    for (int i = 0; i < 4; ++i) {
      b[i] = _mm256_xor_si256(_mm256_aesdeclast_epi128(b[i], rk[rounds]), chain[i]);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32 * i), b[i]);
    }
  }
  _mm256_zeroupper();
  StoreU(iv, prev);
  if (blocks != 0) AesNiDecryptCbc(keys, rounds, iv, in, out, blocks);
}

}  // namespace corvane::detail
#endif
