#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/byte_buffer.h"

namespace corvane::http2 {

// Bounds-checked big-endian reader over a borrowed byte range. A read that
// would pass the end fails, leaves the output untouched and makes every later
// read fail too, so a parser can check once after a run of reads. Nothing is
// ever read beyond [data, data + size).
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) noexcept : data_(data), size_(size) {}
  ByteReader(std::string_view bytes) noexcept  // NOLINT: implicit by design
      : data_(reinterpret_cast<const uint8_t*>(bytes.data())), size_(bytes.size()) {}

  bool U8(uint8_t& v) noexcept {
    if (!Need(1)) return false;
    v = data_[pos_++];
    return true;
  }
  bool U16(uint16_t& v) noexcept {
    if (!Need(2)) return false;
    v = static_cast<uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
    pos_ += 2;
    return true;
  }
  bool U24(uint32_t& v) noexcept {
    if (!Need(3)) return false;
    v = (uint32_t{data_[pos_]} << 16) | (uint32_t{data_[pos_ + 1]} << 8) | data_[pos_ + 2];
    pos_ += 3;
    return true;
  }
  bool U32(uint32_t& v) noexcept {
    if (!Need(4)) return false;
    v = (uint32_t{data_[pos_]} << 24) | (uint32_t{data_[pos_ + 1]} << 16) |
        (uint32_t{data_[pos_ + 2]} << 8) | data_[pos_ + 3];
    pos_ += 4;
    return true;
  }
  // Points bytes at the next n bytes and steps over them (no copy).
  bool Bytes(size_t n, const uint8_t*& bytes) noexcept {
    if (!Need(n)) return false;
    bytes = data_ + pos_;
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

  size_t Offset() const noexcept { return pos_; }
  size_t Remaining() const noexcept { return size_ - pos_; }
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

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool failed_ = false;
};

// Big-endian writer appending to a ByteBuffer. The first failed append (out of
// memory) sticks: later writes do nothing and Code() answers 200.
class ByteWriter {
 public:
  explicit ByteWriter(ByteBuffer& out) noexcept : out_(out) {}

  void U8(uint8_t v) noexcept { Put(&v, 1); }
  void U16(uint16_t v) noexcept {
    uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    Put(b, 2);
  }
  void U24(uint32_t v) noexcept {
    uint8_t b[3] = {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v)};
    Put(b, 3);
  }
  void U32(uint32_t v) noexcept {
    uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    Put(b, 4);
  }
  void Bytes(const void* data, size_t n) noexcept { Put(data, n); }
  void Bytes(std::string_view s) noexcept { Put(s.data(), s.size()); }
  void Zeros(size_t n) noexcept {
    static constexpr uint8_t kZeros[64] = {};
    while (n > 0 && code_ == 0) {
      size_t step = n < sizeof kZeros ? n : sizeof kZeros;
      Put(kZeros, step);
      n -= step;
    }
  }

  int Code() const noexcept { return code_; }

 private:
  void Put(const void* data, size_t n) noexcept {
    if (code_ != 0 || n == 0) return;
    if (n > static_cast<size_t>(INT32_MAX)) {
      code_ = kErrOutOfMemory;
      return;
    }
    code_ = out_.Append(data, static_cast<int>(n));
  }

  ByteBuffer& out_;
  int code_ = 0;
};

}  // namespace corvane::http2
