#include <gtest/gtest.h>

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

TEST(MappedBlockTest, GrowingKeepsContentFromHeapToMappedAndRemapped) {
  for (bool wipe : {false, true}) {
    SetZeroMemory(wipe);
    MappedBlock block;
    ASSERT_TRUE(block.Resize(1000));
    Fill(block, 0, 1000);
    ASSERT_TRUE(block.Resize(100000));  // still on the heap
    Fill(block, 1000, 100000);
    ASSERT_TRUE(block.Resize(size_t{6} << 20));  // moves to a mapping
    EXPECT_TRUE(Holds(block, 100000));
    Fill(block, 100000, size_t{6} << 20);
    ASSERT_TRUE(block.Resize(size_t{40} << 20));  // remapped
    EXPECT_GE(block.size(), size_t{40} << 20);
    EXPECT_TRUE(Holds(block, size_t{6} << 20));
    ASSERT_TRUE(block.Resize(10));  // never shrinks
    EXPECT_GE(block.size(), size_t{40} << 20);
    block.Release();
    EXPECT_TRUE(block.data() == nullptr && block.size() == 0);
  }
  SetZeroMemory(false);
}

TEST(MappedBlockTest, RecycleKeepsBlocksUpToTheLimit) {
  struct Case {
    const char* name;
    size_t bytes;
    bool wipe;
    bool kept;
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

// A block whose tail past its last whole huge page is kept in small pages is
// two mappings; growing it still keeps the content, wiped or not.
TEST(MappedBlockTest, SmallPageTailBlockGrowsKeepingContent) {
  for (bool wipe : {false, true}) {
    SetZeroMemory(wipe);
    MappedBlock block(true);
    ASSERT_TRUE(block.Resize((size_t{5} << 20) + 100));
    Fill(block, 0, (size_t{5} << 20) + 100);
    ASSERT_TRUE(block.Resize(size_t{13} << 20));
    EXPECT_GE(block.size(), size_t{13} << 20);
    EXPECT_TRUE(Holds(block, (size_t{5} << 20) + 100));
    Fill(block, 0, size_t{13} << 20);
    ASSERT_TRUE(block.Resize(size_t{21} << 20));
    EXPECT_TRUE(Holds(block, size_t{13} << 20));
  }
  SetZeroMemory(false);
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

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
