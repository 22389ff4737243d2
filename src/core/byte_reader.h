#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane {

// Bounds-checked reader over a borrowed byte range, for the binary formats
// (HTTP/2 frames and HPACK, TLS handshake records, NTLM messages). Integers
// come in either byte order: U16Be/U24Be/U32Be for network order, U16Le/U32Le
// for little-endian. A read that would pass the end fails, leaves its output
// and the position untouched and makes every later read fail too, so a parser
// can check once after a run of reads. Nothing is ever read outside
// [data, data + size).
class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(const void* data, size_t size) noexcept
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  ByteReader(std::string_view bytes) noexcept  // NOLINT: implicit by design
      : data_(reinterpret_cast<const uint8_t*>(bytes.data())), size_(bytes.size()) {}

  template <std::unsigned_integral T>
  bool U8(T& v) noexcept {
    return Uint<1, false>(v);
  }
  template <std::unsigned_integral T>
  bool U16Be(T& v) noexcept {
    return Uint<2, false>(v);
  }
  template <std::unsigned_integral T>
  bool U24Be(T& v) noexcept {
    return Uint<3, false>(v);
  }
  template <std::unsigned_integral T>
  bool U32Be(T& v) noexcept {
    return Uint<4, false>(v);
  }
  template <std::unsigned_integral T>
  bool U16Le(T& v) noexcept {
    return Uint<2, true>(v);
  }
  template <std::unsigned_integral T>
  bool U32Le(T& v) noexcept {
    return Uint<4, true>(v);
  }

  // Points bytes at the next n bytes and steps over them (no copy).
  bool Bytes(size_t n, const uint8_t*& bytes) noexcept {
    if (!Need(n)) return false;
    bytes = data_ + pos_;
    pos_ += n;
    return true;
  }
  // The next n bytes as a view (consumed, no copy).
  bool Bytes(size_t n, std::string_view& bytes) noexcept {
    if (!Need(n)) return false;
    bytes = {reinterpret_cast<const char*>(data_ + pos_), n};
    pos_ += n;
    return true;
  }
  bool Skip(size_t n) noexcept {
    if (!Need(n)) return false;
    pos_ += n;
    return true;
  }
  // The next byte without consuming it.
  bool Peek(uint8_t& v) const noexcept {
    if (failed_ || pos_ >= size_) return false;
    v = data_[pos_];
    return true;
  }
  // A fresh reader over the next n bytes (consumed).
  bool Sub(size_t n, ByteReader& out) noexcept {
    if (!Need(n)) return false;
    out = ByteReader(data_ + pos_, n);
    pos_ += n;
    return true;
  }
  // A big-endian length-prefixed block (prefix of 1, 2 or 3 bytes, as TLS
  // vectors use, RFC 8446 3.4) as a fresh reader.
  bool Vector(int prefixBytes, ByteReader& out) noexcept {
    size_t start = pos_;
    uint32_t n = 0;
    bool read = false;
    switch (prefixBytes) {
      case 1:
        read = U8(n);
        break;
      case 2:
        read = U16Be(n);
        break;
      case 3:
        read = U24Be(n);
        break;
    }
    if (!read || !Sub(n, out)) {
      failed_ = true;
      pos_ = start;
      return false;
    }
    return true;
  }

  // The bytes at [offset, offset + length) of the whole range, cut to the
  // bytes present: an offset past the end gives an empty view. Does not move
  // the read position and works after a failure.
  std::string_view Slice(size_t offset, size_t length) const noexcept {
    if (offset >= size_) return {};
    size_t n = size_ - offset;
    if (length < n) n = length;
    return {reinterpret_cast<const char*>(data_ + offset), n};
  }

  size_t Position() const noexcept { return pos_; }
  // Zero once a read has failed.
  size_t Remaining() const noexcept { return failed_ ? 0 : size_ - pos_; }
  bool AtEnd() const noexcept { return pos_ == size_; }
  bool Failed() const noexcept { return failed_; }
  const uint8_t* Current() const noexcept { return data_ + pos_; }

 private:
  bool Need(size_t n) noexcept {
    if (failed_ || n > size_ - pos_) {
      failed_ = true;
      return false;
    }
    return true;
  }

  template <size_t N, bool kLittle, class T>
  bool Uint(T& v) noexcept {
    static_assert(sizeof(T) >= N, "output narrower than the field");
    if (!Need(N)) return false;
    uint32_t r = 0;
    for (size_t i = 0; i < N; ++i) {
      uint32_t b = data_[pos_ + (kLittle ? N - 1 - i : i)];
      r = (r << 8) | b;
    }
    pos_ += N;
    v = static_cast<T>(r);
    return true;
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
  bool failed_ = false;
};

}  // namespace corvane
