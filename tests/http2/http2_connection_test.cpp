#include "http2/http2_connection.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http2/hpack_encoder.h"
#include "http2_test_util.h"
#include "support/every_split.h"

namespace corvane {
namespace {

using M = Http2Message;
using St = Http2StreamState;
using test::Failed;
using test::Frame;
using test::U32;

std::string Block(const HeaderList& headers) {
  ByteBuffer out;
  EXPECT_EQ(0, HpackEncode(headers, true, out));
  return out.str();
}

std::string Status(const char* code, uint8_t flags = kFlagEndHeaders | kFlagEndStream) {
  return Frame(1, flags, 1, Block({{":status", code}}));
}

// Records the header calls as lines and the body with a mark between pieces.
struct Transcript : Http2ResponseListener {
  std::vector<std::string> lines;
  std::string body;
  int failHeaders = 0;
  int logLevel = 1;

  int ProcessHeader(std::string_view n, std::string_view v) override {
    lines.push_back("header " + std::string(n) + ": " + std::string(v));
    return failHeaders;
  }
  int EndOfHeaders() override { return lines.push_back("end of headers"), 0; }
  int DeliverBody(const char* data, size_t n) override {
    body += body.empty() ? "" : "|";
    return body.append(data, n), 0;
  }
  int CompleteResponse() override { return lines.push_back("complete"), 0; }
  bool LogsAt(int level) const override { return level <= logLevel; }
};

class Http2ConnectionTest : public ::testing::Test {
 protected:
  std::string TakeOutput() {
    std::string out = conn->Output().str();
    conn->ConsumeOutput(out.size());
    return out;
  }
  int Feed(const std::string& bytes) { return conn->Receive(bytes.data(), bytes.size()); }

  // A new connection, started, with the request headers sent and (for states
  // past OPENED) what moves the stream there received.
  void Reach(St state, bool closedByPeer = false) {
    listener = Transcript();
    conn = std::make_unique<Http2Connection>();
    conn->SetListener(&listener);
    ASSERT_EQ(0, conn->Start());
    if (state != St::ssIdle) {
      conn->RequestHeaders() = {
          {":method", "GET"}, {":scheme", "https"}, {":path", "/"}, {":authority", "h"}};
      ASSERT_EQ(0, conn->SendHeaders(state == St::ssHalfClosedLocal || state == St::ssClosed));
    }
    if (state == St::ssHalfClosedRemote || state == St::ssClosed) {
      ASSERT_EQ(0, Feed(Status("204")));
    }
    if (closedByPeer) {
      ASSERT_EQ(0, Feed(Frame(3, 0, 1, U32(0))));
    }
    ASSERT_EQ(state, conn->State());
    ASSERT_EQ(closedByPeer, conn->ClosedByPeer());
    TakeOutput();
    listener.lines.clear();
  }

  Transcript listener;
  std::unique_ptr<Http2Connection> conn = std::make_unique<Http2Connection>();
};

TEST_F(Http2ConnectionTest, StartSendsPrefaceSettingsAndConnectionWindowUpdate) {
  ASSERT_EQ(0, conn->Start());
  EXPECT_EQ(std::string(Http2Connection::kPreface) +
                Frame(4, 0, 0, test::FromHex("000300000064 00040000ffff")) +
                Frame(8, 0, 0, U32(65535)),
            TakeOutput());
}

TEST(Http2RequestHeaders, PseudoHeadersThenBlockLinesWithoutHopByHopFields) {
  HeaderList headers;
  std::string text;
  Http2Connection::BuildRequestHeaders(
      "POST", "https", "api.example.com", 443, "/v1?q=1",
      "Host: api.example.com\r\nAccept: */*\r\nConnection: Keep-Alive\r\nKeep-Alive: 300\r\n"
      "TE: trailers\r\nTransfer-Encoding: chunked\r\nUpgrade: h2c\r\nProxy-Connection: x\r\n"
      "X-Quoted: \"a:b\"\r\nX-Odd\"na:me\": v\r\n\r\n",
      headers, text);
  const HeaderList expected = {{":method", "POST"},    {":scheme", "https"},
                               {":path", "/v1?q=1"},   {":authority", "api.example.com:443"},
                               {"accept", "*/*"},      {"x-quoted", "\"a:b\""},
                               {"x-odd\"na:me\"", "v"}};
  EXPECT_EQ(expected, headers);
  EXPECT_TRUE(text.starts_with(":method: POST\r\n:scheme: https\r\n")) << text;
  EXPECT_TRUE(text.ends_with("\r\nx-odd\"na:me\": v\r\n")) << text;
  Http2Connection::BuildRequestHeaders("GET", "http", "h", 80, "/", "", headers, text);
  EXPECT_EQ("h", headers[3].value) << "port 80 leaves the host alone";
  Http2Connection::BuildRequestHeaders("GET", "https", "h", 8080, "/", "", headers, text);
  EXPECT_EQ("h:8080", headers[3].value);
}

TEST_F(Http2ConnectionTest, LargeHeaderBlockContinuesInContinuationFrames) {
  Reach(St::ssIdle);
  listener.logLevel = 3;  // the request lines go to the log too
  conn->RequestHeaders() = {{":method", "GET"}, {"x-big", std::string(60000, 'a')}};
  ASSERT_EQ(0, conn->SendHeaders(false));
  // 60000 five-bit codes make 37500 bytes: HEADERS and two CONTINUATION frames.
  HeaderList decoded;
  std::string frames;  // type/flags
  for (auto& f : test::ReadFrames(TakeOutput())) {
    frames += std::to_string(f->Type()) + "/" + std::to_string(f->Flags()) + " ";
    auto& got = f->Type() == 1 ? static_cast<Http2HeadersFrame&>(*f).Headers()
                               : static_cast<Http2ContinuationFrame&>(*f).Headers();
    decoded.insert(decoded.end(), got.begin(), got.end());
  }
  EXPECT_EQ("1/0 9/0 9/4 ", frames);
  EXPECT_EQ(conn->RequestHeaders(), decoded);
}

// PING is answered with its bytes; a PING ACK, PRIORITY and unknown frames
// are skipped; a GOAWAY that spares the stream is kept for the caller: none
// of them touches the stream. The reserved bit of a stream identifier is ignored.
TEST_F(Http2ConnectionTest, ResponseIsDeliveredAndAcknowledgedAtEverySplit) {
  const std::string bytes =
      Frame(4, 0, 0, test::FromHex("000300000080 000500004000")) + Frame(4, kFlagAck, 0, "") +
      Frame(6, 0, 0, "abcdefgh") +
      Frame(1, kFlagEndHeaders, 1, Block({{":status", "200"}, {"content-type", "text/xml"}})) +
      Frame(7, 0, 0, U32(1) + U32(11) + "calm down") + Frame(0x42, 0xff, 7, "anything") +
      Frame(2, 0, 1, "abcde") + Frame(0, 0, 0x80000001, std::string(100, 'x')) +
      Frame(6, kFlagAck, 0, "abcdefgh") +
      Frame(0, kFlagPadded | kFlagEndStream, 1,
            test::FromHex("03") + "<end/>" + std::string(3, '\0'));
  const std::vector<std::string> lines = {"header :status: 200", "header content-type: text/xml",
                                          "end of headers", "complete"};
  const std::string replies = Frame(4, kFlagAck, 0, "") + Frame(6, kFlagAck, 0, "abcdefgh") +
                              Frame(8, 0, 0, U32(100)) + Frame(8, 0, 1, U32(100)) +
                              Frame(8, 0, 0, U32(10)) + Frame(8, 0, 1, U32(10));
  // Pieces up to 10 bytes: a frame header (9) split from its payload too.
  testing::ForEachSplit(
      bytes,
      [&](const testing::Pieces& pieces, const std::string& how) {
        Reach(St::ssHalfClosedLocal);
        for (std::string_view p : pieces) {
          ASSERT_EQ(0, conn->Receive(p.data(), p.size()))
              << how << ": " << conn->LastErrorText().view();
        }
        std::erase(listener.body, '|');
        EXPECT_EQ(lines, listener.lines) << how;
        EXPECT_EQ(std::string(100, 'x') + "<end/>", listener.body) << how;
        EXPECT_EQ(replies, conn->Output().str()) << how;
        EXPECT_EQ(St::ssClosed, conn->State()) << how;
        EXPECT_TRUE(conn->ResponseComplete()) << how;
        EXPECT_EQ(128u, conn->Setting(SETTINGS_MAX_CONCURRENT_STREAMS)) << how;
        EXPECT_EQ("calm down", conn->LastGoAway().DebugData()) << how;
      },
      10);
}

TEST_F(Http2ConnectionTest, EndStreamOnHeadersWaitsForTheLastContinuation) {
  Reach(St::ssHalfClosedLocal);
  std::string block = Block({{":status", "200"}, {"x-a", "1"}});
  ASSERT_EQ(0, Feed(Frame(1, kFlagEndStream, 1, block.substr(0, 4))));
  ASSERT_EQ(0, Feed(Frame(9, 0, 1, block.substr(4, 3))));
  EXPECT_EQ(St::ssHalfClosedLocal, conn->State());
  ASSERT_EQ(0, Feed(Frame(9, kFlagEndHeaders, 1, block.substr(7))));
  const std::vector<std::string> expected = {"header :status: 200", "header x-a: 1",
                                             "end of headers", "complete"};
  EXPECT_EQ(expected, listener.lines);
  EXPECT_EQ(St::ssClosed, conn->State());
}

// Each row: the state reached (with the stream reset by the peer or not), the
// bytes received there, and the failure they make.
TEST_F(Http2ConnectionTest, ReceiveChecksRefuseWithTheirMessages) {
  const St idle = St::ssIdle, open = St::ssOpened, remote = St::ssHalfClosedRemote;
  const std::string ping = "12345678", h = "\x88", one = U32(1) + U32(0);
  const struct {
    St state;
    bool reset;
    std::string bytes;
    M message;
    const char* arg;
  } checks[] = {
      {open, 0, Frame(0, 0, 0, "x"), M::kRecvDataStreamZero, ""},
      {remote, 0, Frame(0, 0, 1, "x"), M::kRecvDataState, ""},
      {open, 0, Frame(1, 4, 0, h), M::kRecvHeadersStreamZero, ""},
      {remote, 0, Frame(1, 4, 1, h), M::kRecvHeadersState, "HALFCLOSED_REMOTE"},
      {St::ssClosed, 1, Frame(1, 4, 1, h), M::kRecvHeadersState, "CLOSED"},
      {open, 0, Frame(1, 4, 3, h), M::kRecvUnknownStream, "HEADERS Frame on stream 3"},
      {open, 0, Frame(9, 4, 0, h), M::kRecvContinuationStreamZero, ""},
      {idle, 0, Frame(9, 4, 1, h), M::kRecvContinuationState, "IDLE"},
      {open, 0, Frame(9, 4, 1, h), M::kRecvOrphanContinuation, ""},
      {open, 0, Frame(1, 0, 1, h) + Frame(0, 0, 1, "x"), M::kRecvInsideHeaderBlock, "DATA"},
      {open, 0, Frame(3, 0, 0, U32(0)), M::kRecvRstStreamStreamZero, ""},
      {idle, 0, Frame(3, 0, 1, U32(0)), M::kRecvRstStreamState, "IDLE"},
      {St::ssClosed, 1, Frame(3, 0, 1, U32(0)), M::kRecvRstStreamState, "CLOSED"},
      {St::ssHalfClosedLocal, 0, Frame(3, 0, 1, U32(8)), M::kStreamReset,
       "The stream was no longer needed. Error code 0x8 (CANCEL)."},
      {idle, 0, Frame(4, 0, 0, ""), M::kRecvSettingsState, "IDLE"},
      {open, 0, Frame(4, kFlagAck, 0, test::FromHex("000400000001")), M::kRecvSettingsAckLength,
       "is 6"},
      {open, 0, Frame(5, 4, 1, U32(2) + "\x82"), M::kRecvPushPromiseDisabled, ""},
      {open, 0, Frame(6, 0, 1, ping), M::kRecvPingStream, ""},
      {idle, 0, Frame(6, 0, 0, ping), M::kRecvPingState, "IDLE"},
      {open, 0, Frame(6, 0, 0, "1234567"), M::kRecvPingLength, "PadLen 7"},
      {open, 0, Frame(7, 0, 1, one), M::kRecvGoAwayStream, ""},
      {remote, 0, Frame(7, 0, 0, one), M::kRecvGoAwayState, "HALFCLOSED_REMOTE"},
      {idle, 0, Frame(8, 0, 1, U32(1)), M::kRecvWindowUpdateState, "IDLE"},
      {open, 0, Frame(8, 0, 1, "abc"), M::kRecvWindowUpdateLength, "PadLen 3"},
      {open, 0, Frame(8, 0, 1, U32(0)), M::kRecvWindowUpdateZero, ""},
      {open, 0, Frame(8, 0, 1, U32(0x7FFFFFFF)), M::kWindowOverflow, ""},
      {open, 0, Frame(0, 0, 1, "").replace(0, 3, "\x00\x40\x01", 3), M::kRecvFrameTooLarge,
       "16385"},
  };
  for (const auto& c : checks) {
    SCOPED_TRACE(test::ToHex(c.bytes));
    Reach(c.state, c.reset);
    const int rc = Feed(c.bytes);
    EXPECT_TRUE(Failed(rc, *conn, c.message, c.arg));
    EXPECT_EQ(rc, Feed(Frame(6, 0, 0, ping))) << "the failure sticks";
    if (c.message == M::kStreamReset) {
      EXPECT_EQ(St::ssClosed, conn->State());
    }
  }
}

// Received fields are held to the HTTP/2 field rules; a break makes the
// response malformed before any of the offending frame reaches the listener.
TEST_F(Http2ConnectionTest, ResponseFieldsBreakingTheFieldRulesAreMalformed) {
  const HeaderField ok{":status", "200"};
  const struct {
    std::vector<HeaderList> blocks;  // one HEADERS frame each, END_STREAM on the last
    std::optional<M> message;        // none: the response is accepted
    const char* shown;
  } cases[] = {
      {{{ok, {"Content-Type", "x"}}}, M::kMalformedFieldName, "Content-Type"},
      {{{ok, {"", "1"}}}, M::kMalformedFieldName, "name  is"},
      {{{ok, {":foo", "1"}}}, M::kMalformedPseudoHeader, ":foo"},
      {{{{"x-a", "1"}, ok}}, M::kMalformedPseudoAfterField, ":status"},
      {{{ok, {":status", "204"}}}, M::kMalformedDuplicateStatus, ""},
      {{{{"x-a", "1"}}}, M::kMalformedMissingStatus, ""},
      {{{{":status", "200 "}}}, M::kMalformedStatus, ":status 200? "},
      {{{ok, {"connection", "close"}}}, M::kMalformedConnectionField, "field connection"},
      {{{ok, {"te", "gzip"}}}, M::kMalformedConnectionField, "field te"},
      {{{ok, {"x-a", "1\t"}}}, M::kMalformedFieldWhitespace, "x-a"},
      {{{ok}, {{":status", "200"}}}, M::kMalformedPseudoHeader, ":status"},
      {{{{":status", "103"}, {"link", "</a>"}}, {{"x-a", "1"}}}, M::kMalformedMissingStatus, ""},
      {{{{":status", "100"}}, {ok, {"te", "Trailers"}}, {{"x-sum", "1"}}}, std::nullopt, ""},
      {{{ok, {"x-a", "1  2"}, {"x-b", ""}, {"!#$%&'*+-.^_`|~09az", "v"}}}, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    Reach(St::ssHalfClosedLocal);
    int rc = 0;
    for (size_t i = 0; i < c.blocks.size() && rc == 0; ++i) {
      rc = Feed(Frame(1, kFlagEndHeaders | (i + 1 == c.blocks.size() ? kFlagEndStream : 0), 1,
                      Block(c.blocks[i])));
    }
    if (!c.message) {
      EXPECT_EQ(0, rc) << conn->LastErrorText().view();
      EXPECT_EQ("complete", listener.lines.back());
    } else {
      EXPECT_TRUE(Failed(rc, *conn, *c.message, c.shown));
    }
  }
  // The rules hold across CONTINUATION frames.
  Reach(St::ssHalfClosedLocal);
  ASSERT_EQ(0, Feed(Frame(1, 0, 1, Block({{"x-a", "1"}}))));
  EXPECT_TRUE(Failed(Feed(Frame(9, kFlagEndHeaders, 1, Block({{":status", "200"}}))), *conn,
                     M::kMalformedPseudoAfterField));
  // A listener's own failure stops the receive with its code.
  Reach(St::ssHalfClosedLocal);
  listener.failHeaders = 4;
  EXPECT_EQ(4, Feed(Status("200", kFlagEndHeaders)));
}

// A padded DATA frame goes up as its bytes arrive, without the padding; its
// credit leaves once the whole frame is in, wherever the reads end: inside
// the frame header, after the pad length, inside the data and the padding.
TEST_F(Http2ConnectionTest, DataGoesUpAsItArrivesAndIsCreditedOnceWhole) {
  const std::string data = Frame(0, kFlagPadded | kFlagEndStream, 1,
                                 std::string("\x02", 1) + "abcdefgh" + std::string(2, '\0'));
  Reach(St::ssHalfClosedLocal);
  ASSERT_EQ(0, Feed(Status("200", kFlagEndHeaders)));
  TakeOutput();
  size_t at = 0;
  for (size_t cut : {4, 10, 13, 16, 19}) {
    ASSERT_EQ(0, Feed(data.substr(at, cut - at)));
    EXPECT_EQ("", TakeOutput()) << "credit before the frame ended, cut at " << cut;
    EXPECT_FALSE(conn->ResponseComplete());
    at = cut;
  }
  ASSERT_EQ(0, Feed(data.substr(at)));
  EXPECT_EQ("abc|def|gh", listener.body);
  EXPECT_EQ(Frame(8, 0, 0, U32(11)) + Frame(8, 0, 1, U32(11)), TakeOutput());
  EXPECT_TRUE(conn->ResponseComplete());
}

TEST_F(Http2ConnectionTest, SendWindowsLimitTheBody) {
  Reach(St::ssOpened);
  ASSERT_EQ(0, Feed(Frame(4, 0, 0, test::FromHex("000400000000"))));
  TakeOutput();
  EXPECT_EQ(0, conn->SendWindow()) << "a server's initial window of 0";
  EXPECT_TRUE(Failed(conn->SendData("x", 1, true), *conn, M::kSendWindowExceeded, "of 1 bytes"));
  ASSERT_EQ(0, Feed(Frame(8, 0, 1, U32(100000))));
  EXPECT_EQ(65535, conn->SendWindow()) << "the connection window is still the default";
  ASSERT_EQ(0, Feed(Frame(8, 0, 0, U32(1000))));
  EXPECT_EQ(66535, conn->SendWindow());
  // Pieces of the server's max frame size.
  const std::string body(40000, 'z');
  ASSERT_EQ(0, conn->SendData(body.data(), body.size(), true));
  EXPECT_EQ(Frame(0, 0, 1, body.substr(0, 16384)) + Frame(0, 0, 1, body.substr(16384, 16384)) +
                Frame(0, kFlagEndStream, 1, body.substr(32768)),
            TakeOutput());
  EXPECT_EQ(66535 - 40000, conn->SendWindow());
  EXPECT_EQ(St::ssHalfClosedLocal, conn->State());
  EXPECT_TRUE(Failed(conn->SendData("x", 1, true), *conn, M::kSendDataState, "HALFCLOSED_LOCAL"));
}

TEST_F(Http2ConnectionTest, CloseResetsAnOpenStreamOnlyAndClosedStreamsSendNothing) {
  Reach(St::ssHalfClosedLocal);
  ASSERT_EQ(0, conn->Close());
  EXPECT_EQ(Frame(3, 0, 1, U32(0)), TakeOutput());
  EXPECT_EQ(St::ssIdle, conn->State());
  ASSERT_EQ(0, conn->Close());
  EXPECT_EQ("", TakeOutput()) << "an idle stream is never reset";
  Reach(St::ssClosed);
  EXPECT_TRUE(Failed(conn->SendHeaders(true), *conn, M::kSendHeadersState, "CLOSED"));
  EXPECT_TRUE(Failed(conn->SendRstStream(), *conn, M::kSendRstStreamState, "CLOSED"));
  ASSERT_EQ(0, conn->Close());
  EXPECT_EQ("", TakeOutput());
}

TEST_F(Http2ConnectionTest, NextStreamGoesOnTheNextOddStreamOfTheSameConnection) {
  Reach(St::ssClosed);
  // A frame cut in two by the end of the last response stays with the connection.
  const std::string ping = Frame(6, 0, 0, "12345678");
  ASSERT_EQ(0, Feed(ping.substr(0, 5)));
  ASSERT_TRUE(conn->NextStream());
  EXPECT_EQ(3u, conn->StreamId());
  EXPECT_EQ(St::ssIdle, conn->State());
  EXPECT_FALSE(conn->ResponseComplete());
  ASSERT_EQ(0, conn->SendHeaders(true));
  std::string out = TakeOutput();
  EXPECT_EQ(U32(3), out.substr(5, 4)) << "HEADERS on stream 3, no preface or SETTINGS again";
  ASSERT_EQ(0, Feed(ping.substr(5)));
  EXPECT_EQ(Frame(6, kFlagAck, 0, "12345678"), TakeOutput());
  ASSERT_EQ(0, Feed(Frame(1, kFlagEndHeaders | kFlagEndStream, 3, Block({{":status", "204"}}))));
  EXPECT_EQ(St::ssClosed, conn->State());
  EXPECT_EQ(1, Feed(Frame(0, kFlagEndStream, 1, "late"))) << "the first stream is over";
}

// A response still running, a GOAWAY, a reset by the server: frames of the
// stream may still be on their way, so no next stream on this connection.
TEST_F(Http2ConnectionTest, NextStreamRefusesWhatMayStillHaveFramesInFlight) {
  for (const std::string& extra :
       {std::string(), Frame(7, 0, 0, U32(1) + U32(0)) + Status("204"), Frame(3, 0, 1, U32(0))}) {
    SCOPED_TRACE(test::ToHex(extra));
    Reach(St::ssHalfClosedLocal);
    ASSERT_EQ(0, Feed(extra));
    EXPECT_FALSE(conn->NextStream());
    EXPECT_EQ(1u, conn->StreamId());
  }
}

TEST(Http2Alpn, ProtocolSelection) {
  for (const char* alpn : {"h2", "H2", "http/1.1, h2"})
    EXPECT_TRUE(Http2Connection::AlpnSelectsH2(alpn)) << alpn;
  for (const char* alpn : {"h2c", "http/1.1", ""})
    EXPECT_FALSE(Http2Connection::AlpnSelectsH2(alpn)) << alpn;
  // Refusing the fallback is pinned against nginx's HTTP/1.1-only port.
  Http2Connection c;
  bool useHttp2 = false;
  EXPECT_EQ(0, c.SelectProtocol("h2", false, "https", useHttp2));
  EXPECT_TRUE(useHttp2);
  EXPECT_TRUE(test::Failed(c.SelectProtocol("", true, "http", useHttp2), c, M::kPlaintextHttp2));
  EXPECT_EQ(0, c.SelectProtocol("", true, "https", useHttp2));
  EXPECT_FALSE(useHttp2);
}

}  // namespace
}  // namespace corvane
