#include "core/address_reservation.h"

#include <sys/mman.h>
#include <unistd.h>

namespace corvane::reservation {

namespace {

size_t WholePages(size_t bytes) noexcept {
  static const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  return (bytes + kPage - 1) & ~(kPage - 1);
}

}  // namespace

char* Reserve(size_t usable) noexcept {
  if (!kInPlace || usable > kSize) return nullptr;
  // No access yet: an inaccessible private mapping is not charged against
  // the commit limit, only the part made writable is.
  void* p = mmap(nullptr, kSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  auto* block = static_cast<char*>(p);
  if (!Extend(block, 0, usable)) {
    munmap(p, kSize);
    return nullptr;
  }
  return block;
}

bool Extend(char* block, size_t was, size_t usable) noexcept {
  if (usable > kSize) return false;
  size_t from = WholePages(was), to = WholePages(usable);
  return to <= from || mprotect(block + from, to - from, PROT_READ | PROT_WRITE) == 0;
}

void Release(char* block) noexcept {
  if (block != nullptr) munmap(block, kSize);
}

}  // namespace corvane::reservation
