#include "crypto/blake2b.h"

#include <cstring>

#include "crypto/byte_order.h"

namespace corvane {

namespace {

using detail::LoadLe64;
using detail::Rotr64;
using detail::StoreLe64;

constexpr uint64_t kIv[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b, 0xa54ff53a5f1d36f1,
                             0x510e527fade682d1, 0x9b05688c2b3e6c1f, 0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};

// Message word order of each round (RFC 7693 2.7); rounds 10 and 11 repeat 0 and 1.
constexpr uint8_t kSigma[12][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4}, {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13}, {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11}, {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5}, {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
};

inline void Mix(uint64_t* v, int a, int b, int c, int d, uint64_t x, uint64_t y) noexcept {
  v[a] = v[a] + v[b] + x;
  v[d] = Rotr64(v[d] ^ v[a], 32);
  v[c] = v[c] + v[d];
  v[b] = Rotr64(v[b] ^ v[c], 24);
  v[a] = v[a] + v[b] + y;
  v[d] = Rotr64(v[d] ^ v[a], 16);
  v[c] = v[c] + v[d];
  v[b] = Rotr64(v[b] ^ v[c], 63);
}

}  // namespace

void Blake2b::Init(int digestSize, const void* key, size_t keySize) noexcept {
  if (digestSize < 1 || digestSize > kMaxDigestSize) digestSize = kMaxDigestSize;
  if (keySize > 64) keySize = 0;
  digestSize_ = digestSize;
  std::memcpy(h_, kIv, sizeof h_);
  // Parameter block: digest length, key length, fanout 1, depth 1.
  h_[0] ^= 0x01010000u ^ (static_cast<uint64_t>(keySize) << 8) ^ static_cast<uint64_t>(digestSize);
  counter_[0] = counter_[1] = 0;
  used_ = 0;
  std::memset(buffer_, 0, sizeof buffer_);
  if (keySize > 0) {
    // The key is the first block, zero-padded.
    std::memcpy(buffer_, key, keySize);
    used_ = kBlockSize;
  }
}

void Blake2b::Compress(const uint8_t* block, bool last) noexcept {
  uint64_t m[16];
  uint64_t v[16];
  for (int i = 0; i < 16; ++i) m[i] = LoadLe64(block + 8 * i);
  for (int i = 0; i < 8; ++i) {
    v[i] = h_[i];
    v[i + 8] = kIv[i];
  }
  v[12] ^= counter_[0];
  v[13] ^= counter_[1];
  if (last) v[14] = ~v[14];
  for (const auto& s : kSigma) {
    Mix(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
    Mix(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
    Mix(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
    Mix(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
    Mix(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
    Mix(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
    Mix(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
    Mix(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
  }
  for (int i = 0; i < 8; ++i) h_[i] ^= v[i] ^ v[i + 8];
}

void Blake2b::Update(const void* data, size_t len) noexcept {
  const auto* p = static_cast<const uint8_t*>(data);
  while (len > 0) {
    // The last block is compressed by Final with the final flag, so a full
    // buffer waits until more input shows it is not the last.
    if (used_ == kBlockSize) {
      counter_[0] += kBlockSize;
      if (counter_[0] < kBlockSize) ++counter_[1];
      Compress(buffer_, false);
      used_ = 0;
    }
    size_t take = kBlockSize - used_ < len ? kBlockSize - used_ : len;
    std::memcpy(buffer_ + used_, p, take);
    used_ += take;
    p += take;
    len -= take;
  }
}

const uint8_t* Blake2b::Final() noexcept {
  counter_[0] += used_;
  if (counter_[0] < used_) ++counter_[1];
  std::memset(buffer_ + used_, 0, kBlockSize - used_);
  Compress(buffer_, true);
  uint8_t full[64];
  for (int i = 0; i < 8; ++i) StoreLe64(full + 8 * i, h_[i]);
  std::memcpy(digest_, full, static_cast<size_t>(digestSize_));
  return digest_;
}

}  // namespace corvane
