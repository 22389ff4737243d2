#include "core/address_reservation.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "core/zero_memory.h"

namespace corvane::reservation {

namespace {

size_t PageSize() noexcept {
  static const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return kPage;
}

size_t WholePages(size_t bytes) noexcept {
  return (bytes + PageSize() - 1) & ~(PageSize() - 1);
}

}  // namespace

char* Reserve(size_t usable, size_t span) noexcept {
  if (!kInPlace || usable > span || span > SIZE_MAX - 2 * kHugePage) return nullptr;
  span = RoundToHugePages(span);
  // No access yet: an inaccessible private mapping is not charged against
  // the commit limit, only the part made writable is. One huge page more
  // than the span, so that an aligned span fits inside; the rest goes back.
  const size_t mapped = span + kHugePage;
  void* p = mmap(nullptr, mapped, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  auto* start = static_cast<char*>(p);
  auto* block = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(start) + kHugePage - 1) &
                                        ~uintptr_t{kHugePage - 1});
  if (block != start) munmap(start, static_cast<size_t>(block - start));
  if (block + span != start + mapped) {
    munmap(block + span, static_cast<size_t>(start + mapped - (block + span)));
  }
  if (!Extend(block, 0, usable, span)) {
    munmap(block, span);
    return nullptr;
  }
  return block;
}

bool Extend(char* block, size_t was, size_t usable, size_t span) noexcept {
  if (usable > span) return false;
  size_t from = WholePages(was), to = WholePages(usable);
  return to <= from || mprotect(block + from, to - from, PROT_READ | PROT_WRITE) == 0;
}

void Release(char* block, size_t span) noexcept {
  if (block != nullptr) munmap(block, RoundToHugePages(span));
}

void Advise(char* block, size_t from, size_t to, Advice advice) noexcept {
  if (to <= from) return;
  int how = -1;
  switch (advice) {
    case Advice::hugePages:
#ifdef MADV_HUGEPAGE
      how = MADV_HUGEPAGE;
#endif
      break;
    case Advice::smallPages:
#ifdef MADV_NOHUGEPAGE
      how = MADV_NOHUGEPAGE;
#endif
      break;
    case Advice::freeable:
#ifdef MADV_FREE
      how = MADV_FREE;
#endif
      break;
    case Advice::discard:
      how = MADV_DONTNEED;
      break;
  }
  if (how != -1) madvise(block + from, to - from, how);
}

void WipeResident(char* block, size_t bytes) noexcept {
  const size_t page = PageSize();
  constexpr size_t kBatch = 4096;  // pages per mincore call
  unsigned char resident[kBatch];
  for (size_t at = 0; at < bytes; at += kBatch * page) {
    const size_t span = bytes - at < kBatch * page ? bytes - at : kBatch * page;
    if (mincore(block + at, span, resident) != 0) {
      SecureWipe(block + at, span);  // unknown: wipe it all
      continue;
    }
    for (size_t i = 0; i * page < span; ++i) {
      if (resident[i] & 1) {
        SecureWipe(block + at + i * page, span - i * page < page ? span - i * page : page);
      }
    }
  }
}

}  // namespace corvane::reservation
