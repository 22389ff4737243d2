#include "http/content_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>

#include "support/every_split.h"

namespace corvane::http {
namespace {

// Compresses with zlib itself: windowBits 31 = gzip wrapper, -15 = raw
// deflate, 15 = zlib wrapper.
std::string Compress(const std::string& in, int windowBits) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&zs, in.size()) + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// Keeps what it is handed, or only counts it.
struct Collect : BodyOutput {
  int Write(const char* data, size_t length) override {
    if (keep) text.append(data, length);
    total += length;
    largest = std::max(largest, length);
    return 0;
  }
  bool keep = true;
  std::string text;
  size_t total = 0, largest = 0;
};

TEST(ContentDecoder, DecodesAtEverySplitPoint) {
  // FTEXT|FHCRC|FEXTRA|FNAME|FCOMMENT with their fields, then raw deflate data.
  const std::string header = std::string("\x1f\x8b\x08\x1e\0\0\0\0\0\x03", 10) + std::string("\x03\x00xyz", 5) +
                             std::string("name.txt\0", 9) + std::string("a comment\0", 10) + "\x12\x34";
  const std::string withFields = header + Compress("payload", -15);
  size_t length = 0;
  ASSERT_EQ(ParseGzipHeader(reinterpret_cast<const uint8_t*>(withFields.data()), withFields.size(), length),
            GzipHeaderStatus::complete);
  EXPECT_EQ(length, header.size());
  const std::string plain = "Hello, gzip body with some text to compress compress compress.";
  struct {
    int coding;
    std::string input, expected;
  } cases[] = {
      {ContentDecoder::codingGzip, Compress(plain, 31), plain},
      {ContentDecoder::codingGzip, withFields, "payload"},
      // The gzip trailer and bytes after the member are not body.
      {ContentDecoder::codingGzip, Compress("abc", 31) + "garbage after the member", "abc"},
      {ContentDecoder::codingDeflate, Compress(plain, -15), plain},  // raw
      {ContentDecoder::codingDeflate, Compress(plain, 15), plain},  // zlib-wrapped
  };
  for (const auto& c : cases) {
    auto decode = [&](const testing::Pieces& pieces, const std::string& how) {
      ContentDecoder d;
      ASSERT_EQ(d.Start(c.coding), 0);
      Collect out;
      for (std::string_view p : pieces) ASSERT_EQ(d.Decode(p.data(), p.size(), out), 0) << how;
      EXPECT_EQ(out.text, c.expected) << how;
    };
    testing::ForEachSplit(c.input, decode);
  }
}

TEST(ContentDecoder, BadMagicMethodAndDataFail) {
  struct Case {
    std::string input;
    int coding;
    HttpError error;
  } cases[] = {
      {std::string("\x1f\x8c\x08", 3), ContentDecoder::codingGzip, HttpError::GzipHeader},
      {std::string("\x1f\x8b\x07", 3), ContentDecoder::codingGzip, HttpError::GzipHeader},
      {std::string("PK\x03\x04", 4), ContentDecoder::codingGzip, HttpError::GzipHeader},
      {std::string("\xff\xff\xff\xff\xff\xff", 6), ContentDecoder::codingDeflate, HttpError::Decompress},
  };
  for (const Case& c : cases) {
    ContentDecoder d;
    ASSERT_EQ(d.Start(c.coding), 0);
    Collect out;
    int rc = d.Decode(c.input.data(), c.input.size(), out);
    EXPECT_EQ(rc, HttpErrorCode(c.error));
    EXPECT_EQ(d.failure(), c.error);
  }
}

TEST(ContentDecoder, HighRatioBodyIsHandedOnInBoundedPieces) {
  // 64 MiB of zeros compresses to about 64 KiB; the decoder never holds more
  // than its flush size of decoded bytes.
  std::string zeros(64u << 20, '\0');
  std::string gz = Compress(zeros, 31);
  zeros.clear();
  zeros.shrink_to_fit();
  ContentDecoder d;
  ASSERT_EQ(d.Start(ContentDecoder::codingGzip), 0);
  Collect count;
  count.keep = false;
  ASSERT_EQ(d.Decode(gz.data(), gz.size(), count), 0);
  EXPECT_EQ(count.total, 64u << 20);
  EXPECT_LE(count.largest, ContentDecoder::kFlushSize + 64 * 1024);
}

}  // namespace
}  // namespace corvane::http
