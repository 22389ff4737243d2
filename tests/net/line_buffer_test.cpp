#include "net/line_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/every_split.h"

namespace corvane {
namespace {

// The deliveries of the pieces ("L:" line, "C:" chunk), the rest flushed at the end.
std::vector<std::string> Feed(LineBuffer& buffer, const testing::Pieces& pieces,
                              bool flushRest = true) {
  std::vector<std::string> out;
  LineChunk chunk;
  for (std::string_view piece : pieces) {
    int room = 0;
    char* space = buffer.FreeSpace(room);
    EXPECT_GE(room, static_cast<int>(piece.size()));
    std::memcpy(space, piece.data(), piece.size());
    buffer.Commit(static_cast<int>(piece.size()));
    while (buffer.Next(chunk)) {
      out.push_back((chunk.isLine ? "L:" : "C:") + std::string(chunk.data, chunk.length));
    }
  }
  if (flushRest && buffer.TakeRest(chunk)) out.push_back("C:" + std::string(chunk.data, chunk.length));
  return out;
}

// Split CRLF (any of CR, LF, CRLF, LFCR ends a line) and the plain
// multi-byte terminator give the same lines however the reads fall.
TEST(LineBuffer, LinesAreTheSameAtEverySplit) {
  struct Case {
    bool split;
    std::string input;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {true, "a\r\nb\n\rc\r\nd\r\n\r\ne\nf\rg", {"L:a", "L:b", "L:c", "L:d", "L:", "L:e", "L:f", "C:g"}},
      {false, "HTTP/1.1 200 OK\r\nA: b\r\n\r\nbody", {"L:HTTP/1.1 200 OK", "L:A: b", "L:", "C:body"}},
  };
  for (const Case& c : cases) {
    testing::ForEachSplit(c.input, [&](const testing::Pieces& pieces, const std::string& how) {
      LineBuffer buffer;
      ASSERT_EQ(buffer.Create(2048), 0);
      buffer.SetSplit(c.split);
      buffer.SetTerminator("\r\n");
      EXPECT_EQ(Feed(buffer, pieces), c.lines) << how << ", split " << c.split;
    });
  }
}

// A line longer than the capacity comes in chunks of capacity bytes, one that
// fills it with its terminator is a line; an empty terminator splits nothing.
TEST(LineBuffer, CapacityAndTerminatorLimits) {
  struct Case {
    int capacity;
    bool split;
    const char* terminator;
    const char* input;
    std::vector<std::string> out;
  } cases[] = {
      {8, false, "\r\n", "0123456789ABCDEFxyz\r\nok\r\n", {"C:01234567", "C:89ABCDEF", "L:xyz", "L:ok"}},
      {8, true, "\r\n", "0123456789ABCDEFxyz\r\nok\r\n", {"C:01234567", "C:89ABCDEF", "L:xyz", "L:ok"}},
      {8, false, "\r\n", "123456\r\n1234567\r\n", {"L:123456", "C:1234567\r", "C:\n"}},
      {2048, true, "", "a\r\nb", {"C:a\r\nb"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    LineBuffer buffer;
    ASSERT_EQ(buffer.Create(c.capacity), 0);
    buffer.SetSplit(c.split);
    buffer.SetTerminator(c.terminator);
    EXPECT_EQ(Feed(buffer, {c.input}), c.out);
  }
}

TEST(LineBuffer, WithoutTerminatorEverythingBufferedIsOneChunk) {
  LineBuffer buffer;
  ASSERT_EQ(buffer.Create(4), 0);  // receives are large even with a small capacity
  const std::string big(60000, 'x');
  EXPECT_EQ(Feed(buffer, {big}, false), std::vector<std::string>{"C:" + big});
}

// Reads of 7777 bytes: the partial line at the end of each moves to the
// front when the free space runs short.
TEST(LineBuffer, PartialLineSurvivesCompactionOfAFullBuffer) {
  std::string stream;
  for (int i = 0; i < 20000; ++i) stream += "line" + std::to_string(i) + "\n";
  testing::Pieces pieces;
  for (size_t at = 0; at < stream.size(); at += 7777) pieces.push_back(std::string_view(stream).substr(at, 7777));
  LineBuffer buffer;
  ASSERT_EQ(buffer.Create(2048), 0);
  buffer.SetTerminator("\n");
  std::vector<std::string> lines = Feed(buffer, pieces);
  ASSERT_EQ(lines.size(), 20000u);
  EXPECT_EQ(lines[12345], "L:line12345");
}

}  // namespace
}  // namespace corvane
