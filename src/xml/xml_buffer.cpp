#include "xml/xml_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "core/error_codes.h"
#include "core/zero_memory.h"

namespace corvane {

namespace {

constexpr uint64_t kMaxContent = 0x7FFFFFF0u;
constexpr uint64_t kMapThreshold = 1u << 20;
constexpr uint64_t kPage = 4096;

uint64_t PageRound(uint64_t n) { return (n + kPage - 1) & ~(kPage - 1); }

// Huge pages turn a page fault per 4 KB into one per 2 MB; advisory only.
void AskHugePages(char* from, uint64_t n) noexcept {
#ifdef MADV_HUGEPAGE
  madvise(from, n, MADV_HUGEPAGE);
#else
  (void)from;
  (void)n;
#endif
}

}  // namespace

int XmlBuffer::Reserve(uint64_t n) noexcept {
  if (n <= cap_ && HasBlock()) return 0;
  if (n > kMaxContent) return kErrOutOfMemory;
  uint64_t cap = cap_ < 64 ? 64 : cap_;
  while (cap < n) cap += cap / 2;
  if (cap > kMaxContent) cap = kMaxContent;

  if (cap + 1 >= kMapThreshold) {
    uint64_t bytes = PageRound(cap + 1);
    uint64_t oldBytes = mapped_ ? PageRound(uint64_t{cap_} + 1) : 0;
    char* block;
    if (mapped_ && !ZeroMemoryEnabled()) {
      void* p = mremap(data_, oldBytes, bytes, MREMAP_MAYMOVE);
      if (p == MAP_FAILED) return kErrOutOfMemory;
      block = static_cast<char*>(p);
      AskHugePages(block, bytes);
    } else {
      void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (p == MAP_FAILED) return kErrOutOfMemory;
      block = static_cast<char*>(p);
      AskHugePages(block, bytes);
      if (HasBlock()) {
        std::memcpy(block, data_, uint64_t{len_} + 1);
        uint32_t len = len_;
        Release();
        len_ = len;
      } else {
        block[0] = '\0';
      }
    }
    data_ = block;
    cap_ = static_cast<uint32_t>(bytes - 1);
    mapped_ = true;
    return 0;
  }

  char* block;
  if (ZeroMemoryEnabled() && HasBlock()) {
    // realloc could leave the old block unwiped; move by hand.
    block = static_cast<char*>(std::malloc(cap + 1));
    if (block == nullptr) return kErrOutOfMemory;
    std::memcpy(block, data_, uint64_t{len_} + 1);
    SecureWipe(data_, uint64_t{cap_} + 1);
    std::free(data_);
  } else {
    bool had = HasBlock();
    block = static_cast<char*>(std::realloc(had ? data_ : nullptr, cap + 1));
    if (block == nullptr) return kErrOutOfMemory;
    if (!had) block[0] = '\0';
  }
  data_ = block;
  cap_ = static_cast<uint32_t>(cap);
  return 0;
}

int XmlBuffer::Append(const void* p, size_t n) noexcept {
  if (n == 0) return 0;
  if (int rc = Reserve(uint64_t{len_} + n); rc != 0) return rc;
  std::memcpy(data_ + len_, p, n);
  len_ += static_cast<uint32_t>(n);
  data_[len_] = '\0';
  return 0;
}

int XmlBuffer::Resize(uint64_t n) noexcept {
  if (int rc = Reserve(n); rc != 0) return rc;
  if (n > len_) std::memset(data_ + len_, 0, n - len_);
  len_ = static_cast<uint32_t>(n);
  data_[len_] = '\0';
  return 0;
}

int XmlBuffer::ExtendSlow(uint64_t n) noexcept {
  if (int rc = Reserve(uint64_t{len_} + n); rc != 0) return rc;
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
}

void XmlBuffer::Recycle(uint64_t keepBytes) noexcept {
  if (len_ > written_) written_ = len_;
  if (ZeroMemoryEnabled() || uint64_t{written_} + 1 > keepBytes) {
    Release();
  } else {
    Clear();
  }
}

void XmlBuffer::Release() noexcept {
  if (HasBlock()) {
    if (ZeroMemoryEnabled()) SecureWipe(data_, uint64_t{cap_} + 1);
    if (mapped_) {
      munmap(data_, PageRound(uint64_t{cap_} + 1));
    } else {
      std::free(data_);
    }
  }
  data_ = empty_;
  len_ = cap_ = written_ = 0;
  mapped_ = false;
}

}  // namespace corvane
