#include "core/byte_buffer.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

// Up to the inline capacity the text stays inline, one byte more moves it to
// a heap block of one and a half times; shrinking or clearing comes back.
TEST(ByteBufferTest, InlineThenHeapOfOneAndAHalfTimesAndBack) {
  ByteBuffer b;
  ASSERT_EQ(b.Assign(std::string(99, 'x')), 0);
  EXPECT_FALSE(b.onHeap());
  EXPECT_EQ(b.capacity(), 99);
  EXPECT_EQ(b.c_str()[99], '\0');
  ASSERT_EQ(b.Assign(std::string(100, 'y')), 0);
  EXPECT_TRUE(b.onHeap());
  EXPECT_EQ(b.capacity(), 150);
  EXPECT_EQ(b.c_str()[100], '\0');
  ASSERT_EQ(b.Assign("a\0b\0", 4), 0);
  EXPECT_FALSE(b.onHeap());
  EXPECT_EQ(b.view(), std::string_view("a\0b\0", 4));
  ASSERT_EQ(b.Assign(std::string(500, 'z')), 0);
  b.Clear();
  EXPECT_TRUE(b.empty());
  EXPECT_FALSE(b.onHeap());
  EXPECT_EQ(b.c_str()[0], '\0');
}

// Growth keeps the content, also when wiping old blocks and when the
// appended bytes are the buffer's own; failing growth keeps it too.
TEST(ByteBufferTest, AppendGrowsAndKeepsContent) {
  for (bool wipe : {false, true}) {
    SetZeroMemory(wipe);
    ByteBuffer31 b("0123456789");
    for (int i = 0; i < 10; ++i) ASSERT_EQ(b.Append("0123456789"), 0);
    EXPECT_EQ(b.size(), 110);
    EXPECT_GE(b.capacity(), 110);
    for (int i = 0; i < 110; ++i) ASSERT_EQ(b[i], '0' + i % 10);
  }
  SetZeroMemory(false);
  ByteBuffer b(std::string(80, 'q'));
  ASSERT_EQ(b.Append(b.data(), b.size()), 0);
  EXPECT_EQ(b.view(), std::string(160, 'q'));
  ASSERT_EQ(b.Assign(b.data() + 10, 20), 0);
  EXPECT_EQ(b.view(), std::string(20, 'q'));
  // An impossible length fails with out-of-memory and keeps the content.
  volatile int huge = INT_MAX;  // opaque to the optimiser's bounds warnings
  EXPECT_EQ(b.Assign("x", -1), kErrOutOfMemory);
  EXPECT_EQ(b.Append(b.data(), huge), kErrOutOfMemory);
  EXPECT_EQ(b.view(), std::string(20, 'q'));
}

// An exact reservation maps no slack; appending past it grows by half again.
TEST(ByteBufferTest, ReserveExactLeavesNoSlackAndLaterGrowthStaysGeometric) {
  ByteBuffer b("head");
  ASSERT_EQ(b.ReserveExact(1000), 0);
  EXPECT_EQ(b.capacity(), 1000);
  EXPECT_EQ(b.view(), "head");
  ASSERT_EQ(b.ReserveExact(10), 0);
  EXPECT_EQ(b.capacity(), 1000);
  ASSERT_EQ(b.Append(std::string(997, 'x')), 0);
  EXPECT_EQ(b.capacity(), 1501);
  EXPECT_EQ(b.ReserveExact(-1), kErrOutOfMemory);
  EXPECT_EQ(b.ReserveExact(INT_MAX), kErrOutOfMemory);
  EXPECT_EQ(b.size(), 1001);
}

// A large buffer stays where it is as it grows, moves with its owner and
// is freed by Clear; with ZeroMemory on as well.
TEST(ByteBufferTest, LargeBufferGrowsInPlace) {
  for (bool zero : {false, true}) {
    SetZeroMemory(zero);
    ByteBuffer b(std::string(3000, 'a'));
    const std::string piece(1 << 20, 'p');
    ASSERT_EQ(b.Append(std::string(5 << 20, 'q')), 0);
    const char* at = b.data();
    for (int i = 0; i < 40; ++i) ASSERT_EQ(b.Append(piece), 0);
    if (reservation::kInPlace) {
      EXPECT_EQ(b.data(), at);
    }
    EXPECT_EQ(b.size(), 3000 + (45 << 20));
    EXPECT_EQ(b.view().substr(2998, 4), "aaqq");
    EXPECT_EQ(b.view().substr(b.size() - 2), "pp");
    at = b.data();
    ByteBuffer moved = std::move(b);
    EXPECT_EQ(moved.data(), at);
    ASSERT_EQ(moved.Append("end"), 0);
    EXPECT_EQ(moved.view().substr(moved.size() - 5), "ppend");
    moved.Clear();
    EXPECT_FALSE(moved.onHeap());
  }
  SetZeroMemory(false);
}

TEST(ByteBufferTest, CopyAndMoveKeepContentAndLeaveSourceEmpty) {
  ByteBuffer a(std::string(300, 'm'));
  ByteBuffer copy = a;
  ByteBuffer moved = std::move(a);
  EXPECT_EQ(copy.view(), std::string(300, 'm'));
  EXPECT_EQ(moved.view(), std::string(300, 'm'));
  EXPECT_TRUE(a.empty());  // NOLINT(bugprone-use-after-move): moved-from state is specified
  ByteBuffer small("abc");
  ByteBuffer movedSmall = std::move(small);
  EXPECT_EQ(movedSmall.view(), "abc");
}

TEST(ByteBufferTest, ResizeAndConsumeWorkAcrossInlineBoundary) {
  ByteBuffer b("abcdef");
  ASSERT_EQ(b.Resize(200), 0);
  EXPECT_EQ(b.size(), 200);
  EXPECT_EQ(b.view().substr(0, 6), "abcdef");
  EXPECT_EQ(b[6], '\0');
  ASSERT_EQ(b.Resize(3), 0);
  EXPECT_FALSE(b.onHeap());
  EXPECT_EQ(b.view(), "abc");
  b.Consume(1);
  EXPECT_EQ(b.view(), "bc");
  b.Consume(10);
  EXPECT_TRUE(b.empty());
}

}  // namespace
}  // namespace corvane
