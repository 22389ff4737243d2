// Counts heap bytes in use (and their peak) for the whole process by standing
// in front of the C allocator and of anonymous mmap/mremap/munmap calls; C++
// new goes through malloc as well, so every parser in the run is measured the
// same way whichever way it gets its memory. (malloc's own internal mappings
// are not seen twice: glibc calls its private mmap.)
#include <malloc.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>

#include <cerrno>
#include <cstddef>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* p);
}

namespace bench_alloc {
size_t inUse = 0;
size_t peak = 0;
}  // namespace bench_alloc

namespace {

inline void Added(void* p) {
  if (p == nullptr) return;
  bench_alloc::inUse += malloc_usable_size(p);
  if (bench_alloc::inUse > bench_alloc::peak) bench_alloc::peak = bench_alloc::inUse;
}

inline void Removed(void* p) {
  if (p != nullptr) bench_alloc::inUse -= malloc_usable_size(p);
}

}  // namespace

extern "C" {

void* malloc(size_t size) {
  void* p = __libc_malloc(size);
  Added(p);
  return p;
}

void* calloc(size_t count, size_t size) {
  void* p = __libc_calloc(count, size);
  Added(p);
  return p;
}

void* realloc(void* old, size_t size) {
  size_t before = old != nullptr ? malloc_usable_size(old) : 0;
  void* p = __libc_realloc(old, size);
  if (p == nullptr) return nullptr;  // the old block is untouched
  bench_alloc::inUse -= before;
  Added(p);
  return p;
}

void free(void* p) {
  Removed(p);
  __libc_free(p);
}

void* memalign(size_t alignment, size_t size) {
  void* p = __libc_memalign(alignment, size);
  Added(p);
  return p;
}

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, size_t alignment, size_t size) {
  void* p = memalign(alignment, size);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}

}  // extern "C"

extern "C" {

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
  long r = syscall(SYS_mmap, addr, length, prot, flags, fd, offset);
  void* p = reinterpret_cast<void*>(r);
  if (p != MAP_FAILED && (flags & MAP_ANONYMOUS)) {
    bench_alloc::inUse += length;
    if (bench_alloc::inUse > bench_alloc::peak) bench_alloc::peak = bench_alloc::inUse;
  }
  return p;
}

// Only anonymous blocks are remapped or unmapped by the code under test; the
// counter trusts that (file mappings made through these calls would skew it).
int munmap(void* addr, size_t length) {
  long r = syscall(SYS_munmap, addr, length);
  if (r == 0) bench_alloc::inUse -= length;
  return static_cast<int>(r);
}

void* mremap(void* old, size_t oldSize, size_t newSize, int flags, ...) {
  void* target = nullptr;
  if (flags & MREMAP_FIXED) {
    va_list args;
    va_start(args, flags);
    target = va_arg(args, void*);
    va_end(args);
  }
  long r = syscall(SYS_mremap, old, oldSize, newSize, flags, target);
  void* p = reinterpret_cast<void*>(r);
  if (p != MAP_FAILED) {
    bench_alloc::inUse += newSize - oldSize;
    if (bench_alloc::inUse > bench_alloc::peak) bench_alloc::peak = bench_alloc::inUse;
  }
  return p;
}

}  // extern "C"
