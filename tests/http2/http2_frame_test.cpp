#include <gtest/gtest.h>

#include <string>

#include "http2/hpack_decoder.h"
#include "http2/hpack_encoder.h"
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

TEST(Http2Frame, DataRoundTripsPlainAndPadded) {
  for (uint8_t pad : {0, 1, 9}) {
    Http2DataFrame f;
    f.SetStreamId(1);
    f.SetFlags(kFlagEndStream);
    f.SetPadLength(pad);
    f.SetData("hello body");
    std::string bytes = Serialize(f);
    ASSERT_EQ(9u + 10 + (pad ? 1 + pad : 0), bytes.size());
    Http2DataFrame r;
    ASSERT_EQ(0, Parse(r, bytes)) << r.LastErrorText().view();
    EXPECT_EQ("hello body", r.Data());
    EXPECT_EQ(pad, r.PadLength());
    EXPECT_EQ(1u, r.StreamId());
    EXPECT_TRUE(r.HasFlag(kFlagEndStream));
    EXPECT_EQ(pad != 0, r.HasFlag(kFlagPadded));
  }
}

TEST(Http2Frame, HeadersRoundTripThroughEncoderAndDecoder) {
  const HeaderList headers = {
      {":method", "GET"}, {":path", "/x?y"}, {":authority", "host:443"}, {"x-custom", "v"}};
  for (bool priority : {false, true}) {
    for (uint8_t pad : {0, 3}) {
      Http2HeadersFrame f;
      f.SetStreamId(1);
      f.SetFlags(kFlagEndHeaders | kFlagEndStream | (priority ? kFlagPriority : 0));
      f.SetPriority(0x80000003, 15);
      f.SetPadLength(pad);
      f.Headers() = headers;
      HpackDecoder decoder;
      Http2HeadersFrame r(&decoder);
      ASSERT_EQ(0, Parse(r, Serialize(f))) << r.LastErrorText().view();
      EXPECT_EQ(headers, r.Headers());
      EXPECT_EQ(pad, r.PadLength());
      EXPECT_EQ(priority ? 0x80000003u : 0u, r.StreamDependency());
      EXPECT_EQ(priority ? 15 : 0, r.Weight());
      EXPECT_TRUE(r.HasFlag(kFlagEndStream));
    }
  }
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

// Frames of a fixed layout read back as written; unknown ones are kept as bytes.
TEST(Http2Frame, FixedLayoutTypesRoundTrip) {
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
      {priority, "000005020000000003 80000001ff"},
      {rst, "000004030000000001 00000008"},
      {goAway, "00000b070000000000 00000005 00000002 627965"},
  };
  for (const auto& c : cases) {
    const std::string bytes = FromHex(c.hex);
    EXPECT_EQ(ToHex(bytes), ToHex(Serialize(c.frame)));
    auto r = CreateHttp2Frame(c.frame.Type(), nullptr);
    ASSERT_EQ(0, Parse(*r, bytes)) << c.hex;
    EXPECT_EQ(ToHex(bytes), ToHex(Serialize(*r)));
  }
  Http2PriorityFrame p;
  ASSERT_EQ(0, Parse(p, FromHex(cases[0].hex)));
  EXPECT_EQ(std::pair(0x80000001u, uint8_t{255}), std::pair(p.StreamDependency(), p.Weight()));
  Http2WindowUpdateFrame r;
  ASSERT_EQ(0, Parse(r, FromHex("000004080000000001 80000064")));
  EXPECT_EQ(100u, r.Increment()) << "reserved bit ignored";
  auto unknown = CreateHttp2Frame(0x42, nullptr);
  ASSERT_EQ(0, Parse(*unknown, FromHex("000002420000000000 6162")));
  EXPECT_EQ("ab", unknown->Payload()) << "an unknown type is kept as bytes";
}

TEST(Http2Frame, PeekHeaderReadsLengthTypeFlagsAndStreamWithoutReservedBit) {
  std::string bytes = FromHex("0040000125ffffffff");
  Http2FrameHeader h;
  ASSERT_TRUE(PeekHttp2FrameHeader(test::Bytes(bytes), bytes.size(), h));
  EXPECT_EQ(0x4000u, h.length);
  EXPECT_EQ(1, h.type);
  EXPECT_EQ(0x25, h.flags);
  EXPECT_EQ(0x7FFFFFFFu, h.streamId);
  EXPECT_FALSE(PeekHttp2FrameHeader(test::Bytes(bytes), 8, h));
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
