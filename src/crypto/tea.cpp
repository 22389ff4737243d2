#include "crypto/tea.h"

#include "crypto/byte_order.h"

namespace corvane {
namespace {

constexpr uint32_t kDelta = 0x9e3779b9u;

}  // namespace

bool Tea::SetKey(const uint8_t* key, size_t keyLength, bool extended, int rounds) noexcept {
  if (keyLength != 16) return false;
  for (int i = 0; i < 4; ++i) k_[i] = detail::LoadBe32(key + 4 * i);
  extended_ = extended;
  cycles_ = rounds > 0 ? static_cast<uint32_t>((rounds + 1) / 2) : 32;
  return true;
}

void Tea::EncryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept {
  uint32_t v0 = detail::LoadBe32(in), v1 = detail::LoadBe32(in + 4), sum = 0;
  if (!extended_) {
    for (uint32_t i = 0; i < cycles_; ++i) {
      sum += kDelta;
      v0 += ((v1 << 4) + k_[0]) ^ (v1 + sum) ^ ((v1 >> 5) + k_[1]);
      v1 += ((v0 << 4) + k_[2]) ^ (v0 + sum) ^ ((v0 >> 5) + k_[3]);
    }
  } else {
    for (uint32_t i = 0; i < cycles_; ++i) {
      v0 += (((v1 << 4) ^ (v1 >> 5)) + v1) ^ (sum + k_[sum & 3]);
      sum += kDelta;
      v1 += (((v0 << 4) ^ (v0 >> 5)) + v0) ^ (sum + k_[(sum >> 11) & 3]);
    }
  }
  detail::StoreBe32(out, v0);
  detail::StoreBe32(out + 4, v1);
}

void Tea::DecryptBlock(const uint8_t in[8], uint8_t out[8]) const noexcept {
  uint32_t v0 = detail::LoadBe32(in), v1 = detail::LoadBe32(in + 4);
  uint32_t sum = kDelta * cycles_;
  if (!extended_) {
    for (uint32_t i = 0; i < cycles_; ++i) {
      v1 -= ((v0 << 4) + k_[2]) ^ (v0 + sum) ^ ((v0 >> 5) + k_[3]);
      v0 -= ((v1 << 4) + k_[0]) ^ (v1 + sum) ^ ((v1 >> 5) + k_[1]);
      sum -= kDelta;
    }
  } else {
    for (uint32_t i = 0; i < cycles_; ++i) {
      v1 -= (((v0 << 4) ^ (v0 >> 5)) + v0) ^ (sum + k_[(sum >> 11) & 3]);
      sum -= kDelta;
      v0 -= (((v1 << 4) ^ (v1 >> 5)) + v1) ^ (sum + k_[sum & 3]);
    }
  }
  detail::StoreBe32(out, v0);
  detail::StoreBe32(out + 4, v1);
}

bool Xxtea::SetKey(const uint8_t* key, size_t keyLength) noexcept {
  if (keyLength != 16) return false;
  for (int i = 0; i < 4; ++i) k_[i] = detail::LoadBe32(key + 4 * i);
  return true;
}

namespace {

inline uint32_t Mx(uint32_t sum, uint32_t y, uint32_t z, size_t p, uint32_t e, const uint32_t* k) {
  return (((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4))) ^ ((sum ^ y) + (k[(p & 3) ^ e] ^ z));
}

// The words are read and written in place through these helpers, so no
// buffer is allocated whatever the message length.
struct Words {
  uint8_t* p;
  uint32_t operator[](size_t i) const { return detail::LoadBe32(p + 4 * i); }
  void Set(size_t i, uint32_t v) const { detail::StoreBe32(p + 4 * i, v); }
};

}  // namespace

bool Xxtea::Encrypt(uint8_t* data, size_t len) const noexcept {
  if (len % 4 != 0 || len < 8) return false;
  const size_t n = len / 4;
  const Words v{data};
  uint32_t rounds = static_cast<uint32_t>(6 + 52 / n), sum = 0, z = v[n - 1], y;
  do {
    sum += kDelta;
    const uint32_t e = (sum >> 2) & 3;
    size_t p;
    for (p = 0; p < n - 1; ++p) {
      y = v[p + 1];
      z = v[p] + Mx(sum, y, z, p, e, k_);
      v.Set(p, z);
    }
    y = v[0];
    z = v[n - 1] + Mx(sum, y, z, p, e, k_);
    v.Set(n - 1, z);
  } while (--rounds != 0);
  return true;
}

bool Xxtea::Decrypt(uint8_t* data, size_t len) const noexcept {
  if (len % 4 != 0 || len < 8) return false;
  const size_t n = len / 4;
  const Words v{data};
  uint32_t rounds = static_cast<uint32_t>(6 + 52 / n), sum = rounds * kDelta, y = v[0], z;
  do {
    const uint32_t e = (sum >> 2) & 3;
    size_t p;
    for (p = n - 1; p > 0; --p) {
      z = v[p - 1];
      y = v[p] - Mx(sum, y, z, p, e, k_);
      v.Set(p, y);
    }
    z = v[n - 1];
    y = v[0] - Mx(sum, y, z, p, e, k_);
    v.Set(0, y);
    sum -= kDelta;
  } while (--rounds != 0);
  return true;
}

}  // namespace corvane
