#pragma once

#include <string_view>

#include "core/byte_buffer.h"

namespace corvane::auth {

// Appends a run of pieces to a buffer and remembers the first failure, so a
// header value can be composed in one expression and checked once.
template <int N>
class TextBuilder {
 public:
  explicit TextBuilder(BasicByteBuffer<N>& out) noexcept : out_(out) {}
  TextBuilder& operator<<(std::string_view piece) noexcept {
    if (rc_ == 0) rc_ = out_.Append(piece);
    return *this;
  }
  TextBuilder& operator<<(char c) noexcept {
    if (rc_ == 0) rc_ = out_.Append(c);
    return *this;
  }
  // 0, or the code of the first append that failed (200).
  int Result() const noexcept { return rc_; }

 private:
  BasicByteBuffer<N>& out_;
  int rc_ = 0;
};

// Replaces the content with text. An empty view (whose pointer may be null)
// just empties the buffer, so no copy is ever made from a null pointer.
template <int N>
int AssignText(BasicByteBuffer<N>& out, std::string_view text) noexcept {
  if (text.empty()) {
    out.Clear();
    return 0;
  }
  return out.Assign(text);
}

}  // namespace corvane::auth
