#pragma once

#include <cstddef>

namespace corvane {

// The process-wide `ZeroMemory` flag: while it is on, every heap block of a
// ByteBuffer is overwritten with zeros before it is freed or replaced, so that
// passwords and keys do not linger in freed memory.
bool ZeroMemoryEnabled() noexcept;
void SetZeroMemory(bool on) noexcept;

// Overwrites n bytes at p with zeros in a way the optimiser cannot drop.
void SecureWipe(void* p, std::size_t n) noexcept;

}  // namespace corvane
