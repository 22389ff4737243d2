#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// RIPEMD-160 (Dobbertin, Bosselaers, Preneel, 1996).
class Ripemd160 {
 public:
  static constexpr int kDigestSize = 20;
  static constexpr int kBlockSize = 64;

  Ripemd160() noexcept { Init(); }
  void Init() noexcept;
  int Update(const void* data, size_t len) noexcept;
  const uint8_t* Final() noexcept;

 private:
  uint32_t state_[5];
  uint64_t bytes_;
  size_t used_;
  uint8_t buffer_[kBlockSize];
  uint8_t digest_[kDigestSize];
};

}  // namespace corvane
