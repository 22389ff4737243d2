#include "json/json_block.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

#include "core/zero_memory.h"

namespace corvane {

namespace {

// Below this a block stays on the malloc heap.
constexpr size_t kMapThreshold = size_t{4} << 20;
// Mappings are whole huge pages: the kernel then aligns them so that every
// page can be a huge one, and marking a kept block freeable acts on huge
// pages too. A tail of small pages cost a fault (or, once marked freeable, a
// dirty-bit trap) per 4 KB on every refill, measured at twice the time of the
// copy itself on a 50 MB answer.
constexpr size_t kHugePageSize = size_t{2} << 20;

size_t RoundToHugePages(size_t bytes) noexcept {
  return (bytes + kHugePageSize - 1) & ~(kHugePageSize - 1);
}

void* MapBlock(size_t bytes) noexcept {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  madvise(p, bytes, MADV_HUGEPAGE);  // advisory: without huge pages it still works
#endif
  return p;
}

}  // namespace

bool JsonBlock::Resize(size_t bytes) noexcept {
  if (bytes <= size_) return true;
  if (bytes < kMapThreshold) {
    // Still small: always on the heap, since a mapped block never shrinks back.
    void* p = nullptr;
    if (ZeroMemoryEnabled() && data_ != nullptr) {
      // realloc could leave the old block unwiped; move it by hand instead.
      p = std::malloc(bytes);
      if (p == nullptr) return false;
      std::memcpy(p, data_, size_);
      SecureWipe(data_, size_);
      std::free(data_);
    } else {
      p = std::realloc(data_, bytes);
      if (p == nullptr) return false;
    }
    data_ = p;
    size_ = bytes;
    return true;
  }
  bytes = RoundToHugePages(bytes);
  if (mapped_) {
    void* p = mremap(data_, size_, bytes, MREMAP_MAYMOVE);
    if (p == MAP_FAILED) return false;
#ifdef MADV_HUGEPAGE
    madvise(p, bytes, MADV_HUGEPAGE);
#endif
    data_ = p;
    size_ = bytes;
    return true;
  }
  void* p = MapBlock(bytes);
  if (p == nullptr) return false;
  if (data_ != nullptr) {
    std::memcpy(p, data_, size_);
    if (ZeroMemoryEnabled()) SecureWipe(data_, size_);
    std::free(data_);
  }
  data_ = p;
  size_ = bytes;
  mapped_ = true;
  return true;
}

void JsonBlock::Recycle(size_t keepBytes) noexcept {
  if (size_ > keepBytes || ZeroMemoryEnabled()) {
    Release();
    return;
  }
#ifdef MADV_FREE
  if (mapped_) madvise(data_, size_, MADV_FREE);  // advisory: the block stays valid either way
#endif
}

void JsonBlock::Release() noexcept {
  if (data_ == nullptr) return;
  if (ZeroMemoryEnabled()) SecureWipe(data_, size_);
  if (mapped_) {
    munmap(data_, size_);
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
}

}  // namespace corvane
