#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http2/hpack_decoder.h"
#include "http2/http2_frame_types.h"
#include "http2_test_util.h"

namespace corvane {
namespace {

using M = Http2Message;
using test::FromHex;
using test::ToHex;

std::string Serialize(Http2Frame& frame) {
  ByteBuffer out;
  EXPECT_EQ(0, frame.Serialize(out)) << frame.LastErrorText().view();
  return out.str();
}

int Parse(Http2Frame& frame, const std::string& bytes) {
  return frame.Parse(test::Bytes(bytes), bytes.size());
}

TEST(Http2Frame, SettingsSerialiseInIdentifierOrderAndSkipUnknownOnReceipt) {
  Http2SettingsFrame f;
  f.SetValue(SETTINGS_MAX_HEADER_LIST_SIZE, 32768);
  f.SetValue(SETTINGS_MAX_CONCURRENT_STREAMS, 100);
  EXPECT_EQ("00000c040000000000000300000064000600008000", ToHex(Serialize(f)));
  Http2SettingsFrame r;
  ASSERT_EQ(0, Parse(r, FromHex("000012040000000000 000100001000 00ff00000001 000500004000")));
  EXPECT_EQ(4096u, r.Value(SETTINGS_HEADER_TABLE_SIZE));
  EXPECT_EQ(16384u, r.Value(SETTINGS_MAX_FRAME_SIZE));
  EXPECT_FALSE(r.Has(SETTINGS_ENABLE_PUSH));
  EXPECT_FALSE(r.Has(SETTINGS_MAX_HEADER_LIST_SIZE));
}

TEST(Http2Frame, MalformedFramesFailWithTheirMessage) {
  const struct {
    uint8_t type;
    const char* hex;
    M message;
    const char* arg;
  } cases[] = {
      {0, "0000", M::kFrameHeaderTruncated, "needs 9 bytes but only 2"},
      {6, "000008060000000000 01020304", M::kFrameHeaderTruncated, "needs 17 bytes but only 13"},
      {0, "00000a000800000001 05 787878787878787878", M::kDataPadding,
       "PadLength 5 more than dataLen 4"},
      {0, "000003000800000001 09 6162", M::kDataPadding, "dataLen -7"},
      {0, "000000000800000001", M::kFrameTruncated, "type DATA ended after 0 bytes"},
      {1, "000004010c00000001 04828384", M::kHeadersPadding, ""},
      // Padding over the priority fields.
      {1, "000007012c00000001 03000000010f82", M::kHeadersPadding, ""},
      {1, "000003012400000001 000000", M::kFrameTruncated, "type HEADERS ended after 0"},
      {1, "000001010400000001 80", M::kHpackIndexZero, ""},
      {2, "000003020000000001 616263", M::kFrameTruncated, "type PRIORITY ended after 0"},
      {4, "000007040000000000 00040000ffff00", M::kFrameTruncated, "type SETTINGS ended after 6"},
      {7, "000007070000000000 00000001000000", M::kFrameTruncated, "type GOAWAY ended after 4"},
  };
  for (const auto& c : cases) {
    HpackDecoder decoder;
    auto f = CreateHttp2Frame(c.type, &decoder);
    EXPECT_TRUE(test::Failed(Parse(*f, FromHex(c.hex)), *f, c.message, c.arg)) << c.hex;
  }
}

// Frames read back as written, padding and priority fields included: a
// field the reader missed would change the bytes written again.
TEST(Http2Frame, FramesReadBackAsWritten) {
  Http2DataFrame data;
  data.SetStreamId(1);
  data.SetFlags(kFlagEndStream);
  data.SetPadLength(1);
  data.SetData("hi");
  Http2HeadersFrame headers;
  headers.SetStreamId(3);
  headers.SetFlags(kFlagEndHeaders | kFlagPriority);
  headers.SetPriority(0x80000001, 15);
  headers.SetPadLength(3);
  headers.Headers() = {{":method", "GET"}, {"x-custom", "v"}};
  Http2PriorityFrame priority;
  priority.SetStreamId(3);
  priority.SetPriority(0x80000001, 255);
  Http2RstStreamFrame rst;
  rst.SetStreamId(1);
  rst.SetErrorCode(8);
  Http2GoAwayFrame goAway;
  goAway.Set(5, 2, "bye");
  const struct {
    Http2Frame& frame;
    const char* hex;
  } cases[] = {
      {data, "000004000900000001 01 6869 00"},
      {headers, "000014012c00000003 03 800000010f 82 4086f2b12d424f4f81ef 000000"},
      {priority, "000005020000000003 80000001ff"},
      {rst, "000004030000000001 00000008"},
      {goAway, "00000b070000000000 00000005 00000002 627965"},
  };
  HpackDecoder decoder;
  for (const auto& c : cases) {
    const std::string bytes = FromHex(c.hex);
    EXPECT_EQ(ToHex(bytes), ToHex(Serialize(c.frame)));
    auto r = CreateHttp2Frame(c.frame.Type(), &decoder);
    ASSERT_EQ(0, Parse(*r, bytes)) << r->LastErrorText().view();
    EXPECT_EQ(ToHex(bytes), ToHex(Serialize(*r)));
  }
  // The fields as read, through their accessors.
  Http2DataFrame d;
  Http2HeadersFrame h(&decoder);
  Http2PriorityFrame p;
  ASSERT_EQ(0, Parse(d, FromHex(cases[0].hex)) + Parse(h, FromHex(cases[1].hex)) +
                   Parse(p, FromHex(cases[2].hex)));
  EXPECT_EQ("hi", d.Data());
  EXPECT_EQ((std::vector<uint32_t>{1, 3, 0x80000001, 15, 0x80000001, 255}),
            (std::vector<uint32_t>{d.PadLength(), h.PadLength(), h.StreamDependency(), h.Weight(),
                                   p.StreamDependency(), p.Weight()}));
  Http2WindowUpdateFrame r;
  ASSERT_EQ(0, Parse(r, FromHex("000004080000000001 80000064")));
  EXPECT_EQ(100u, r.Increment()) << "reserved bit ignored";
  auto unknown = CreateHttp2Frame(0x42, nullptr);
  ASSERT_EQ(0, Parse(*unknown, FromHex("000002420000000000 6162")));
  EXPECT_EQ("ab", unknown->Payload()) << "an unknown type is kept as bytes";
}

TEST(Http2Frame, PayloadBeyondTheLengthFieldIsRefused) {
  std::string big(kHttp2MaxPayloadLength + 1, 'x');
  Http2DataFrame f;
  f.SetData(big);
  ByteBuffer out;
  ASSERT_EQ(0, out.Append("keep"));
  EXPECT_TRUE(test::Failed(f.Serialize(out), f, M::kPayloadTooLarge, "16777216"));
  EXPECT_EQ("keep", out.view());
}

// Codes the peer may send that have no name of their own read as
// INTERNAL_ERROR, with the number kept.
TEST(Http2ErrorCodes, UnknownCodesReadAsInternalError) {
  EXPECT_EQ("14 (INTERNAL_ERROR)", Http2ErrorCodeName(14));
  EXPECT_EQ(Http2ErrorCodeDescription(2), Http2ErrorCodeDescription(14));
}

}  // namespace
}  // namespace corvane
