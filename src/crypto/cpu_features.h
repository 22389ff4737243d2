#pragma once

namespace corvane::detail {

// Instruction-set extensions the accelerated paths need, read once with
// CPUID. Tests call ForcePortable(true) to run the vectors through the
// portable code on machines that do have the extensions.
struct CpuFeatures {
  bool shaNi = false;  // SHA-1/SHA-256 instructions (with SSSE3 and SSE4.1)
  bool aesNi = false;  // AES round instructions (with SSSE3 and SSE4.1)
  bool bmi2 = false;   // flag-free rotates and shifts for the 64-bit digests
  bool avx2 = false;   // VEX-encoded SIMD for the SHA-512 message schedule
  bool vaes = false;   // 256-bit AES instructions (with AES-NI and AVX2)
};

const CpuFeatures& Cpu() noexcept;
void ForcePortable(bool on) noexcept;

}  // namespace corvane::detail
