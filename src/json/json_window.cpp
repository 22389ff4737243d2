#include "json/json_window.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace corvane {

JsonWindow::~JsonWindow() {
  std::free(block_);
}

bool JsonWindow::Start(std::string_view text) noexcept {
  text_ = text;
  offset_ = 0;
  length_ = 0;
  size_t wanted = std::min(text.size(), kBytes);
  if ((block_ == nullptr || capacity_ < wanted) && !Allocate(wanted, 0, 0)) return false;
  Fill(0);
  return true;
}

bool JsonWindow::Slide(size_t from) noexcept {
  size_t keep = length_ - from;
  if (keep > capacity_ / 2) {
    // Never more than the rest of the text: the last slide of a long token
    // then makes the window final.
    size_t rest = text_.size() - offset_ - from;
    if (!Allocate(std::min(capacity_ * 2, rest), from, keep)) return false;
  } else {
    std::memmove(block_, block_ + from, keep);
  }
  offset_ += from;
  Fill(keep);
  return true;
}

void JsonWindow::Trim() noexcept {
  text_ = {};
  offset_ = 0;
  length_ = 0;
  if (capacity_ <= kBytes) return;
  std::free(block_);
  block_ = nullptr;
  capacity_ = 0;
}

bool JsonWindow::Allocate(size_t capacity, size_t keepFrom, size_t keep) noexcept {
  auto* block = static_cast<unsigned char*>(std::malloc(capacity + 1 + JsonDocument::kTextPadding));
  if (block == nullptr) return false;
  if (keep != 0) std::memcpy(block, block_ + keepFrom, keep);
  std::free(block_);
  block_ = block;
  capacity_ = capacity;
  return true;
}

void JsonWindow::Fill(size_t kept) noexcept {
  size_t from = offset_ + kept;
  size_t n = std::min(capacity_ - kept, text_.size() - from);
  if (n != 0) std::memcpy(block_ + kept, text_.data() + from, n);
  length_ = kept + n;
  std::memset(block_ + length_, 0, 1 + JsonDocument::kTextPadding);
}

}  // namespace corvane
