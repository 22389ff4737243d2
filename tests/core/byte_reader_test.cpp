#include "core/byte_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/byte_buffer.h"
#include "core/byte_writer.h"

namespace corvane {
namespace {

using namespace std::string_literals;

enum class Read { rdU8, rdU16Be, rdU24Be, rdU32Be, rdU16Le, rdU32Le };

bool ReadOne(ByteReader& r, Read op, uint32_t& v) {
  switch (op) {
    case Read::rdU8:
      return r.U8(v);
    case Read::rdU16Be:
      return r.U16Be(v);
    case Read::rdU24Be:
      return r.U24Be(v);
    case Read::rdU32Be:
      return r.U32Be(v);
    case Read::rdU16Le:
      return r.U16Le(v);
    case Read::rdU32Le:
      return r.U32Le(v);
  }
  return false;
}

void WriteOne(ByteWriter& w, Read op, uint32_t v) {
  switch (op) {
    case Read::rdU8:
      w.U8(static_cast<uint8_t>(v));
      return;
    case Read::rdU16Be:
      w.U16Be(static_cast<uint16_t>(v));
      return;
    case Read::rdU24Be:
      w.U24Be(v);
      return;
    case Read::rdU32Be:
      w.U32Be(v);
      return;
    case Read::rdU16Le:
      w.U16Le(static_cast<uint16_t>(v));
      return;
    case Read::rdU32Le:
      w.U32Le(v);
      return;
  }
}

struct IntCase {
  Read op;
  size_t width;
  uint32_t value;
};

// Every read takes its bytes from "\x01\x02\x03\x04\xFE\xFF".
constexpr IntCase kIntCases[] = {
    {Read::rdU8, 1, 0x01},          {Read::rdU16Be, 2, 0x0102}, {Read::rdU24Be, 3, 0x010203},
    {Read::rdU32Be, 4, 0x01020304}, {Read::rdU16Le, 2, 0x0201}, {Read::rdU32Le, 4, 0x04030201},
};

TEST(ByteReaderTest, ReadsEachWidthInBothByteOrders) {
  const std::string data = "\x01\x02\x03\x04\xFE\xFF"s;
  for (const auto& c : kIntCases) {
    ByteReader r(data);
    uint32_t v = 0;
    ASSERT_TRUE(ReadOne(r, c.op, v)) << c.width;
    EXPECT_EQ(v, c.value) << c.width;
    EXPECT_EQ(r.Position(), c.width);
    EXPECT_EQ(r.Remaining(), data.size() - c.width);
    EXPECT_FALSE(r.Failed());
  }
}

TEST(ByteReaderTest, HighBytesDoNotSignExtend) {
  const std::string data = "\xFF\xFE\xFD\xFC"s;
  ByteReader be(data), le(data);
  uint32_t b = 0, l = 0;
  ASSERT_TRUE(be.U32Be(b));
  ASSERT_TRUE(le.U32Le(l));
  EXPECT_EQ(b, 0xFFFEFDFCu);
  EXPECT_EQ(l, 0xFCFDFEFFu);
  uint8_t narrow = 0;
  ByteReader one(data);
  ASSERT_TRUE(one.U8(narrow));
  EXPECT_EQ(narrow, 0xFF);
}

TEST(ByteReaderTest, ReadEndingExactlyAtTheEndSucceeds) {
  for (const auto& c : kIntCases) {
    std::string data(c.width, '\x7F');
    ByteReader r(data);
    uint32_t v = 0;
    EXPECT_TRUE(ReadOne(r, c.op, v)) << c.width;
    EXPECT_TRUE(r.AtEnd());
    EXPECT_FALSE(r.Failed());
  }
}

// One byte short: the read fails, leaves its output and position alone, and
// every later read, even one that would fit, fails too.
TEST(ByteReaderTest, ReadPastTheEndFailsAndSticks) {
  for (const auto& c : kIntCases) {
    std::string data(c.width - 1, '\x55');
    ByteReader r(data);
    uint32_t v = 0xDEADBEEF;
    EXPECT_FALSE(ReadOne(r, c.op, v)) << c.width;
    EXPECT_EQ(v, 0xDEADBEEFu);
    EXPECT_EQ(r.Position(), 0u);
    EXPECT_TRUE(r.Failed());
    EXPECT_EQ(r.Remaining(), 0u);
    uint8_t b = 0;
    const uint8_t* p = nullptr;
    std::string_view sv;
    ByteReader sub;
    EXPECT_FALSE(r.Skip(0));
    EXPECT_FALSE(r.Peek(b));
    EXPECT_FALSE(r.Bytes(0, p));
    EXPECT_FALSE(r.Bytes(0, sv));
    EXPECT_FALSE(r.Sub(0, sub));
    EXPECT_FALSE(r.U8(b));
  }
}

TEST(ByteReaderTest, HugeLengthsFailWithoutWrapping) {
  const std::string data = "abcd";
  ByteReader r(data);
  ASSERT_TRUE(r.Skip(1));
  std::string_view sv;
  EXPECT_FALSE(r.Bytes(SIZE_MAX, sv));
  EXPECT_TRUE(r.Failed());
  EXPECT_EQ(r.Position(), 1u);
}

TEST(ByteReaderTest, BytesSkipPeekAndSliceLeaveTheRightPosition) {
  const std::string data = "headBODYtail";
  ByteReader r(data);
  uint8_t first = 0;
  ASSERT_TRUE(r.Peek(first));
  EXPECT_EQ(first, 'h');
  EXPECT_EQ(r.Position(), 0u);
  ASSERT_TRUE(r.Skip(4));
  const uint8_t* p = nullptr;
  ASSERT_TRUE(r.Bytes(4, p));
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(p), 4), "BODY");
  EXPECT_EQ(r.Current(), reinterpret_cast<const uint8_t*>(data.data()) + 8);
  std::string_view rest;
  ASSERT_TRUE(r.Bytes(r.Remaining(), rest));
  EXPECT_EQ(rest, "tail");
  EXPECT_TRUE(r.AtEnd());
  // Slice works on the whole range, is cut to the bytes present and does not move.
  EXPECT_EQ(r.Slice(4, 4), "BODY");
  EXPECT_EQ(r.Slice(8, 100), "tail");
  EXPECT_EQ(r.Slice(12, 1), "");
  EXPECT_EQ(r.Slice(SIZE_MAX, SIZE_MAX), "");
  EXPECT_EQ(r.Position(), data.size());
}

struct VectorCase {
  std::string input;
  int prefix;
  bool ok;
  std::string body;
};

TEST(ByteReaderTest, LengthPrefixedVectors) {
  const VectorCase cases[] = {
      {"\x03"
       "abcX"s,
       1, true, "abc"},
      {"\x00\x02"
       "hiX"s,
       2, true, "hi"},
      {"\x00\x00\x01"
       "zX"s,
       3, true, "z"},
      {"\x00"s, 1, true, ""},
      {"\x04"
       "abc"s,
       1, false, ""},               // body one short
      {"\x00"s, 2, false, ""},      // prefix one short
      {"\x01\x02"s, 4, false, ""},  // unsupported prefix width
  };
  for (const auto& c : cases) {
    ByteReader r(c.input);
    ByteReader body;
    EXPECT_EQ(r.Vector(c.prefix, body), c.ok) << c.prefix << " " << c.input.size();
    if (!c.ok) {
      EXPECT_TRUE(r.Failed());
      EXPECT_EQ(r.Position(), 0u);
      continue;
    }
    std::string_view sv;
    ASSERT_TRUE(body.Bytes(body.Remaining(), sv));
    EXPECT_EQ(sv, c.body);
  }
}

TEST(ByteReaderTest, SubReaderIsBoundedAndIndependent) {
  const std::string data = "\x01\x02\x03\x04"s;
  ByteReader r(data), sub;
  ASSERT_TRUE(r.Sub(2, sub));
  uint32_t v = 0;
  EXPECT_FALSE(sub.U24Be(v));  // cannot see past its own two bytes
  EXPECT_TRUE(sub.Failed());
  EXPECT_FALSE(r.Failed());
  ASSERT_TRUE(r.U16Be(v));
  EXPECT_EQ(v, 0x0304u);
}

TEST(ByteWriterTest, WritesWhatTheReaderReadsBack) {
  ByteBuffer out;
  ByteWriter w(out);
  for (const auto& c : kIntCases) WriteOne(w, c.op, c.value);
  w.Bytes("xy");
  w.Zeros(70);
  ASSERT_EQ(w.Code(), 0);
  const std::string expected =
      "\x01"
      "\x01\x02"
      "\x01\x02\x03"
      "\x01\x02\x03\x04"
      "\x01\x02"
      "\x01\x02\x03\x04"
      "xy"s +
      std::string(70, '\0');
  EXPECT_EQ(out.view(), expected);

  ByteReader r(out.view());
  for (const auto& c : kIntCases) {
    uint32_t v = 0;
    ASSERT_TRUE(ReadOne(r, c.op, v));
    EXPECT_EQ(v, c.value);
  }
  EXPECT_EQ(r.Remaining(), 72u);
}

}  // namespace
}  // namespace corvane
