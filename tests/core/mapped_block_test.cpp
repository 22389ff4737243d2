#include "core/mapped_block.h"

#include <gtest/gtest.h>

#include "core/address_reservation.h"
#include "core/zero_memory.h"

namespace corvane {
namespace {

constexpr size_t kMB = size_t{1} << 20;

bool Holds(const MappedBlock& block, size_t bytes) {
  auto* p = static_cast<const unsigned char*>(block.data());
  for (size_t i = 0; i < bytes; i += 4093) {
    if (p[i] != static_cast<unsigned char>(i * 7)) return false;
  }
  return true;
}

void Fill(MappedBlock& block, size_t from, size_t to) {
  auto* p = static_cast<unsigned char*>(block.data());
  for (size_t i = from; i < to; ++i) p[i] = static_cast<unsigned char>(i * 7);
}

// A block of `from` bytes, filled, renewed to `to` keeping `keep` bytes, then
// recycled with a 16 MB limit. A reserved block grows where it is (with or
// without a small-page tail); a heap block moves, and a reservation moves
// once it outgrows its span; a refused size leaves the block as it was.
TEST(MappedBlockTest, GrowthRenewAndRecycle) {
  struct Case {
    const char* name;
    bool tail, wipe;
    size_t from, to, keep;
    bool ok, inPlace, kept;
  } cases[] = {
      {"heap to heap", false, false, 1000, 50000, 1000, true, false, true},
      {"heap to reserved", false, true, 100000, 6 * kMB, 100000, true, false, false},
      {"reserved in place", false, false, 5 * kMB, 40 * kMB, 5 * kMB, true, true, false},
      {"renewed in place", false, false, 5 * kMB, 9 * kMB, 70000, true, true, true},
      {"small-page tail", true, false, 5 * kMB + 100, 13 * kMB, 5 * kMB + 100, true, true, true},
      {"small-page tail wiped", true, true, 5 * kMB + 100, 13 * kMB, 5 * kMB, true, true, false},
      {"past the span", false, false, 5 * kMB, size_t{3} << 30, 5 * kMB, true, false, false},
      {"refused", false, false, 5 * kMB, size_t{1} << 50, 5 * kMB, false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Off the reservation, 3 GB would be a real heap block.
    if (c.to > reservation::kSize && c.ok && !reservation::kInPlace) continue;
    SetZeroMemory(c.wipe);
    MappedBlock block(c.tail);
    ASSERT_TRUE(block.Resize(c.from));
    Fill(block, 0, c.from);
    void* data = block.data();
    ASSERT_EQ(block.Renew(c.to, c.keep), c.ok);
    EXPECT_EQ(block.data() == data, !c.ok || (c.inPlace && reservation::kInPlace));
    EXPECT_GE(block.size(), c.ok ? c.to : c.from);
    EXPECT_TRUE(Holds(block, c.ok ? c.keep : c.from));
    Fill(block, 0, std::min(block.size(), 64 * kMB));  // writable
    data = block.data();
    block.Recycle(16 * kMB);
    EXPECT_EQ(block.data() != nullptr, c.kept);
    if (c.kept) {
      EXPECT_EQ(block.data(), data);
    }
    block.Release();
    EXPECT_TRUE(block.data() == nullptr && block.size() == 0);
  }
  SetZeroMemory(false);
}

}  // namespace
}  // namespace corvane
