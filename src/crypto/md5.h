#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// MD5 (RFC 1321). Final() returns the digest held inside the object and
// wipes the chaining state; call Init() before the next message.
class Md5 {
 public:
  static constexpr int kDigestSize = 16;
  static constexpr int kBlockSize = 64;

  Md5() noexcept { Init(); }
  void Init() noexcept;
  int Update(const void* data, size_t len) noexcept;
  const uint8_t* Final() noexcept;

 private:
  uint32_t state_[4];
  uint64_t bytes_;
  size_t used_;
  uint8_t buffer_[kBlockSize];
  uint8_t digest_[kDigestSize];
};

}  // namespace corvane
