#include "xml/xml_buffer.h"

#include <cstring>

#include "core/error_codes.h"

namespace corvane {

namespace {

constexpr uint64_t kMaxContent = 0x7FFFFFF0u;

}  // namespace

void XmlBuffer::Adopt() noexcept {
  data_ = block_.data() != nullptr ? static_cast<char*>(block_.data()) : empty_;
  uint64_t bytes = block_.size();
  if (bytes > kMaxContent + 1) bytes = kMaxContent + 1;
  cap_ = HasBlock() ? static_cast<uint32_t>(bytes - 1) : 0;
}

int XmlBuffer::Reserve(uint64_t n) noexcept {
  if (n <= cap_ && HasBlock()) return 0;
  if (n > kMaxContent) return kErrOutOfMemory;
  uint64_t cap = cap_ + cap_ / 2;
  if (cap < n) cap = n;
  if (cap < 64) cap = 64;
  if (cap > kMaxContent) cap = kMaxContent;
  Unguard();
  // A block that has to move copies the content alone, not the slack.
  const bool ok = block_.Renew(cap + 1, HasBlock() ? uint64_t{len_} + 1 : 0);
  if (ok) {
    bool fresh = !HasBlock();
    Adopt();
    if (fresh) data_[0] = '\0';
  }
  Guard(0, block_.size(), uint64_t{len_} + 1);
  return ok ? 0 : kErrOutOfMemory;
}

int XmlBuffer::Append(const void* p, size_t n) noexcept {
  if (n == 0) return 0;
  if (int rc = Reserve(uint64_t{len_} + n); rc != 0) return rc;
  Guard(uint64_t{len_} + 1, uint64_t{len_} + n + 1, uint64_t{len_} + n + 1);
  std::memcpy(data_ + len_, p, n);
  len_ += static_cast<uint32_t>(n);
  data_[len_] = '\0';
  return 0;
}

int XmlBuffer::Resize(uint64_t n) noexcept {
  if (int rc = Reserve(n); rc != 0) return rc;
  if (n > len_) {
    Guard(uint64_t{len_} + 1, n + 1, n + 1);
    std::memset(data_ + len_, 0, n - len_);
  } else {
    Guard(n + 1, uint64_t{len_} + 1, n + 1);
  }
  len_ = static_cast<uint32_t>(n);
  data_[len_] = '\0';
  return 0;
}

int XmlBuffer::ExtendSlow(uint64_t n) noexcept {
  if (int rc = Reserve(uint64_t{len_} + n); rc != 0) return rc;
  Guard(uint64_t{len_} + 1, uint64_t{len_} + n + 1, uint64_t{len_} + n + 1);
  len_ += static_cast<uint32_t>(n);
  data_[len_] = '\0';
  return 0;
}

void XmlBuffer::Consume(uint32_t n) noexcept {
  if (n == 0 || !HasBlock()) return;
  if (n >= len_) {
    Clear();
    return;
  }
  std::memmove(data_, data_ + n, len_ - n);
  len_ -= n;
  data_[len_] = '\0';
  Guard(uint64_t{len_} + 1, uint64_t{len_} + n + 1, uint64_t{len_} + 1);
}

void XmlBuffer::Recycle(uint64_t keepBytes) noexcept {
  // The sentinel goes in before the pages are marked freeable: a page the
  // kernel takes back reads as zero, and one written after would stay held.
  Clear();
  Unguard();
  block_.Recycle(keepBytes);
  Adopt();
  Guard(0, block_.size(), 1);
}

void XmlBuffer::Release() noexcept {
  Unguard();
  block_.Release();
  Adopt();
  len_ = 0;
}

}  // namespace corvane
