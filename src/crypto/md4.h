#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// MD4 (RFC 1320); kept for the NTLM password hash.
class Md4 {
 public:
  static constexpr int kDigestSize = 16;
  static constexpr int kBlockSize = 64;

  Md4() noexcept { Init(); }
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
