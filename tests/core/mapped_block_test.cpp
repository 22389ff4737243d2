#include <gtest/gtest.h>

#include <vector>

#include "core/mapped_block.h"
#include "core/zero_memory.h"

namespace corvane {
namespace {

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

// Growing keeps the content from the heap to a mapping and through remaps,
// wiped or not, also for a block whose tail past its last whole huge page is
// kept in small pages (two mappings); a block never shrinks.
TEST(MappedBlockTest, GrowingKeepsContent) {
  const struct {
    bool tail;
    std::vector<size_t> sizes;
  } cases[] = {
      {false, {1000, 100000, size_t{6} << 20, size_t{40} << 20}},
      {true, {(size_t{5} << 20) + 100, size_t{13} << 20, size_t{21} << 20}},
  };
  for (const auto& c : cases) {
    for (bool wipe : {false, true}) {
      SetZeroMemory(wipe);
      MappedBlock block(c.tail);
      size_t filled = 0;
      for (size_t n : c.sizes) {
        ASSERT_TRUE(block.Resize(n));
        EXPECT_GE(block.size(), n);
        EXPECT_TRUE(Holds(block, filled)) << n;
        Fill(block, filled, n);
        filled = n;
      }
      ASSERT_TRUE(block.Resize(10));
      EXPECT_GE(block.size(), filled);
      block.Release();
      EXPECT_TRUE(block.data() == nullptr && block.size() == 0);
    }
  }
  SetZeroMemory(false);
}

TEST(MappedBlockTest, RecycleKeepsBlocksUpToTheLimit) {
  struct Case {
    const char* name;
    size_t bytes;
    bool wipe, kept;
  } cases[] = {
      {"heap block", 1000, false, true},
      {"mapped block", size_t{5} << 20, false, true},
      {"over the limit", size_t{9} << 20, false, false},
      {"wiping releases", size_t{5} << 20, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetZeroMemory(c.wipe);
    MappedBlock block;
    ASSERT_TRUE(block.Resize(c.bytes));
    void* data = block.data();
    block.Recycle(size_t{8} << 20);
    EXPECT_EQ(block.data() == data && block.size() >= c.bytes, c.kept);
    EXPECT_EQ(block.data() == nullptr, !c.kept);
  }
  SetZeroMemory(false);
}

// Renew moves the leading bytes into a new block instead of remapping, from
// the heap or a mapping, wiped or not, with or without a small-page tail.
TEST(MappedBlockTest, RenewKeepsTheLeadingBytesInANewBlock) {
  struct Case {
    const char* name;
    size_t from, to, keep;
    bool tail, wipe;
  } cases[] = {
      {"heap to heap", 1000, 50000, 1000, false, false},
      {"heap to mapped", 100000, size_t{6} << 20, 100000, false, true},
      {"mapped to mapped", size_t{5} << 20, size_t{9} << 20, 70000, false, false},
      {"small-page tail", (size_t{5} << 20) + 100, size_t{13} << 20, (size_t{5} << 20) + 100, true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetZeroMemory(c.wipe);
    MappedBlock block(c.tail);
    ASSERT_TRUE(block.Resize(c.from));
    Fill(block, 0, c.from);
    ASSERT_TRUE(block.Renew(c.to, c.keep));
    EXPECT_GE(block.size(), c.to);
    EXPECT_TRUE(Holds(block, c.keep));
    Fill(block, 0, c.to);  // every byte of the new block is writable
  }
  SetZeroMemory(false);
}

}  // namespace
}  // namespace corvane
