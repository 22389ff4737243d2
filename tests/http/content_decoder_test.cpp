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
class Collect : public BodyOutput {
 public:
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

// Decodes input in pieces of `piece` bytes.
std::string Decoded(int coding, const std::string& input, size_t piece = 1000) {
  ContentDecoder d;
  EXPECT_EQ(d.Start(coding), 0);
  Collect c;
  for (size_t i = 0; i < input.size(); i += piece) {
    EXPECT_EQ(d.Decode(input.data() + i, std::min(piece, input.size() - i), c), 0);
  }
  return c.text;
}

std::string Sample() {
  std::string s;
  for (int i = 0; i < 2000; ++i) s += "{\"id\":" + std::to_string(i) + ",\"name\":\"item\"},";
  return s;
}

TEST(ContentDecoder, GzipDecodesAtEverySplitPoint) {
  // FTEXT|FHCRC|FEXTRA|FNAME|FCOMMENT with their fields, then raw deflate data.
  const std::string header = std::string("\x1f\x8b\x08\x1e\0\0\0\0\0\x03", 10) + std::string("\x03\x00xyz", 5) +
                             std::string("name.txt\0", 9) + std::string("a comment\0", 10) + "\x12\x34";
  const std::string withFields = header + Compress("payload", -15);
  size_t length = 0;
  ASSERT_EQ(ParseGzipHeader(reinterpret_cast<const uint8_t*>(withFields.data()), withFields.size(), length),
            GzipHeaderStatus::complete);
  EXPECT_EQ(length, header.size());
  const std::string plain = "Hello, gzip body with some text to compress compress compress.";
  for (const auto& [gz, expected] : {std::pair{Compress(plain, 31), plain}, {withFields, std::string("payload")}}) {
    testing::ForEachSplit(gz, [&](const testing::Pieces& pieces, const std::string& how) {
      ContentDecoder d;
      ASSERT_EQ(d.Start(ContentDecoder::codingGzip), 0);
      Collect c;
      for (std::string_view p : pieces) ASSERT_EQ(d.Decode(p.data(), p.size(), c), 0) << how;
      EXPECT_EQ(c.text, expected) << how;
    });
  }
}

TEST(ContentDecoder, DeflateRawAndZlibWrappedBothDecode) {
  std::string plain = Sample();
  for (int bits : {-15, 15}) EXPECT_EQ(Decoded(ContentDecoder::codingDeflate, Compress(plain, bits)), plain) << bits;
  // The gzip trailer and bytes after the member are not body.
  EXPECT_EQ(Decoded(ContentDecoder::codingGzip, Compress("abc", 31) + "garbage after the member"), "abc");
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
