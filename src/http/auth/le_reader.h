#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane::auth {

// Bounds-checked little-endian reader over a borrowed byte range, for the
// NTLM messages. A read that would pass the end fails, leaves its output
// untouched and makes every later read fail too, so a parser can check once
// after a run of reads. Nothing is ever read outside [data, data + size).
class LeReader {
 public:
  LeReader(const uint8_t* data, size_t size) noexcept : data_(data), size_(size) {}
  explicit LeReader(std::string_view bytes) noexcept
      : data_(reinterpret_cast<const uint8_t*>(bytes.data())), size_(bytes.size()) {}

  bool U16(uint16_t& v) noexcept {
    if (!Need(2)) return false;
    v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool U32(uint32_t& v) noexcept {
    if (!Need(4)) return false;
    v = uint32_t{data_[pos_]} | (uint32_t{data_[pos_ + 1]} << 8) |
        (uint32_t{data_[pos_ + 2]} << 16) | (uint32_t{data_[pos_ + 3]} << 24);
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

  // The bytes at [offset, offset + length) of the whole range, cut to the
  // bytes present: an offset past the end gives an empty view. Does not move
  // the read position.
  std::string_view Slice(uint32_t offset, uint32_t length) const noexcept {
    if (offset >= size_) return {};
    size_t n = size_ - offset;
    if (length < n) n = length;
    return {reinterpret_cast<const char*>(data_ + offset), n};
  }

  size_t Offset() const noexcept { return pos_; }
  size_t Remaining() const noexcept { return failed_ ? 0 : size_ - pos_; }
  bool Failed() const noexcept { return failed_; }

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

}  // namespace corvane::auth
