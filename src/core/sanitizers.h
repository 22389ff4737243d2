#pragma once

// Which sanitizers the code is built with, for the few places that work
// differently under them. GCC defines __SANITIZE_*__, clang answers
// __has_feature; only clang has the memory sanitizer.
#if defined(__has_feature)
#define CORVANE_HAS_FEATURE(x) __has_feature(x)
#else
#define CORVANE_HAS_FEATURE(x) 0
#endif

#if defined(__SANITIZE_ADDRESS__) || CORVANE_HAS_FEATURE(address_sanitizer)
#define CORVANE_SANITIZE_ADDRESS 1
#else
#define CORVANE_SANITIZE_ADDRESS 0
#endif

#if defined(__SANITIZE_THREAD__) || CORVANE_HAS_FEATURE(thread_sanitizer)
#define CORVANE_SANITIZE_THREAD 1
#else
#define CORVANE_SANITIZE_THREAD 0
#endif

#if CORVANE_HAS_FEATURE(memory_sanitizer)
#define CORVANE_SANITIZE_MEMORY 1
#else
#define CORVANE_SANITIZE_MEMORY 0
#endif

namespace corvane::sanitizers {

constexpr bool kAddress = CORVANE_SANITIZE_ADDRESS;
constexpr bool kThread = CORVANE_SANITIZE_THREAD;
constexpr bool kMemory = CORVANE_SANITIZE_MEMORY;
// Any checker that shadows memory: large blocks stay on the heap under them.
constexpr bool kAny = kAddress || kThread || kMemory;

}  // namespace corvane::sanitizers
