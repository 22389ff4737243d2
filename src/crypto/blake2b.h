#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// BLAKE2b (RFC 7693) with a digest of 1 to 64 bytes and an optional key of up
// to 64 bytes. Argon2 builds on it.
class Blake2b {
 public:
  static constexpr int kMaxDigestSize = 64;
  static constexpr int kBlockSize = 128;

  // digestSize outside 1-64 or keySize above 64 is taken as 64 / no key.
  explicit Blake2b(int digestSize = kMaxDigestSize, const void* key = nullptr, size_t keySize = 0) noexcept {
    Init(digestSize, key, keySize);
  }
  void Init(int digestSize, const void* key = nullptr, size_t keySize = 0) noexcept;
  void Update(const void* data, size_t len) noexcept;
  // The digest (DigestSize() bytes); valid until the next Init.
  const uint8_t* Final() noexcept;
  int DigestSize() const noexcept { return digestSize_; }

 private:
  void Compress(const uint8_t* block, bool last) noexcept;

  uint64_t h_[8];
  uint64_t counter_[2];
  uint8_t buffer_[kBlockSize];
  size_t used_;
  int digestSize_;
  uint8_t digest_[kMaxDigestSize];
};

}  // namespace corvane
