#include "core/mapped_block.h"

#include <cstdlib>
#include <cstring>

#include "core/address_reservation.h"
#include "core/zero_memory.h"

namespace corvane {

namespace {

using reservation::kHugePage;
using reservation::RoundToHugePages;

// Past this no block is asked for: a size that cannot be rounded or
// reserved twice over.
constexpr size_t kMaxBytes = size_t{1} << 46;

// Reserved blocks are used in whole huge pages (RoundToHugePages), so every
// huge page the block needs can be a huge one. Small pages cost a fault (or,
// once marked freeable, a dirty-bit trap) per 4 KB on every refill: a 50 MB
// text in small pages took twice as long to refill as to copy.
size_t WholeHugePages(size_t bytes) noexcept {
  return bytes & ~(kHugePage - 1);
}

}  // namespace

bool MappedBlock::Allocate(size_t bytes) noexcept {
  if (bytes >= reservation::kThreshold) {
    const size_t used = RoundToHugePages(bytes);
    // Room to double: a block that outgrows even this moves once, by copy.
    const size_t span = used > reservation::kSize / 2 ? 2 * used : reservation::kSize;
    if (char* p = reservation::Reserve(used, span)) {
      data_ = p;
      size_ = used;
      span_ = span;
      hugeBytes_ = smallPageTail_ ? WholeHugePages(bytes) : used;
      AdvisePages();
      return true;
    }
  }
  // Small, or nothing could be reserved (under the sanitizers, or with the
  // address space limited): the heap.
  data_ = static_cast<char*>(std::malloc(bytes));
  if (data_ == nullptr) return false;
  size_ = bytes;
  return true;
}

bool MappedBlock::Renew(size_t bytes, size_t keep) noexcept {
  if (bytes <= size_) return true;
  if (bytes > kMaxBytes) return false;
  const size_t used = RoundToHugePages(bytes);
  if (span_ != 0 && used <= span_) {
    if (!reservation::Extend(data_, size_, used, span_)) return false;
    const size_t huge = smallPageTail_ ? WholeHugePages(bytes) : used;
    if (huge > hugeBytes_ && size_ > hugeBytes_ && keep <= hugeBytes_) {
      // Pages of the old small-page tail would stay small inside the huge
      // range; with nothing in them to keep, they go.
      reservation::Advise(data_, hugeBytes_, size_, reservation::Advice::discard);
    }
    size_ = used;
    hugeBytes_ = huge;
    AdvisePages();
    return true;
  }
  // A new block: the first, a heap block growing (moved by hand rather than
  // realloc'd: realloc remaps large blocks, and could leave the old one
  // unwiped), or a reservation outgrown.
  MappedBlock fresh(smallPageTail_);
  if (!fresh.Allocate(bytes)) return false;
  if (keep > size_) keep = size_;
  if (keep != 0) std::memcpy(fresh.data_, data_, keep);
  Release();
  data_ = fresh.data_;
  size_ = fresh.size_;
  span_ = fresh.span_;
  hugeBytes_ = fresh.hugeBytes_;
  fresh.data_ = nullptr;
  return true;
}

void MappedBlock::AdvisePages() noexcept {
  reservation::Advise(data_, 0, hugeBytes_, reservation::Advice::hugePages);
  reservation::Advise(data_, hugeBytes_, size_, reservation::Advice::smallPages);
}

void MappedBlock::Recycle(size_t keepBytes) noexcept {
  if (size_ > keepBytes || ZeroMemoryEnabled()) {
    Release();
    return;
  }
  // Only the huge pages: the small-page tail (under 2 MB) stays as it is,
  // since marking it would cost a trap per page on the next refill.
  if (span_ != 0) reservation::Advise(data_, 0, hugeBytes_, reservation::Advice::freeable);
}

void MappedBlock::Release() noexcept {
  if (data_ == nullptr) return;
  if (span_ != 0) {
    if (ZeroMemoryEnabled()) reservation::WipeResident(data_, size_);
    reservation::Release(data_, span_);
  } else {
    if (ZeroMemoryEnabled()) SecureWipe(data_, size_);
    std::free(data_);
  }
  data_ = nullptr;
  size_ = 0;
  span_ = 0;
  hugeBytes_ = 0;
}

}  // namespace corvane
