#include "crypto/md5.h"

#include "crypto/byte_order.h"

namespace corvane::detail {
namespace {

// T[i] = floor(2^32 * |sin(i + 1)|), RFC 1321 3.4.
constexpr uint32_t kT[64] = {
    0xd76aa478u, 0xe8c7b756u, 0x242070dbu, 0xc1bdceeeu, 0xf57c0fafu, 0x4787c62au, 0xa8304613u, 0xfd469501u,
    0x698098d8u, 0x8b44f7afu, 0xffff5bb1u, 0x895cd7beu, 0x6b901122u, 0xfd987193u, 0xa679438eu, 0x49b40821u,
    0xf61e2562u, 0xc040b340u, 0x265e5a51u, 0xe9b6c7aau, 0xd62f105du, 0x02441453u, 0xd8a1e681u, 0xe7d3fbc8u,
    0x21e1cde6u, 0xc33707d6u, 0xf4d50d87u, 0x455a14edu, 0xa9e3e905u, 0xfcefa3f8u, 0x676f02d9u, 0x8d2a4c8au,
    0xfffa3942u, 0x8771f681u, 0x6d9d6122u, 0xfde5380cu, 0xa4beea44u, 0x4bdecfa9u, 0xf6bb4b60u, 0xbebfbc70u,
    0x289b7ec6u, 0xeaa127fau, 0xd4ef3085u, 0x04881d05u, 0xd9d4d039u, 0xe6db99e5u, 0x1fa27cf8u, 0xc4ac5665u,
    0xf4292244u, 0x432aff97u, 0xab9423a7u, 0xfc93a039u, 0x655b59c3u, 0x8f0ccc92u, 0xffeff47du, 0x85845dd1u,
    0x6fa87e4fu, 0xfe2ce6e0u, 0xa3014314u, 0x4e0811a1u, 0xf7537e82u, 0xbd3af235u, 0x2ad7d2bbu, 0xeb86d391u,
};

inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
// (x & z) and (y & ~z) never share a bit, so their OR is their sum; as a sum
// the term that waits for x (the previous step's result) can be added last.
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (y & ~z) + (x & z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

}  // namespace

// a, the message word and the constant are known before b: sum them first so
// that only f(b, c, d), one addition and the rotation wait for b.
#define MD5_STEP(f, a, b, c, d, k, s, i) a = b + Rotl32((a + x[k] + kT[i]) + f(b, c, d), s)

void Md5Algo::Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks != 0; --blocks, p += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLe32(p + 4 * i);
    const uint32_t aa = a, bb = b, cc = c, dd = d;
    MD5_STEP(F, a, b, c, d, 0, 7, 0);   MD5_STEP(F, d, a, b, c, 1, 12, 1);
    MD5_STEP(F, c, d, a, b, 2, 17, 2);  MD5_STEP(F, b, c, d, a, 3, 22, 3);
    MD5_STEP(F, a, b, c, d, 4, 7, 4);   MD5_STEP(F, d, a, b, c, 5, 12, 5);
    MD5_STEP(F, c, d, a, b, 6, 17, 6);  MD5_STEP(F, b, c, d, a, 7, 22, 7);
    MD5_STEP(F, a, b, c, d, 8, 7, 8);   MD5_STEP(F, d, a, b, c, 9, 12, 9);
    MD5_STEP(F, c, d, a, b, 10, 17, 10); MD5_STEP(F, b, c, d, a, 11, 22, 11);
    MD5_STEP(F, a, b, c, d, 12, 7, 12); MD5_STEP(F, d, a, b, c, 13, 12, 13);
    MD5_STEP(F, c, d, a, b, 14, 17, 14); MD5_STEP(F, b, c, d, a, 15, 22, 15);

    MD5_STEP(G, a, b, c, d, 1, 5, 16);  MD5_STEP(G, d, a, b, c, 6, 9, 17);
    MD5_STEP(G, c, d, a, b, 11, 14, 18); MD5_STEP(G, b, c, d, a, 0, 20, 19);
    MD5_STEP(G, a, b, c, d, 5, 5, 20);  MD5_STEP(G, d, a, b, c, 10, 9, 21);
    MD5_STEP(G, c, d, a, b, 15, 14, 22); MD5_STEP(G, b, c, d, a, 4, 20, 23);
    MD5_STEP(G, a, b, c, d, 9, 5, 24);  MD5_STEP(G, d, a, b, c, 14, 9, 25);
    MD5_STEP(G, c, d, a, b, 3, 14, 26); MD5_STEP(G, b, c, d, a, 8, 20, 27);
    MD5_STEP(G, a, b, c, d, 13, 5, 28); MD5_STEP(G, d, a, b, c, 2, 9, 29);
    MD5_STEP(G, c, d, a, b, 7, 14, 30); MD5_STEP(G, b, c, d, a, 12, 20, 31);

    MD5_STEP(H, a, b, c, d, 5, 4, 32);  MD5_STEP(H, d, a, b, c, 8, 11, 33);
    MD5_STEP(H, c, d, a, b, 11, 16, 34); MD5_STEP(H, b, c, d, a, 14, 23, 35);
    MD5_STEP(H, a, b, c, d, 1, 4, 36);  MD5_STEP(H, d, a, b, c, 4, 11, 37);
    MD5_STEP(H, c, d, a, b, 7, 16, 38); MD5_STEP(H, b, c, d, a, 10, 23, 39);
    MD5_STEP(H, a, b, c, d, 13, 4, 40); MD5_STEP(H, d, a, b, c, 0, 11, 41);
    MD5_STEP(H, c, d, a, b, 3, 16, 42); MD5_STEP(H, b, c, d, a, 6, 23, 43);
    MD5_STEP(H, a, b, c, d, 9, 4, 44);  MD5_STEP(H, d, a, b, c, 12, 11, 45);
    MD5_STEP(H, c, d, a, b, 15, 16, 46); MD5_STEP(H, b, c, d, a, 2, 23, 47);

    MD5_STEP(I, a, b, c, d, 0, 6, 48);  MD5_STEP(I, d, a, b, c, 7, 10, 49);
    MD5_STEP(I, c, d, a, b, 14, 15, 50); MD5_STEP(I, b, c, d, a, 5, 21, 51);
    MD5_STEP(I, a, b, c, d, 12, 6, 52); MD5_STEP(I, d, a, b, c, 3, 10, 53);
    MD5_STEP(I, c, d, a, b, 10, 15, 54); MD5_STEP(I, b, c, d, a, 1, 21, 55);
    MD5_STEP(I, a, b, c, d, 8, 6, 56);  MD5_STEP(I, d, a, b, c, 15, 10, 57);
    MD5_STEP(I, c, d, a, b, 6, 15, 58); MD5_STEP(I, b, c, d, a, 13, 21, 59);
    MD5_STEP(I, a, b, c, d, 4, 6, 60);  MD5_STEP(I, d, a, b, c, 11, 10, 61);
    MD5_STEP(I, c, d, a, b, 2, 15, 62); MD5_STEP(I, b, c, d, a, 9, 21, 63);
    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MD5_STEP

}  // namespace corvane::detail
