#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "core/error_codes.h"

namespace corvane {

// A growable byte string that keeps its capacity when emptied, for the
// parser's working buffers (text accumulators, names, attribute values) that
// are refilled thousands of times per document. Mutators return 0 or 200.
class XmlBytes {
 public:
  XmlBytes() = default;
  ~XmlBytes() { std::free(data_); }
  XmlBytes(const XmlBytes&) = delete;
  XmlBytes& operator=(const XmlBytes&) = delete;

  std::string_view view() const noexcept { return {data_ ? data_ : "", len_}; }
  const char* data() const noexcept { return data_; }
  uint32_t size() const noexcept { return len_; }
  bool empty() const noexcept { return len_ == 0; }
  void Clear() noexcept { len_ = 0; }
  void Truncate(uint32_t n) noexcept {
    if (n < len_) len_ = n;
  }
  // Frees the block (used by reset so one huge document does not pin memory).
  void Release() noexcept {
    std::free(data_);
    data_ = nullptr;
    len_ = cap_ = 0;
  }

  int Append(const char* p, size_t n) noexcept {
    if (n > cap_ - len_) {
      if (int rc = Grow(n); rc != 0) return rc;
    }
    if (n) std::memcpy(data_ + len_, p, n);
    len_ += static_cast<uint32_t>(n);
    return 0;
  }
  int Append(std::string_view s) noexcept { return Append(s.data(), s.size()); }
  int Assign(std::string_view s) noexcept {
    len_ = 0;
    return Append(s);
  }

 private:
  int Grow(size_t n) noexcept {
    uint64_t need = uint64_t{len_} + n;
    if (need > 0x7FFFFFF0u) return kErrOutOfMemory;
    uint64_t cap = cap_ ? cap_ : 32;
    while (cap < need) cap += cap / 2;
    if (cap > 0x7FFFFFF0u) cap = 0x7FFFFFF0u;
    char* block = static_cast<char*>(std::realloc(data_, static_cast<size_t>(cap)));
    if (block == nullptr) return kErrOutOfMemory;
    data_ = block;
    cap_ = static_cast<uint32_t>(cap);
    return 0;
  }

  char* data_ = nullptr;
  uint32_t len_ = 0;
  uint32_t cap_ = 0;
};

}  // namespace corvane
