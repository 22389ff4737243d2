#pragma once

#include <cstddef>
#include <string_view>

#include "json/json_document.h"

// Fuzz builds set a small window, so that their small inputs slide it.
#ifndef CORVANE_JSON_WINDOW_BYTES
#define CORVANE_JSON_WINDOW_BYTES (size_t{64} << 10)
#endif

namespace corvane {

// The part of a caller's text that an events-only scan is in, copied into a
// small padded block that is refilled as the scan moves: such a parse never
// holds the whole input twice, and its copy stays in cache. Like a kept text,
// the copied bytes are followed by a NUL and kTextPadding more bytes, so the
// scanner's wide reads and fixed-size copies stay inside the block.
//
// A NUL met at End() is the window's, not the text's, unless the window is
// Final(): the scan then slides the window to the token it was in and reads
// that token again.
class JsonWindow {
 public:
  static constexpr size_t kBytes = CORVANE_JSON_WINDOW_BYTES;

  JsonWindow() = default;
  ~JsonWindow();
  JsonWindow(const JsonWindow&) = delete;
  JsonWindow& operator=(const JsonWindow&) = delete;

  // Starts on text, which must stay unchanged until the scan is done. False
  // when memory runs out.
  bool Start(std::string_view text) noexcept;
  // Moves the bytes from Data()[from] to End() to the front and refills the
  // rest. The window doubles when what it keeps fills more than half of it,
  // so a token longer than the window is read again only a few times. False
  // when memory runs out (the window is unchanged then).
  bool Slide(size_t from) noexcept;
  // Frees a block grown for a long token; a block of kBytes is kept.
  void Trim() noexcept;

  const unsigned char* Data() const noexcept { return block_; }
  // The text offset of Data()[0].
  size_t Offset() const noexcept { return offset_; }
  const unsigned char* End() const noexcept { return block_ + length_; }
  // The window holds the end of the text: its NUL ends the text too.
  bool Final() const noexcept { return offset_ + length_ == text_.size(); }
  // The text the window copies from.
  const unsigned char* Text() const noexcept {
    return reinterpret_cast<const unsigned char*>(text_.data());
  }

 private:
  bool Allocate(size_t capacity, size_t keepFrom, size_t keep) noexcept;
  void Fill(size_t kept) noexcept;

  std::string_view text_;
  unsigned char* block_ = nullptr;
  size_t capacity_ = 0;  // text bytes it can hold, the NUL and padding not counted
  size_t offset_ = 0;
  size_t length_ = 0;
};

}  // namespace corvane
