#pragma once

#include <cstddef>

#include "core/sanitizers.h"

namespace corvane {

// The block of a large growable buffer: a range of address space reserved
// once (it holds no memory and is charged nothing), whose front is made
// usable as the buffer grows. Growth never moves the block, so nothing is
// copied or remapped: pages at a remapped address cost a trap each on the
// next pass over them, which made the second download into a kept answer
// buffer grown by realloc half as fast as the first.
namespace reservation {

// Under the sanitizers large blocks stay on the heap as well, where the
// checkers see overruns and do not shadow a 2 GB range per block.
constexpr bool kInPlace = !sanitizers::kAny;

// Blocks this large are reserved; smaller ones stay on the malloc heap.
constexpr size_t kThreshold = size_t{4} << 20;
// The default span: enough for any buffer whose length is an int.
constexpr size_t kSize = size_t{1} << 31;
// Every block starts on a huge-page boundary, so that huge pages can back
// its front where it is advised to take them.
constexpr size_t kHugePage = size_t{2} << 20;

// Whole huge pages: a span, and the part of a block its users make usable,
// are counted in them.
constexpr size_t RoundToHugePages(size_t bytes) noexcept {
  return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

// Reserves span bytes and makes the first usable ones readable and
// writable; nullptr when either fails or blocks are not reserved here.
char* Reserve(size_t usable, size_t span = kSize) noexcept;
// Makes the first usable bytes of a block readable and writable, of which
// the first was already are. False when the system refuses.
bool Extend(char* block, size_t was, size_t usable, size_t span = kSize) noexcept;
void Release(char* block, size_t span = kSize) noexcept;

enum class Advice {
  hugePages,   // back the range with huge pages where the system can
  smallPages,  // keep the range in small pages
  freeable,    // the content is no longer needed: the system may take the
               // pages back under pressure, else they are reused as they are
  discard,     // the pages go back now; the range reads as zeros
};
// Advisory: a block works the same whatever the system does with it. The
// range's ends are on page boundaries.
void Advise(char* block, size_t from, size_t to, Advice advice) noexcept;

// Overwrites the resident pages among the first bytes of a block with
// zeros. The others hold nothing, and writing them would fault in memory
// the block never used.
void WipeResident(char* block, size_t bytes) noexcept;

}  // namespace reservation
}  // namespace corvane
