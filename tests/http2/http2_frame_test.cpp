#include <gtest/gtest.h>

#include <string>

#include "http2/hpack_decoder.h"
#include "http2/hpack_encoder.h"
#include "http2/http2_frame_types.h"
#include "http2_test_util.h"
#include "support/every_split.h"

namespace corvane {
namespace {

std::string Serialize(Http2Frame& frame) {
  ByteBuffer out;
  EXPECT_EQ(0, frame.Serialize(out)) << frame.LastErrorText().view();
  return out.str();
}

int Parse(Http2Frame& frame, const std::string& bytes) {
  return frame.Parse(test::Bytes(bytes), bytes.size());
}

std::string Frame(const char* headerHex, const std::string& payload) {
  return test::FromHex(headerHex) + payload;
}

TEST(Http2Frame, SettingsSerialiseInIdentifierOrderAndSkipUnknownOnReceipt) {
  Http2SettingsFrame ack;
  ack.SetFlags(kFlagAck);
  EXPECT_EQ("000000040100000000", test::ToHex(Serialize(ack)));
  Http2SettingsFrame f;
  f.SetValue(SETTINGS_MAX_HEADER_LIST_SIZE, 32768);
  f.SetValue(SETTINGS_MAX_CONCURRENT_STREAMS, 100);
  EXPECT_EQ("00000c040000000000" "000300000064" "000600008000", test::ToHex(Serialize(f)));

  Http2SettingsFrame r;
  ASSERT_EQ(0, Parse(r, test::FromHex("000012040000000000" "000100001000" "00ff00000001"
                                      "000500004000")));
  EXPECT_EQ(4096u, r.Value(SETTINGS_HEADER_TABLE_SIZE));
  EXPECT_EQ(16384u, r.Value(SETTINGS_MAX_FRAME_SIZE));
  EXPECT_FALSE(r.Has(SETTINGS_ENABLE_PUSH));
  EXPECT_FALSE(r.Has(SETTINGS_MAX_HEADER_LIST_SIZE));
}

TEST(Http2Frame, DataRoundTripsPlainAndPadded) {
  // Padding must stay below the data length for the frame to be accepted.
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

TEST(Http2Frame, DataPaddingChecks) {
  struct Case {
    const char* what;
    std::string frame;
    int code;
    const char* message;
  };
  const Case cases[] = {
      {"pad 5 of payload 10", Frame("00000a000800000001", test::FromHex("05") + std::string(9, 'x')),
       1, "PROTOCOL_ERROR: Receive Data Frame with PadLength 5 more than dataLen 4."},
      {"pad past the payload", Frame("000003000800000001", test::FromHex("09") + "ab"), 1,
       "PROTOCOL_ERROR: Receive Data Frame with PadLength 9 more than dataLen -7."},
      {"PADDED without the pad byte", Frame("000000000800000001", ""), 6,
       "FRAME_SIZE_ERROR: Frame of type DATA ended after 0 bytes, inside a field."},
  };
  for (const Case& c : cases) {
    Http2DataFrame r;
    EXPECT_EQ(c.code, Parse(r, c.frame)) << c.what;
    EXPECT_EQ(c.message, r.LastErrorText().view()) << c.what;
  }
}

TEST(Http2Frame, HeadersRoundTripThroughEncoderAndDecoder) {
  const HeaderList headers = {{":method", "GET"},
                              {":scheme", "https"},
                              {":path", "/x?y"},
                              {":authority", "host:443"},
                              {"accept", "*/*"},
                              {"x-custom", "v"}};
  for (bool priority : {false, true}) {
    for (uint8_t pad : {0, 3}) {
      Http2HeadersFrame f;
      f.SetStreamId(1);
      f.SetFlags(kFlagEndHeaders | kFlagEndStream | (priority ? kFlagPriority : 0));
      f.SetPriority(0x80000003, 15);
      f.SetPadLength(pad);
      f.Headers() = headers;
      std::string bytes = Serialize(f);
      HpackDecoder decoder;
      Http2HeadersFrame r(&decoder);
      ASSERT_EQ(0, Parse(r, bytes)) << r.LastErrorText().view();
      EXPECT_EQ(headers, r.Headers());
      EXPECT_EQ(pad, r.PadLength());
      if (priority) {
        EXPECT_EQ(0x80000003u, r.StreamDependency());
        EXPECT_EQ(15, r.Weight());
      }
      EXPECT_TRUE(r.HasFlag(kFlagEndStream));
    }
  }
}

TEST(Http2Frame, HeadersChecks) {
  struct Case {
    const char* what;
    std::string frame;
    int code;
    const char* message;
  };
  const Case cases[] = {
      {"pad length equal to the payload length", Frame("000004010c00000001", test::FromHex("04828384")),
       1, "PROTOCOL_ERROR: Receive HeadersFrame have padLength more than dataLength"},
      {"padding overlapping the priority fields",
       Frame("000007012c00000001", test::FromHex("03000000010f82")), 1,
       "PROTOCOL_ERROR: Receive HeadersFrame have padLength more than dataLength"},
      {"PRIORITY flag with a short payload", Frame("000003012400000001", test::FromHex("000000")),
       6, "FRAME_SIZE_ERROR: Frame of type HEADERS ended after 0 bytes, inside a field."},
      {"header block with index 0", Frame("000001010400000001", test::FromHex("80")), 9,
       "COMPRESSION_ERROR: Header field index 0 is not valid."},
      {"END_HEADERS with a cut representation", Frame("000002010400000001", test::FromHex("400a")),
       9, "COMPRESSION_ERROR: Header block ends inside a header field representation."},
  };
  for (const Case& c : cases) {
    HpackDecoder decoder;
    Http2HeadersFrame r(&decoder);
    EXPECT_EQ(c.code, Parse(r, c.frame)) << c.what;
    EXPECT_EQ(c.message, r.LastErrorText().view()) << c.what;
  }
}

// A header block split at any byte, over a HEADERS frame and CONTINUATION
// frames, decodes as one block.
TEST(Http2Frame, ContinuationCompletesAHeaderBlockSplitInsideAField) {
  const HeaderList headers = {{":status", "200"}, {"content-type", "application/json"},
                              {"x-trace", "abcdefghijklmnop"}};
  ByteBuffer block;
  ASSERT_EQ(0, HpackEncode(headers, true, block));
  testing::ForEachSplit(block.view(), [&](const testing::Pieces& pieces, const std::string& how) {
    HpackDecoder decoder;
    HeaderList all;
    Http2HeadersFrame first(&decoder);
    Http2ContinuationFrame next(&decoder);
    for (size_t i = 0; i < pieces.size(); ++i) {
      const uint8_t flags = i + 1 == pieces.size() ? kFlagEndHeaders : 0;
      Http2Frame& r = i == 0 ? static_cast<Http2Frame&>(first) : next;
      ASSERT_EQ(0, Parse(r, test::Frame(i == 0 ? 1 : 9, flags, 1, pieces[i]))) << how << ": " << r.LastErrorText().view();
      const HeaderList& got = i == 0 ? first.Headers() : next.Headers();
      all.insert(all.end(), got.begin(), got.end());
    }
    EXPECT_EQ(headers, all) << how;
  });
}

// Frames of a fixed layout, and those kept as bytes, read back as written.
TEST(Http2Frame, FixedLayoutTypesRoundTrip) {
  Http2PriorityFrame priority;
  priority.SetStreamId(3);
  priority.SetPriority(0x80000001, 255);
  Http2RstStreamFrame rst;
  rst.SetStreamId(1);
  rst.SetErrorCode(8);
  Http2GoAwayFrame goAway;
  goAway.Set(5, 2, "bye");
  Http2WindowUpdateFrame update;
  update.SetIncrement(65535);
  const struct {
    Http2Frame& frame;
    const char* hex;
  } cases[] = {
      {priority, "000005020000000003" "80000001ff"},
      {rst, "000004030000000001" "00000008"},
      {goAway, "00000b070000000000" "00000005" "00000002" "627965"},
      {update, "000004080000000000" "0000ffff"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.hex, test::ToHex(Serialize(c.frame)));
    auto r = CreateHttp2Frame(c.frame.Type(), nullptr);
    ASSERT_EQ(0, Parse(*r, test::FromHex(c.hex))) << c.hex;
    EXPECT_EQ(c.hex, test::ToHex(Serialize(*r)));
  }
  Http2PriorityFrame p;
  ASSERT_EQ(0, Parse(p, test::FromHex(cases[0].hex)));
  EXPECT_EQ(0x80000001u, p.StreamDependency());
  EXPECT_EQ(255, p.Weight());
  Http2WindowUpdateFrame r;
  ASSERT_EQ(0, Parse(r, Frame("000004080000000001", test::FromHex("80000064"))));
  EXPECT_EQ(100u, r.Increment()) << "reserved bit ignored";
  for (uint8_t type : {5, 6, 0x42}) {  // PUSH_PROMISE, PING, unknown: payload as bytes
    auto f = CreateHttp2Frame(type, nullptr);
    f->SetFlags(type == 6 ? kFlagAck : 0);
    ASSERT_EQ(0, f->SetPayload("12345678"));
    auto r = CreateHttp2Frame(type, nullptr);
    ASSERT_EQ(0, Parse(*r, Serialize(*f)));
    EXPECT_EQ(type, r->Type());
    EXPECT_EQ("12345678", r->Payload());
  }
}

TEST(Http2Frame, TruncatedFramesFailWithFrameSizeError) {
  struct Case {
    uint8_t type;
    std::string frame;
    const char* message;
  };
  const Case cases[] = {
      {0, test::FromHex("0000"), "FRAME_SIZE_ERROR: Frame needs 9 bytes but only 2 are available."},
      {6, test::FromHex("00000806000000000001020304"),
       "FRAME_SIZE_ERROR: Frame needs 17 bytes but only 13 are available."},
      {2, Frame("000003020000000001", "abc"),
       "FRAME_SIZE_ERROR: Frame of type PRIORITY ended after 0 bytes, inside a field."},
      {4, Frame("000007040000000000", test::FromHex("00040000ffff00")),
       "FRAME_SIZE_ERROR: Frame of type SETTINGS ended after 6 bytes, inside a field."},
      {7, Frame("000007070000000000", test::FromHex("00000001000000")),
       "FRAME_SIZE_ERROR: Frame of type GOAWAY ended after 4 bytes, inside a field."},
  };
  for (const Case& c : cases) {
    auto f = CreateHttp2Frame(c.type, nullptr);
    EXPECT_EQ(6, Parse(*f, c.frame)) << c.message;
    EXPECT_EQ(c.message, f->LastErrorText().view());
  }
}

TEST(Http2Frame, PeekHeaderReadsLengthTypeFlagsAndStreamWithoutReservedBit) {
  std::string bytes = test::FromHex("0040000125ffffffff");
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
  EXPECT_EQ(6, f.Serialize(out));
  EXPECT_EQ("FRAME_SIZE_ERROR: Frame payload of 16777216 bytes does not fit the 24-bit length field.",
            f.LastErrorText().view());
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
