#include "xml/xml_buffer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/zero_memory.h"
#include "xml/xml_parser.h"

namespace corvane {
namespace {

// Which blocks a Recycle keeps is the mapped block's rule (tested there); the
// buffer's own part is the sentinel, written before the pages may be freed.
TEST(XmlBufferTest, RecycleLeavesAnEmptyTerminatedBuffer) {
  for (bool wipe : {false, true}) {
    SCOPED_TRACE(wipe ? "wiping" : "kept");
    SetZeroMemory(wipe);
    XmlBuffer b;
    ASSERT_EQ(b.Resize(uint64_t{3} << 20), 0);
    b.data()[0] = 'x';
    b.Recycle(uint64_t{8} << 20);
    EXPECT_EQ(b.size(), 0);
    EXPECT_EQ(b.data()[0], '\0');
    ASSERT_EQ(b.Append("abc", 3), 0);
    EXPECT_EQ(b.view(), "abc");
  }
  SetZeroMemory(false);
}

// Without a block the buffer still reads as an empty, NUL-terminated string;
// the first write allocates, and after Release the same holds again.
TEST(XmlBufferTest, NoBlockReadsEmptyUntilFirstWrite) {
  XmlBuffer b;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    b.Clear();
    b.Consume(3);
    ASSERT_EQ(b.Extend(0), 0);
    EXPECT_EQ(b.capacity(), 0u);
    EXPECT_EQ(b.size(), 0);
    EXPECT_EQ(b.data()[0], '\0');
    ASSERT_EQ(b.Extend(2), 0);
    EXPECT_GT(b.capacity(), 2u);
    EXPECT_EQ(b.data()[2], '\0');
    b.Release();
  }
}


// An empty buffer whose kept block is too small gets a block of just the size
// asked for; a short content is carried over, a long one grows in place.
TEST(XmlBufferTest, ReserveReplacesAKeptBlockTooSmall) {
  XmlBuffer b;
  ASSERT_EQ(b.Resize(uint64_t{5} << 20), 0);
  b.Recycle(XmlBuffer::kKeepBytes);
  ASSERT_EQ(b.Append("<a/>", 4), 0);
  ASSERT_EQ(b.Reserve(uint64_t{30} << 20), 0);
  EXPECT_GE(b.capacity(), uint64_t{30} << 20);
  EXPECT_LT(b.capacity(), uint64_t{33} << 20);  // asked for, not grown by steps
  EXPECT_EQ(b.view(), "<a/>");
  ASSERT_EQ(b.Resize(uint64_t{31} << 20), 0);
  EXPECT_EQ(b.view().substr(0, 4), "<a/>");
  EXPECT_EQ(b.data()[b.size()], '\0');
}

// A large document's input and records stay across Reset: the next
// document, small or as large, is parsed into the same blocks.
TEST(XmlBufferTest, ParsesAfterResetReuseTheBlocks) {
  std::string big = "<r>";
  while (big.size() < (size_t{6} << 20)) big += "<i a='1'>text &amp; more</i>";
  big += "</r>";
  XmlParser parser;
  ASSERT_EQ(parser.Feed(big), 0);
  const char* records = parser.Document().Stream().data();
  parser.Reset();
  ASSERT_EQ(parser.Feed("<a><b>x</b><b>y</b></a>"), 0);
  EXPECT_EQ(parser.Document().Stream().data(), records);
  ASSERT_EQ(parser.SetXPath("/a/b[2]"), 0);
  EXPECT_EQ(parser.XText(), "y");
  parser.Reset();
  ASSERT_EQ(parser.Feed(big), 0);
  EXPECT_EQ(parser.Document().Stream().data(), records);
  ASSERT_EQ(parser.SetXPath("/r/i[2]"), 0);
  EXPECT_EQ(parser.XText(), "text & more");
}

#ifdef CORVANE_XML_BUFFER_ASAN
// Under ASan the block reads as ending at the NUL after every kind of change:
// growth by copying and by remapping, shrinking, recycling, a new block.
TEST(XmlBufferTest, AsanSeesPastTheNulAsOutOfBounds) {
  XmlBuffer b;
  const std::string big(uint64_t{3} << 20, 'x');
  const std::function<int()> steps[] = {
      [&] { return b.Append("abc", 3); },
      [&] { return b.Extend(20); },
      [&] { return b.Append(big.data(), 200) | b.Reserve(1000); },
      [&] { return b.Resize(7); },
      [&] { return b.Consume(2), 0; },
      [&] { return b.Append(big.data(), big.size()) | b.Reserve(uint64_t{9} << 20); },
      [&] { return b.Clear(), 0; },
      [&] { return b.Recycle(XmlBuffer::kKeepBytes), 0; },
      [&] { return b.Release(), b.Append("z", 1); }};
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(steps[i](), 0);
    ASSERT_GT(b.capacity(), uint64_t(b.size()) + 1);
    EXPECT_EQ(__asan_region_is_poisoned(b.data(), b.size() + 1), nullptr);
    EXPECT_TRUE(__asan_address_is_poisoned(b.data() + b.size() + 1));
    EXPECT_TRUE(__asan_address_is_poisoned(b.data() + b.capacity() - 1));
  }
}
#endif

}  // namespace
}  // namespace corvane
