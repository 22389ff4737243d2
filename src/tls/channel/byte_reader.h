#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane::tls {

// Big-endian reader over a byte range. A read past the end fails, leaves the
// position where it was and makes ok() false; nothing is ever read out of
// bounds.
class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::string_view data) noexcept
      : p_(reinterpret_cast<const uint8_t*>(data.data())), size_(data.size()) {}
  ByteReader(const void* data, size_t size) noexcept
      : p_(static_cast<const uint8_t*>(data)), size_(size) {}

  size_t Remaining() const noexcept { return size_ - pos_; }
  size_t Position() const noexcept { return pos_; }
  bool ok() const noexcept { return ok_; }
  bool AtEnd() const noexcept { return pos_ == size_; }

  bool U8(uint32_t& v) noexcept { return Uint(1, v); }
  bool U16(uint32_t& v) noexcept { return Uint(2, v); }
  bool U24(uint32_t& v) noexcept { return Uint(3, v); }
  bool U32(uint32_t& v) noexcept { return Uint(4, v); }

  bool Skip(size_t n) noexcept {
    if (!Has(n)) return false;
    pos_ += n;
    return true;
  }
  // The next n bytes as a view (consumed).
  bool Bytes(size_t n, std::string_view& out) noexcept {
    if (!Has(n)) return false;
    out = {reinterpret_cast<const char*>(p_ + pos_), n};
    pos_ += n;
    return true;
  }
  // A sub-reader over the next n bytes (consumed).
  bool Sub(size_t n, ByteReader& out) noexcept {
    if (!Has(n)) return false;
    out = ByteReader(p_ + pos_, n);
    pos_ += n;
    return true;
  }
  // A length-prefixed block (prefix of 1, 2 or 3 bytes) as a sub-reader.
  bool Vector(int prefix, ByteReader& out) noexcept {
    size_t start = pos_;
    uint32_t n = 0;
    if (!Uint(prefix, n) || !Sub(n, out)) {
      pos_ = start;
      return false;
    }
    return true;
  }

 private:
  bool Has(size_t n) noexcept {
    if (n > size_ - pos_) {
      ok_ = false;
      return false;
    }
    return true;
  }
  bool Uint(int n, uint32_t& v) noexcept {
    if (!Has(static_cast<size_t>(n))) return false;
    uint32_t r = 0;
    for (int i = 0; i < n; ++i) r = (r << 8) | p_[pos_ + static_cast<size_t>(i)];
    pos_ += static_cast<size_t>(n);
    v = r;
    return true;
  }

  const uint8_t* p_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace corvane::tls
