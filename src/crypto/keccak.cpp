#include "crypto/keccak.h"

#include <array>
#include <cstring>

#include "core/zero_memory.h"
#include "crypto/byte_order.h"

namespace corvane {
namespace {

using detail::Rotl64;

struct KeccakTables {
  std::array<uint64_t, 24> rc{};
  std::array<int, 24> rotation{};
  std::array<int, 24> lane{};
};

// Round constants from the degree-8 LFSR x^8 + x^6 + x^5 + x^4 + 1, and the
// rho offsets and pi walk, derived as in the Keccak reference (sections 1.2).
constexpr KeccakTables MakeTables() {
  KeccakTables t;
  unsigned lfsr = 1;
  for (int round = 0; round < 24; ++round) {
    uint64_t c = 0;
    for (int j = 0; j < 7; ++j) {
      if (lfsr & 1) c |= uint64_t{1} << ((1 << j) - 1);
      lfsr = (lfsr & 0x80) ? ((lfsr << 1) ^ 0x71) & 0xff : (lfsr << 1);
    }
    t.rc[round] = c;
  }
  int x = 1, y = 0;
  for (int s = 0; s < 24; ++s) {
    t.rotation[s] = ((s + 1) * (s + 2) / 2) % 64;
    int nx = y, ny = (2 * x + 3 * y) % 5;
    x = nx;
    y = ny;
    t.lane[s] = x + 5 * y;
  }
  return t;
}

constexpr KeccakTables kTables = MakeTables();

}  // namespace

namespace detail {

void KeccakF1600(uint64_t* a) noexcept {
  for (int round = 0; round < 24; ++round) {
    uint64_t c[5];
    for (int x = 0; x < 5; ++x) c[x] = a[x] ^ a[x + 5] ^ a[x + 10] ^ a[x + 15] ^ a[x + 20];
    for (int x = 0; x < 5; ++x) {
      const uint64_t d = c[(x + 4) % 5] ^ Rotl64(c[(x + 1) % 5], 1);
      for (int y = 0; y < 25; y += 5) a[y + x] ^= d;
    }
    // rho and pi together: walk the 24 lanes that move.
    uint64_t carry = a[1];
    for (int s = 0; s < 24; ++s) {
      const int j = kTables.lane[s];
      const uint64_t next = a[j];
      a[j] = Rotl64(carry, kTables.rotation[s]);
      carry = next;
    }
    for (int y = 0; y < 25; y += 5) {
      uint64_t row[5];
      for (int x = 0; x < 5; ++x) row[x] = a[y + x];
      for (int x = 0; x < 5; ++x) a[y + x] = row[x] ^ (~row[(x + 1) % 5] & row[(x + 2) % 5]);
    }
    a[0] ^= kTables.rc[round];
  }
}

}  // namespace detail

void Keccak::Init(int digestBits) noexcept {
  if (digestBits != 224 && digestBits != 384 && digestBits != 512) digestBits = 256;
  digestSize_ = digestBits / 8;
  rate_ = 200 - 2 * digestSize_;
  std::memset(state_, 0, sizeof state_);
  used_ = 0;
}

int Keccak::Update(const void* data, size_t len) noexcept {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint8_t* lanes = reinterpret_cast<uint8_t*>(state_);  // little-endian lanes
  const size_t rate = static_cast<size_t>(rate_);
  while (len != 0) {
    if (used_ == 0 && len >= rate && rate % 8 == 0) {
      for (size_t i = 0; i < rate / 8; ++i) state_[i] ^= detail::LoadLe64(p + 8 * i);
      detail::KeccakF1600(state_);
      p += rate;
      len -= rate;
      continue;
    }
    size_t take = rate - used_ < len ? rate - used_ : len;
    for (size_t i = 0; i < take; ++i) lanes[used_ + i] ^= p[i];
    used_ += take;
    p += take;
    len -= take;
    if (used_ == rate) {
      detail::KeccakF1600(state_);
      used_ = 0;
    }
  }
  return 0;
}

const uint8_t* Keccak::Final() noexcept {
  uint8_t* lanes = reinterpret_cast<uint8_t*>(state_);
  lanes[used_] ^= 0x01;
  lanes[rate_ - 1] ^= 0x80;
  detail::KeccakF1600(state_);
  std::memcpy(digest_, lanes, static_cast<size_t>(digestSize_));
  SecureWipe(state_, sizeof state_);
  used_ = 0;
  return digest_;
}

}  // namespace corvane
