#include "crypto/sha1.h"

#include "core/zero_memory.h"
#include "crypto/byte_order.h"
#include "crypto/cpu_features.h"
#include "crypto/md_padding.h"

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

}  // namespace detail

namespace {

void Compress(uint32_t* state, const uint8_t* p, size_t n) noexcept {
#if defined(__x86_64__)
  if (detail::Cpu().shaNi) return detail::Sha1CompressShaNi(state, p, n);
#endif
  detail::Sha1Compress(state, p, n);
}

}  // namespace

void Sha1::Init() noexcept {
  state_[0] = 0x67452301u;
  state_[1] = 0xefcdab89u;
  state_[2] = 0x98badcfeu;
  state_[3] = 0x10325476u;
  state_[4] = 0xc3d2e1f0u;
  bytes_ = 0;
  used_ = 0;
  overflow_ = false;
}

int Sha1::Update(const void* data, size_t len) noexcept {
  if (overflow_) return 1;
  // The bit count is 64 bits wide: at most 2^61 - 1 bytes fit.
  constexpr uint64_t kMaxBytes = (uint64_t{1} << 61) - 1;
  if (len > kMaxBytes - bytes_) {
    overflow_ = true;
    return 1;
  }
  bytes_ += len;
  detail::FeedBlocks<kBlockSize>(buffer_, used_, static_cast<const uint8_t*>(data), len,
                                 [this](const uint8_t* p, size_t n) { Compress(state_, p, n); });
  return 0;
}

const uint8_t* Sha1::Final() noexcept {
  if (overflow_) return nullptr;
  uint8_t length[8];
  detail::StoreBe64(length, bytes_ << 3);
  detail::FinishMd<kBlockSize>(buffer_, used_, length, 8,
                               [this](const uint8_t* p, size_t n) { Compress(state_, p, n); });
  for (int i = 0; i < 5; ++i) detail::StoreBe32(digest_ + 4 * i, state_[i]);
  SecureWipe(state_, sizeof state_);
  SecureWipe(buffer_, sizeof buffer_);
  bytes_ = 0;
  used_ = 0;
  return digest_;
}

}  // namespace corvane
