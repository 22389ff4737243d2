#include "core/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace corvane::detail {
namespace {

#if defined(__x86_64__) || defined(__i386__)
// XCR0: which register states the OS saves on a context switch.
unsigned XGetBv0() noexcept {
  unsigned lo = 0, hi = 0;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return lo;
}
#endif

CpuFeatures Detect() noexcept {
  CpuFeatures f;
#if defined(__x86_64__) || defined(__i386__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid(1, &a, &b, &c, &d) == 0) return f;
  const bool ssse3 = (c & (1u << 9)) != 0;
  const bool sse41 = (c & (1u << 19)) != 0;
  const bool aes = (c & (1u << 25)) != 0;
  f.aesNi = aes && ssse3 && sse41;
  const bool osxsave = (c & (1u << 27)) != 0;
  if (__get_cpuid_count(7, 0, &a, &b, &c, &d) != 0) {
    f.shaNi = (b & (1u << 29)) != 0 && ssse3 && sse41;
    f.bmi2 = (b & (1u << 8)) != 0;
    // AVX2 also needs the OS to save the YMM state (OSXSAVE and XCR0 bits 1-2).
    f.avx2 = (b & (1u << 5)) != 0 && osxsave && (XGetBv0() & 6) == 6;
    f.vaes = (c & (1u << 9)) != 0 && f.avx2 && f.aesNi;
    // AVX512F and AVX512VL, with the opmask and upper ZMM states saved too
    // (XCR0 bits 5-7): the 256-bit forms use all 32 registers and the masks.
    f.avx512vl = (b & (1u << 16)) != 0 && (b & (1u << 31)) != 0 && f.avx2 &&
                 (XGetBv0() & 0xe0) == 0xe0;
  }
#endif
  return f;
}

const CpuFeatures& Detected() noexcept {
  static const CpuFeatures detected = Detect();
  return detected;
}

// What the tests forced in place of the detected set, if anything.
CpuFeatures forced;
bool forcing = false;

}  // namespace

const CpuFeatures& Cpu() noexcept { return forcing ? forced : Detected(); }

void ForcePortable(bool on) noexcept {
  forced = CpuFeatures{};
  forcing = on;
}

void ForceWithoutAvx512(bool on) noexcept {
  forced = Detected();
  forced.avx512vl = false;
  forcing = on;
}

}  // namespace corvane::detail
