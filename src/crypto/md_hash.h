#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <type_traits>

#include "core/zero_memory.h"
#include "crypto/byte_order.h"

namespace corvane::detail {

// Feeds bytes through a B-byte block buffer; compress(blocks, count) is called
// with whole blocks, straight from the input when the buffer is empty so that
// bulk data is never copied.
template <size_t B, class Compress>
inline void FeedBlocks(uint8_t* buffer, size_t& used, const uint8_t* p, size_t len,
                       Compress&& compress) {
  if (used != 0) {
    size_t take = B - used < len ? B - used : len;
    std::memcpy(buffer + used, p, take);
    used += take;
    p += take;
    len -= take;
    if (used < B) return;
    compress(buffer, size_t{1});
    used = 0;
  }
  if (len >= B) {
    compress(p, len / B);
    p += len / B * B;
    len %= B;
  }
  if (len != 0) {
    std::memcpy(buffer, p, len);
    used = len;
  }
}

// Merkle-Damgard finishing: 0x80, zeros up to the length field, then the
// length field (already encoded by the caller in the algorithm's byte order)
// in the last lenBytes of the block.
template <size_t B, class Compress>
inline void FinishMd(uint8_t* buffer, size_t used, const uint8_t* lengthField, size_t lenBytes,
                     Compress&& compress) {
  buffer[used++] = 0x80;
  if (used > B - lenBytes) {
    std::memset(buffer + used, 0, B - used);
    compress(buffer, size_t{1});
    used = 0;
  }
  std::memset(buffer + used, 0, B - lenBytes - used);
  std::memcpy(buffer + B - lenBytes, lengthField, lenBytes);
  compress(buffer, size_t{1});
}

// The frame the MD4/MD5/RIPEMD/SHA families share around their block
// functions: sixteen-word blocks, the byte count, the padding with the bit
// count in two words, and the digest written out from the state. Algo gives
// kInit (the initial state; its element type is the word), kDigestSize,
// kBigEndian and Compress; a kMaxBytes, where given, caps the message length:
// past it Update returns 1 without hashing and Final yields nullptr.
// Final() returns the digest held inside the object and wipes the chaining
// state; call Init() before the next message.
template <class Algo>
class MdHash {
  using Word = std::remove_const_t<std::remove_extent_t<decltype(Algo::kInit)>>;
  static constexpr bool kCapped = requires { Algo::kMaxBytes; };

 public:
  static constexpr int kDigestSize = Algo::kDigestSize;
  static constexpr int kBlockSize = 16 * sizeof(Word);

  MdHash() noexcept { Init(); }

  void Init() noexcept {
    std::copy(std::begin(Algo::kInit), std::end(Algo::kInit), state_);
    bytes_ = bytesHi_ = 0;
    used_ = 0;
    overflow_ = false;
  }

  int Update(const void* data, size_t len) noexcept {
    if constexpr (kCapped) {
      if (overflow_ || len > Algo::kMaxBytes - bytes_) {
        overflow_ = true;
        return 1;
      }
    }
    bytes_ += len;
    if constexpr (sizeof(Word) == 8) bytesHi_ += bytes_ < len;
    FeedBlocks<kBlockSize>(buffer_, used_, static_cast<const uint8_t*>(data), len,
                           [this](const uint8_t* p, size_t n) { Algo::Compress(state_, p, n); });
    return 0;
  }

  const uint8_t* Final() noexcept {
    if constexpr (kCapped) {
      if (overflow_) return nullptr;
    }
    uint8_t length[2 * sizeof(Word)];
    if constexpr (!Algo::kBigEndian) {
      StoreLe64(length, bytes_ << 3);
    } else if constexpr (sizeof(Word) == 8) {
      StoreBe64(length, (bytesHi_ << 3) | (bytes_ >> 61));
      StoreBe64(length + 8, bytes_ << 3);
    } else {
      StoreBe64(length, bytes_ << 3);
    }
    FinishMd<kBlockSize>(buffer_, used_, length, sizeof length,
                         [this](const uint8_t* p, size_t n) { Algo::Compress(state_, p, n); });
    for (size_t i = 0; i < kDigestSize / sizeof(Word); ++i) {
      uint8_t* out = digest_ + i * sizeof(Word);
      if constexpr (!Algo::kBigEndian) {
        StoreLe32(out, state_[i]);
      } else if constexpr (sizeof(Word) == 8) {
        StoreBe64(out, state_[i]);
      } else {
        StoreBe32(out, state_[i]);
      }
    }
    SecureWipe(state_, sizeof state_);
    SecureWipe(buffer_, sizeof buffer_);
    bytes_ = bytesHi_ = 0;
    used_ = 0;
    return digest_;
  }

 private:
  Word state_[std::size(Algo::kInit)];
  uint64_t bytes_;
  uint64_t bytesHi_;  // the count's high word where the length field has 128 bits
  size_t used_;
  bool overflow_;
  uint8_t buffer_[kBlockSize];
  uint8_t digest_[kDigestSize];
};

}  // namespace corvane::detail
