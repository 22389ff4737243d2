#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/byte_buffer.h"

namespace corvane {

// Writer appending integers in either byte order to a ByteBuffer, the
// counterpart of ByteReader. The first failed append (out of memory) sticks:
// later writes do nothing and Code() answers 200.
class ByteWriter {
 public:
  explicit ByteWriter(ByteBuffer& out) noexcept : out_(out) {}

  void U8(uint8_t v) noexcept { Put(&v, 1); }
  void U16Be(uint16_t v) noexcept { Uint<2, false>(v); }
  void U24Be(uint32_t v) noexcept { Uint<3, false>(v); }
  void U32Be(uint32_t v) noexcept { Uint<4, false>(v); }
  void U16Le(uint16_t v) noexcept { Uint<2, true>(v); }
  void U32Le(uint32_t v) noexcept { Uint<4, true>(v); }
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
  template <size_t N, bool kLittle>
  void Uint(uint32_t v) noexcept {
    uint8_t b[N];
    for (size_t i = 0; i < N; ++i) {
      b[kLittle ? i : N - 1 - i] = static_cast<uint8_t>(v >> (8 * i));
    }
    Put(b, N);
  }

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

}  // namespace corvane
