#include "core/mapped_block.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "core/zero_memory.h"

namespace corvane {

namespace {

// Below this a block stays on the malloc heap.
constexpr size_t kMapThreshold = size_t{4} << 20;
// Mappings are rounded up to whole huge pages, so the kernel aligns them and
// every whole huge page the block needs can be a huge one. Small pages cost a
// fault (or, once marked freeable, a dirty-bit trap) per 4 KB on every
// refill: a 50 MB text in small pages took twice as long to refill as to copy.
constexpr size_t kHugePageSize = size_t{2} << 20;

size_t RoundToHugePages(size_t bytes) noexcept {
  return (bytes + kHugePageSize - 1) & ~(kHugePageSize - 1);
}

size_t WholeHugePages(size_t bytes) noexcept { return bytes & ~(kHugePageSize - 1); }

// Huge pages for the leading whole huge pages of a mapped block, small ones
// for the rest. Advisory: without huge pages the block still works.
void AdvisePages(void* p, size_t bytes, size_t huge) noexcept {
#if defined(MADV_HUGEPAGE) && defined(MADV_NOHUGEPAGE)
  auto* base = static_cast<unsigned char*>(p);
  if (huge != 0) madvise(base, huge, MADV_HUGEPAGE);
  if (bytes > huge) madvise(base + huge, bytes - huge, MADV_NOHUGEPAGE);
#endif
}

// Wipes a block before it is freed while ZeroMemory is on. Of a mapping only
// the resident pages hold bytes: writing the others would fault in memory
// that a reserve sized from the input's length never used.
void WipeBlock(void* p, size_t bytes, bool mapped) noexcept {
  if (!mapped) {
    SecureWipe(p, bytes);
    return;
  }
  static const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  constexpr size_t kBatch = 4096;  // pages per mincore call
  unsigned char resident[kBatch];
  auto* base = static_cast<unsigned char*>(p);
  for (size_t at = 0; at < bytes; at += kBatch * kPage) {
    size_t span = bytes - at < kBatch * kPage ? bytes - at : kBatch * kPage;
    if (mincore(base + at, span, resident) != 0) {
      SecureWipe(base + at, span);  // unknown: wipe it all
      continue;
    }
    for (size_t i = 0; i * kPage < span; ++i) {
      if (resident[i] & 1) SecureWipe(base + at + i * kPage, span - i * kPage < kPage ? span - i * kPage : kPage);
    }
  }
}

void* MapBlock(size_t bytes) noexcept {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

}  // namespace

bool MappedBlock::Resize(size_t bytes) noexcept {
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
  const size_t huge = smallPageTail_ ? WholeHugePages(bytes) : RoundToHugePages(bytes);
  bytes = RoundToHugePages(bytes);
  if (mapped_) {
    // A block with both huge and small pages is two mappings, which mremap
    // cannot move as one (EFAULT); those are copied instead, below.
    void* p = mremap(data_, size_, bytes, MREMAP_MAYMOVE);
    if (p != MAP_FAILED) {
      AdvisePages(p, bytes, huge);
      data_ = p;
      size_ = bytes;
      hugeBytes_ = huge;
      return true;
    }
  }
  void* p = MapBlock(bytes);
  if (p == nullptr) return false;
  AdvisePages(p, bytes, huge);
  if (data_ != nullptr) {
    std::memcpy(p, data_, size_);
    Release();
  }
  data_ = p;
  size_ = bytes;
  hugeBytes_ = huge;
  mapped_ = true;
  return true;
}

bool MappedBlock::Renew(size_t bytes, size_t keep) noexcept {
  MappedBlock fresh(smallPageTail_);
  if (!fresh.Resize(bytes)) return false;
  if (keep > size_) keep = size_;
  if (keep != 0) std::memcpy(fresh.data_, data_, keep);
  Release();
  data_ = fresh.data_;
  size_ = fresh.size_;
  hugeBytes_ = fresh.hugeBytes_;
  mapped_ = fresh.mapped_;
  fresh.data_ = nullptr;
  return true;
}

void MappedBlock::Recycle(size_t keepBytes) noexcept {
  if (size_ > keepBytes || ZeroMemoryEnabled()) {
    Release();
    return;
  }
#ifdef MADV_FREE
  // Only the huge pages: the small-page tail (under 2 MB) stays as it is,
  // since marking it would cost a trap per page on the next refill.
  if (mapped_ && hugeBytes_ != 0) madvise(data_, hugeBytes_, MADV_FREE);  // advisory
#endif
}

void MappedBlock::Release() noexcept {
  if (data_ == nullptr) return;
  if (ZeroMemoryEnabled()) WipeBlock(data_, size_, mapped_);
  if (mapped_) {
    munmap(data_, size_);
  } else {
    std::free(data_);
  }
  data_ = nullptr;
  size_ = 0;
  hugeBytes_ = 0;
  mapped_ = false;
}

}  // namespace corvane
