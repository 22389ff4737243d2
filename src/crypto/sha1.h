#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// SHA-1 (FIPS 180-4). Once the 64-bit bit count would overflow, the record
// sets its overflow flag: Update returns 1 without hashing and Final yields
// nullptr.
class Sha1 {
 public:
  static constexpr int kDigestSize = 20;
  static constexpr int kBlockSize = 64;

  Sha1() noexcept { Init(); }
  void Init() noexcept;
  int Update(const void* data, size_t len) noexcept;
  const uint8_t* Final() noexcept;

  // Lets tests reach the overflow without hashing 2^61 bytes.
  void SetByteCountForTest(uint64_t bytes) noexcept { bytes_ = bytes; }

 private:
  uint32_t state_[5];
  uint64_t bytes_;
  size_t used_;
  bool overflow_;
  uint8_t buffer_[kBlockSize];
  uint8_t digest_[kDigestSize];
};

namespace detail {
void Sha1Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
void Sha1CompressShaNi(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
}  // namespace detail

}  // namespace corvane
