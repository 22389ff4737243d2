#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// SHA-256 and SHA-224 (FIPS 180-4): one block function, different initial
// values and digest lengths.
class Sha256 {
 public:
  static constexpr int kDigestSize = 32;
  static constexpr int kBlockSize = 64;

  Sha256() noexcept { Init(); }
  void Init() noexcept;
  int Update(const void* data, size_t len) noexcept;
  const uint8_t* Final() noexcept;

 protected:
  void Finish(int digestSize) noexcept;

  uint32_t state_[8];
  uint64_t bytes_;
  size_t used_;
  uint8_t buffer_[kBlockSize];
  uint8_t digest_[kDigestSize];
};

class Sha224 : public Sha256 {
 public:
  static constexpr int kDigestSize = 28;

  Sha224() noexcept { Init(); }
  void Init() noexcept;
  const uint8_t* Final() noexcept {
    Finish(kDigestSize);
    return digest_;
  }
};

namespace detail {
extern const uint32_t kSha256K[64];
void Sha256Compress(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
void Sha256CompressShaNi(uint32_t* state, const uint8_t* p, size_t blocks) noexcept;
}  // namespace detail

}  // namespace corvane
