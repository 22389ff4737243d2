#pragma once

namespace corvane::detail {

// Instruction-set extensions the accelerated paths need, read once with
// CPUID. Tests call ForcePortable(true) to run the vectors through the
// portable code on machines that do have the extensions, and
// ForceWithoutAvx512(true) to run them through the AVX2 code.
struct CpuFeatures {
  bool shaNi = false;  // SHA-1/SHA-256 instructions (with SSSE3 and SSE4.1)
  bool aesNi = false;  // AES round instructions (with SSSE3 and SSE4.1)
  bool bmi2 = false;   // flag-free rotates and shifts for the 64-bit digests
  bool avx2 = false;   // 256-bit SIMD: SHA-512 message schedule, parser run scanners
  bool vaes = false;   // 256-bit AES instructions (with AES-NI and AVX2)
  bool avx512vl = false;  // EVEX rotates and ternary logic on 256-bit registers (with AVX2)
};

const CpuFeatures& Cpu() noexcept;
void ForcePortable(bool on) noexcept;
void ForceWithoutAvx512(bool on) noexcept;

}  // namespace corvane::detail
