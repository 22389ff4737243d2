#include "core/zero_memory.h"

#include <atomic>
#include <cstring>

namespace corvane {

namespace {
// Relaxed: the flag is a preference, not a synchronisation point.
std::atomic<bool> g_zeroMemory{false};
}  // namespace

bool ZeroMemoryEnabled() noexcept { return g_zeroMemory.load(std::memory_order_relaxed); }

void SetZeroMemory(bool on) noexcept { g_zeroMemory.store(on, std::memory_order_relaxed); }

void SecureWipe(void* p, std::size_t n) noexcept {
  if (p != nullptr && n != 0) explicit_bzero(p, n);
}

}  // namespace corvane
