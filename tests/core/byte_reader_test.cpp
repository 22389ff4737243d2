#include "core/byte_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "core/byte_buffer.h"
#include "core/byte_writer.h"

namespace corvane {
namespace {

using namespace std::string_literals;

struct IntCase {
  size_t width;
  uint32_t value;
  bool (*read)(ByteReader&, uint32_t&);
  void (*write)(ByteWriter&, uint32_t);
};

// Every read takes its bytes from kData; high bytes must not sign-extend.
const std::string kData = "\xFF\xFE\xFD\xFC\x01\x02"s;
constexpr IntCase kIntCases[] = {
    {1, 0xFF, [](ByteReader& r, uint32_t& v) { return r.U8(v); },
     [](ByteWriter& w, uint32_t v) { w.U8(static_cast<uint8_t>(v)); }},
    {2, 0xFFFE, [](ByteReader& r, uint32_t& v) { return r.U16Be(v); },
     [](ByteWriter& w, uint32_t v) { w.U16Be(static_cast<uint16_t>(v)); }},
    {3, 0xFFFEFD, [](ByteReader& r, uint32_t& v) { return r.U24Be(v); },
     [](ByteWriter& w, uint32_t v) { w.U24Be(v); }},
    {4, 0xFFFEFDFC, [](ByteReader& r, uint32_t& v) { return r.U32Be(v); },
     [](ByteWriter& w, uint32_t v) { w.U32Be(v); }},
    {2, 0xFEFF, [](ByteReader& r, uint32_t& v) { return r.U16Le(v); },
     [](ByteWriter& w, uint32_t v) { w.U16Le(static_cast<uint16_t>(v)); }},
    {4, 0xFCFDFEFF, [](ByteReader& r, uint32_t& v) { return r.U32Le(v); },
     [](ByteWriter& w, uint32_t v) { w.U32Le(v); }},
};

// A read that ends exactly at the end succeeds. One byte short, it fails,
// leaves its output and position alone, and every later read fails too.
TEST(ByteReaderTest, ReadsEachWidthInBothByteOrdersAndFailsStickily) {
  for (const auto& c : kIntCases) {
    SCOPED_TRACE(c.width);
    ByteReader r(kData), exact(std::string_view(kData).substr(0, c.width));
    uint32_t v = 0;
    ASSERT_TRUE(c.read(r, v));
    EXPECT_EQ(v, c.value);
    EXPECT_EQ(r.Position(), c.width);
    EXPECT_EQ(r.Remaining(), kData.size() - c.width);
    EXPECT_TRUE(c.read(exact, v));
    EXPECT_TRUE(exact.AtEnd());
    EXPECT_FALSE(r.Failed() || exact.Failed());

    ByteReader shorter(std::string_view(kData).substr(0, c.width - 1));
    v = 0xDEADBEEF;
    EXPECT_FALSE(c.read(shorter, v));
    EXPECT_EQ(v, 0xDEADBEEFu);
    EXPECT_EQ(shorter.Position(), 0u);
    EXPECT_TRUE(shorter.Failed());
    EXPECT_EQ(shorter.Remaining(), 0u);
    uint8_t b = 0;
    const uint8_t* p = nullptr;
    std::string_view sv;
    ByteReader sub;
    EXPECT_FALSE(shorter.Skip(0) || shorter.Peek(b) || shorter.Bytes(0, p) || shorter.Bytes(0, sv) ||
                 shorter.Sub(0, sub) || shorter.U8(b));
  }
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
  EXPECT_EQ(r.Slice(SIZE_MAX, SIZE_MAX), "");
  EXPECT_EQ(r.Position(), data.size());
  // A huge length fails without wrapping round.
  ByteReader huge(data);
  ASSERT_TRUE(huge.Skip(1));
  EXPECT_FALSE(huge.Bytes(SIZE_MAX, rest));
  EXPECT_TRUE(huge.Failed());
  EXPECT_EQ(huge.Position(), 1u);
  // A sub-reader cannot see past its own bytes, and failing leaves its parent alone.
  ByteReader whole(data), sub;
  ASSERT_TRUE(whole.Sub(2, sub));
  EXPECT_FALSE(sub.Bytes(3, rest));
  EXPECT_TRUE(sub.Failed() && !whole.Failed());
  ASSERT_TRUE(whole.Bytes(2, rest));
  EXPECT_EQ(rest, "ad");
}

TEST(ByteReaderTest, LengthPrefixedVectors) {
  const struct {
    std::string input;
    int prefix;
    bool ok;
    std::string body;
  } cases[] = {
      {"\3abcX"s, 1, true, "abc"},   {"\0\2hiX"s, 2, true, "hi"}, {"\0\0\1zX"s, 3, true, "z"},
      {"\0"s, 1, true, ""},          {"\4abc"s, 1, false, ""},     // body one short
      {"\0"s, 2, false, ""},         {"\1\2"s, 4, false, ""},      // prefix one short; unsupported width
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

TEST(ByteWriterTest, WritesTheBytesTheReaderTakes) {
  ByteBuffer out;
  ByteWriter w(out);
  for (const auto& c : kIntCases) c.write(w, c.value);
  w.Bytes("xy");
  w.Zeros(70);
  ASSERT_EQ(w.Code(), 0);
  std::string expected;
  for (const auto& c : kIntCases) expected += kData.substr(0, c.width);
  expected += "xy"s + std::string(70, '\0');
  EXPECT_EQ(out.view(), expected);
}

}  // namespace
}  // namespace corvane
