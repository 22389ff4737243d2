#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// MD2 (RFC 1319).
class Md2 {
 public:
  static constexpr int kDigestSize = 16;
  static constexpr int kBlockSize = 16;

  Md2() noexcept { Init(); }
  void Init() noexcept;
  int Update(const void* data, size_t len) noexcept;
  const uint8_t* Final() noexcept;

 private:
  void Transform(const uint8_t* block) noexcept;

  uint8_t state_[48];  // 16 bytes of state and the 48-byte work area share storage
  uint8_t checksum_[16];
  uint8_t buffer_[16];
  size_t used_;
  uint8_t digest_[kDigestSize];
};

}  // namespace corvane
