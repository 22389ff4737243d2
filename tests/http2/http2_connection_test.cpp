#include "http2/http2_connection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http2/hpack_encoder.h"
#include "http2_test_util.h"
#include "support/every_split.h"

namespace corvane {
namespace {

using St = Http2StreamState;

using test::Frame;
using test::U32;

std::string Block(const HeaderList& headers) {
  ByteBuffer out;
  EXPECT_EQ(0, HpackEncode(headers, true, out));
  return out.str();
}

// Records every call as one line of a transcript.
class Transcript : public Http2ResponseListener {
 public:
  int ProcessHeader(std::string_view name, std::string_view value) override {
    lines.push_back("header " + std::string(name) + ": " + std::string(value));
    return failHeaders;
  }
  int EndOfHeaders() override {
    lines.push_back("end of headers");
    return 0;
  }
  int DeliverBody(const char* data, size_t length) override {
    if (!body.empty()) body += pieceMark;
    body.append(data, length);
    return 0;
  }
  int CompleteResponse() override {
    lines.push_back("complete");
    return 0;
  }
  bool LogsAt(int level) const override { return level <= logLevel; }
  void Log(int, std::string_view, std::string_view) override {}

  std::vector<std::string> lines;
  std::string body;
  std::string pieceMark;  // written between two pieces of the body
  int failHeaders = 0;
  int logLevel = 1;
};

class Http2ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override { conn.SetListener(&listener); }

  std::string TakeOutput() {
    std::string out = conn.Output().str();
    conn.ConsumeOutput(out.size());
    return out;
  }
  int Feed(const std::string& bytes) { return conn.Receive(bytes.data(), bytes.size()); }

  // Start, send the request headers and (for states past OPENED) receive
  // what moves the stream there.
  void Reach(St state, bool closedByPeer = false) {
    ASSERT_EQ(0, conn.Start());
    if (state == St::ssIdle) return;
    conn.RequestHeaders() = {{":method", "GET"}, {":scheme", "https"}, {":path", "/"},
                             {":authority", "h"}};
    bool endStream = state == St::ssHalfClosedLocal || state == St::ssClosed;
    ASSERT_EQ(0, conn.SendHeaders(endStream));
    if (state == St::ssHalfClosedRemote || state == St::ssClosed) {
      ASSERT_EQ(0, Feed(Frame(1, kFlagEndHeaders | kFlagEndStream, 1, Block({{":status", "204"}}))))
          << conn.LastErrorText().view();
    }
    if (closedByPeer) {
      ASSERT_EQ(0, Feed(Frame(3, 0, 1, U32(0))));
    }
    ASSERT_EQ(state, conn.State());
    ASSERT_EQ(closedByPeer, conn.ClosedByPeer());
    TakeOutput();
    listener.lines.clear();
  }

  Transcript listener;
  Http2Connection conn;
};

TEST_F(Http2ConnectionTest, StartSendsPrefaceSettingsAndConnectionWindowUpdate) {
  ASSERT_EQ(0, conn.Start());
  EXPECT_EQ(std::string("PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n") +
                Frame(4, 0, 0, test::FromHex("000300000064" "00040000ffff")) +
                Frame(8, 0, 0, U32(65535)),
            TakeOutput());
  EXPECT_EQ(St::ssIdle, conn.State());
}

TEST(Http2RequestHeaders, PseudoHeadersThenBlockLinesWithoutHopByHopFields) {
  HeaderList headers;
  std::string text;
  Http2Connection::BuildRequestHeaders(
      "POST", "https", "api.example.com", 443, "/v1/items?q=1",
      "Host: api.example.com\r\nAccept: */*\r\nConnection: Keep-Alive\r\nKeep-Alive: 300\r\n"
      "TE: trailers\r\nTransfer-Encoding: chunked\r\nUpgrade: h2c\r\nProxy-Connection: x\r\n"
      "Content-Type: application/json\r\nX-Quoted: \"a:b\"\r\nX-Odd\"na:me\": v\r\n\r\n",
      headers, text);
  const HeaderList expected = {{":method", "POST"},
                               {":scheme", "https"},
                               {":path", "/v1/items?q=1"},
                               {":authority", "api.example.com:443"},
                               {"accept", "*/*"},
                               {"content-type", "application/json"},
                               {"x-quoted", "\"a:b\""},
                               {"x-odd\"na:me\"", "v"}};
  EXPECT_EQ(expected, headers);
  EXPECT_EQ(":method: POST\r\n:scheme: https\r\n:path: /v1/items?q=1\r\n"
            ":authority: api.example.com:443\r\naccept: */*\r\ncontent-type: application/json\r\n"
            "x-quoted: \"a:b\"\r\nx-odd\"na:me\": v\r\n",
            text);
  Http2Connection::BuildRequestHeaders("GET", "http", "h", 80, "/", "", headers, text);
  EXPECT_EQ("h", headers[3].value) << "port 80 leaves the host alone";
  Http2Connection::BuildRequestHeaders("GET", "https", "h", 8080, "/", "", headers, text);
  EXPECT_EQ("h:8080", headers[3].value);
}

TEST_F(Http2ConnectionTest, LargeHeaderBlockContinuesInContinuationFrames) {
  ASSERT_EQ(0, conn.Start());
  TakeOutput();
  listener.logLevel = 3;  // the request lines go to the log too
  conn.RequestHeaders() = {{":method", "GET"}, {"x-big", std::string(60000, 'a')}};
  ASSERT_EQ(0, conn.SendHeaders(false));
  std::string out = TakeOutput();
  HpackDecoder decoder;
  HeaderList decoded;
  std::vector<std::pair<uint8_t, uint8_t>> frames;  // type, flags
  size_t pos = 0;
  while (pos < out.size()) {
    Http2FrameHeader h;
    ASSERT_TRUE(PeekHttp2FrameHeader(test::Bytes(out) + pos, out.size() - pos, h));
    EXPECT_LE(h.length, 16384u);
    frames.push_back({h.type, h.flags});
    ASSERT_EQ(0, decoder.Decode(test::Bytes(out) + pos + 9, h.length, decoded,
                                (h.flags & kFlagEndHeaders) != 0));
    pos += 9 + h.length;
  }
  const std::vector<std::pair<uint8_t, uint8_t>> expected = {{1, 0}, {9, 0}, {9, kFlagEndHeaders}};
  EXPECT_EQ(expected, frames);  // 60000 five-bit codes make 37500 bytes
  EXPECT_EQ(conn.RequestHeaders(), decoded);
  EXPECT_EQ(St::ssOpened, conn.State());
}

std::string ServerResponse() {
  return Frame(4, 0, 0, test::FromHex("000300000080" "000500004000")) + Frame(4, kFlagAck, 0, "") +
         Frame(1, kFlagEndHeaders, 1, Block({{":status", "200"}, {"content-type", "text/xml"}})) +
         Frame(0, 0, 1, std::string(100, 'x')) +
         Frame(0, kFlagPadded | kFlagEndStream, 1, test::FromHex("03") + "<end/>" +
                                                       std::string(3, '\0'));
}

const std::vector<std::string> kResponseTranscript = {
    "header :status: 200", "header content-type: text/xml", "end of headers", "complete"};

std::string ResponseReplies() {
  return Frame(4, kFlagAck, 0, "") + Frame(8, 0, 0, U32(100)) + Frame(8, 0, 1, U32(100)) +
         Frame(8, 0, 0, U32(10)) + Frame(8, 0, 1, U32(10));
}

TEST_F(Http2ConnectionTest, ResponseIsDeliveredAndAcknowledgedAtEverySplit) {
  const std::string bytes = ServerResponse();
  // Pieces up to 10 bytes: a frame header (9) split from its payload too.
  testing::ForEachSplit(bytes, [&](const testing::Pieces& pieces, const std::string& how) {
    Transcript t;
    Http2Connection c;
    c.SetListener(&t);
    ASSERT_EQ(0, c.Start());
    c.RequestHeaders() = {{":method", "GET"}};
    ASSERT_EQ(0, c.SendHeaders(true));
    c.ConsumeOutput(static_cast<size_t>(c.Output().size()));
    for (std::string_view p : pieces) {
      ASSERT_EQ(0, c.Receive(p.data(), p.size())) << how << ": " << c.LastErrorText().view();
    }
    EXPECT_EQ(kResponseTranscript, t.lines) << how;
    EXPECT_EQ(std::string(100, 'x') + "<end/>", t.body) << how;
    EXPECT_EQ(ResponseReplies(), c.Output().str()) << how;
    EXPECT_EQ(St::ssClosed, c.State()) << how;
    EXPECT_TRUE(c.ResponseComplete()) << how;
    EXPECT_EQ(128u, c.Setting(SETTINGS_MAX_CONCURRENT_STREAMS)) << how;
  }, 10);
}

TEST_F(Http2ConnectionTest, EndStreamOnHeadersWaitsForTheLastContinuation) {
  Reach(St::ssHalfClosedLocal);
  std::string block = Block({{":status", "200"}, {"x-a", "1"}, {"x-b", "2"}});
  ASSERT_EQ(0, Feed(Frame(1, kFlagEndStream, 1, block.substr(0, 4))));
  EXPECT_EQ(St::ssHalfClosedLocal, conn.State());
  ASSERT_EQ(0, Feed(Frame(9, 0, 1, block.substr(4, 3))));
  ASSERT_EQ(0, Feed(Frame(9, kFlagEndHeaders, 1, block.substr(7))));
  const std::vector<std::string> expected = {"header :status: 200", "header x-a: 1",
                                             "header x-b: 2", "end of headers", "complete"};
  EXPECT_EQ(expected, listener.lines);
  EXPECT_EQ(St::ssClosed, conn.State());
}

TEST_F(Http2ConnectionTest, RstStreamWithCancelFailsWithStreamReset) {
  Reach(St::ssHalfClosedLocal);
  EXPECT_EQ(162, Feed(Frame(3, 0, 1, U32(8))));
  EXPECT_EQ("HTTP/2 Protocol Error: Stream reset. The stream was no longer needed. "
            "Error code 0x8 (CANCEL).",
            conn.LastErrorText().view());
  EXPECT_EQ(St::ssClosed, conn.State());
  EXPECT_EQ(162, Feed(Frame(6, 0, 0, "12345678"))) << "the failure sticks";
}

struct ReceiveCheck {
  const char* what;
  St state;
  bool closedByPeer;
  std::string bytes;
  int code;
  std::string message;
};

TEST_F(Http2ConnectionTest, ReceiveChecksRefuseWithTheirMessages) {
  const std::string ping = "12345678";
  const ReceiveCheck checks[] = {
      {"DATA on stream 0", St::ssOpened, false, Frame(0, 0, 0, "x"), 1,
       "PROTOCOL_ERROR: Receive Data Frame with StreamIdentifier is 0."},
      {"DATA after the response ended", St::ssHalfClosedRemote, false, Frame(0, 0, 1, "x"), 1,
       "PROTOCOL_ERROR"},
      {"HEADERS on stream 0", St::ssOpened, false, Frame(1, kFlagEndHeaders, 0, "\x88"), 1,
       "PROTOCOL_ERROR"},
      {"HEADERS after the response ended", St::ssHalfClosedRemote, false,
       Frame(1, kFlagEndHeaders, 1, "\x88"), 1,
       "PROTOCOL_ERROR: Receive Headers Frame with error state HALFCLOSED_REMOTE."},
      {"HEADERS when closed by the peer", St::ssClosed, true, Frame(1, kFlagEndHeaders, 1, "\x88"),
       1, "PROTOCOL_ERROR: Receive Headers Frame with error state CLOSED."},
      {"HEADERS on a stream never opened", St::ssOpened, false,
       Frame(1, kFlagEndHeaders, 3, "\x88"), 1,
       "PROTOCOL_ERROR: Receive HEADERS Frame on stream 3, which this connection did not open."},
      {"CONTINUATION on stream 0", St::ssOpened, false, Frame(9, kFlagEndHeaders, 0, "\x88"), 1,
       "PROTOCOL_ERROR: Receive Continuation Frame with StreamIdentifier is not 0."},
      {"CONTINUATION before the request", St::ssIdle, false, Frame(9, kFlagEndHeaders, 1, "\x88"),
       1, "PROTOCOL_ERROR: Send Continuation Frame with error state IDLE."},
      {"CONTINUATION without HEADERS", St::ssOpened, false, Frame(9, kFlagEndHeaders, 1, "\x88"),
       1, "PROTOCOL_ERROR: Receive Continuation Frame without a header block to continue."},
      {"DATA inside a header block", St::ssOpened, false,
       Frame(1, 0, 1, "\x88") + Frame(0, 0, 1, "x"), 1,
       "PROTOCOL_ERROR: Receive DATA Frame while a header block is incomplete."},
      {"RST_STREAM on stream 0", St::ssOpened, false, Frame(3, 0, 0, U32(0)), 1,
       "PROTOCOL_ERROR: Receive RstStream Frame with StreamIdentifier is 0."},
      {"RST_STREAM before the request", St::ssIdle, false, Frame(3, 0, 1, U32(0)), 1,
       "PROTOCOL_ERROR: Receive RstStream Frame with error state IDLE."},
      {"RST_STREAM twice from the peer", St::ssClosed, true, Frame(3, 0, 1, U32(0)), 1,
       "PROTOCOL_ERROR: Receive RstStream Frame with error state CLOSED."},
      {"SETTINGS before the request", St::ssIdle, false, Frame(4, 0, 0, ""), 1,
       "PROTOCOL_ERROR: Receive Settings Frame with error state IDLE."},
      {"SETTINGS ACK with a payload", St::ssOpened, false,
       Frame(4, kFlagAck, 0, test::FromHex("000400000001")), 6,
       "FRAME_SIZE_ERROR: Receive Settings Frame with Ack Flags but payloadLen is 6 not 0."},
      {"PUSH_PROMISE with push disabled", St::ssOpened, false,
       Frame(5, kFlagEndHeaders, 1, U32(2) + "\x82"), 1,
       "PROTOCOL_ERROR: Receive PushPromise Frame, but enable accept PushPromise ia false."},
      {"PING on stream 1", St::ssOpened, false, Frame(6, 0, 1, ping), 1,
       "PROTOCOL_ERROR: Receive Ping Frame with StreamIdentifier is not 0."},
      {"PING before the request", St::ssIdle, false, Frame(6, 0, 0, ping), 1,
       "PROTOCOL_ERROR: Receive Ping Frame with error state IDLE."},
      {"PING of 7 bytes", St::ssOpened, false, Frame(6, 0, 0, "1234567"), 6,
       "FRAME_SIZE_ERROR: Receive Ping Frame with PadLen 7 differet from Ping Frame PadLen should "
       "be 8."},
      {"GOAWAY on stream 1", St::ssOpened, false, Frame(7, 0, 1, U32(1) + U32(0)), 1,
       "PROTOCOL_ERROR: Receive GoAway Frame with StreamIdentifier is not 0."},
      {"GOAWAY after the response ended", St::ssHalfClosedRemote, false,
       Frame(7, 0, 0, U32(1) + U32(0)), 1,
       "PROTOCOL_ERROR: Receive GoAway Frame with error state HALFCLOSED_REMOTE."},
      {"WINDOW_UPDATE before the request", St::ssIdle, false, Frame(8, 0, 1, U32(1)), 1,
       "PROTOCOL_ERROR: Receive WindowUpdate Frame with error state IDLE."},
      {"WINDOW_UPDATE of 3 bytes", St::ssOpened, false, Frame(8, 0, 1, "abc"), 6,
       "FRAME_SIZE_ERROR: Receive WindowUpdate Frame with PadLen 3 differet from PadLen should be "
       "4."},
      {"WINDOW_UPDATE of 0", St::ssOpened, false, Frame(8, 0, 1, U32(0)), 1,
       "PROTOCOL_ERROR: Receive WindowUpdata Frame with WindowIncrement is 0."},
      {"WINDOW_UPDATE past 2^31 - 1", St::ssOpened, false, Frame(8, 0, 1, U32(0x7FFFFFFF)), 1,
       "FLOW_CONTROL_ERROR: Send window grows past 2147483647."},
      {"frame longer than 16384", St::ssOpened, false, Frame(0, 0, 1, "").replace(0, 3, "\x00\x40\x01", 3),
       6, "FRAME_SIZE_ERROR: Receive Frame with payloadLen 16385 more than max frame size 16384."},
  };
  for (const ReceiveCheck& c : checks) {
    SCOPED_TRACE(c.what);
    Transcript t;
    listener = t;
    conn.Close();
    Reach(c.state, c.closedByPeer);
    EXPECT_EQ(c.code, Feed(c.bytes));
    EXPECT_EQ(c.message, conn.LastErrorText().view());
  }
}

struct FieldRuleCase {
  const char* what;
  std::vector<HeaderList> blocks;  // one HEADERS frame each, END_STREAM on the last
  std::string message;             // empty: the response is accepted
};

// Received fields are held to the HTTP/2 field rules; a break makes the
// response malformed before any of the offending frame reaches the listener.
TEST_F(Http2ConnectionTest, ResponseFieldsBreakingTheFieldRulesAreMalformed) {
  const std::string kBad = "PROTOCOL_ERROR: Malformed response: ";
  const std::string kName = " is not a lower-case token.";
  const std::string kHop = " is not allowed in HTTP/2.";
  const HeaderField ok{":status", "200"};
  const FieldRuleCase cases[] = {
      {"upper-case name", {{ok, {"Content-Type", "x"}}}, kBad + "the header field name Content-Type" + kName},
      {"byte above 0x7f in a name", {{ok, {"x\xe9", "1"}}}, kBad + "the header field name x?" + kName},
      {"empty name", {{ok, {"", "1"}}}, kBad + "the header field name " + kName},
      {"unknown pseudo-header", {{ok, {":foo", "1"}}}, kBad + "the pseudo-header field :foo is not allowed here."},
      {"request pseudo-header", {{{":path", "/"}, ok}}, kBad + "the pseudo-header field :path is not allowed here."},
      {"pseudo-header after a field", {{{"x-a", "1"}, ok}},
       kBad + "the pseudo-header field :status follows a regular field."},
      {"second :status", {{ok, {":status", "204"}}}, kBad + "the header block carries :status twice."},
      {"no :status", {{{"x-a", "1"}}}, kBad + "the header block has no :status."},
      {"two-digit :status", {{{":status", "20"}}}, kBad + ":status 20 is not a three-digit status code."},
      {":status with a blank", {{{":status", "200 "}}}, kBad + ":status 200? is not a three-digit status code."},
      {"connection", {{ok, {"connection", "close"}}}, kBad + "the connection-specific header field connection" + kHop},
      {"te other than trailers", {{ok, {"te", "gzip"}}}, kBad + "the connection-specific header field te" + kHop},
      {"trailing tab in a value", {{ok, {"x-a", "1\t"}}},
       kBad + "the value of the header field x-a begins or ends with whitespace."},
      {":status in trailers", {{ok}, {{":status", "200"}}},
       kBad + "the pseudo-header field :status is not allowed here."},
      {"no :status after an informational block", {{{":status", "103"}, {"link", "</a>"}}, {{"x-a", "1"}}},
       kBad + "the header block has no :status."},
      {"informational, final and trailers", {{{":status", "100"}}, {ok, {"te", "Trailers"}}, {{"x-sum", "1"}}}, ""},
      {"inner blanks, empty values, every token byte",
       {{ok, {"x-a", "1  2"}, {"x-b", ""}, {"!#$%&'*+-.^_`|~09az", "v"}}}, ""},
  };
  for (const FieldRuleCase& c : cases) {
    SCOPED_TRACE(c.what);
    conn.Close();
    Reach(St::ssHalfClosedLocal);
    int rc = 0;
    for (size_t i = 0; i < c.blocks.size() && rc == 0; ++i) {
      uint8_t flags = kFlagEndHeaders | (i + 1 == c.blocks.size() ? kFlagEndStream : 0);
      rc = Feed(Frame(1, flags, 1, Block(c.blocks[i])));
    }
    if (c.message.empty()) {
      EXPECT_EQ(0, rc) << conn.LastErrorText().view();
      EXPECT_EQ("complete", listener.lines.back());
    } else {
      EXPECT_EQ(1, rc);
      EXPECT_EQ(c.message, conn.LastErrorText().view());
    }
  }
}

TEST_F(Http2ConnectionTest, FieldRulesHoldAcrossContinuationFrames) {
  Reach(St::ssHalfClosedLocal);
  ASSERT_EQ(0, Feed(Frame(1, 0, 1, Block({{"x-a", "1"}}))));
  EXPECT_EQ(1, Feed(Frame(9, kFlagEndHeaders, 1, Block({{":status", "200"}}))));
  EXPECT_EQ("PROTOCOL_ERROR: Malformed response: the pseudo-header field :status follows a regular field.",
            conn.LastErrorText().view());
}

// PING is answered with its bytes, a PING ACK, unknown frames and PRIORITY
// are skipped, GOAWAY is kept for the caller.
TEST_F(Http2ConnectionTest, ControlFramesLeaveTheStreamAlone) {
  Reach(St::ssHalfClosedLocal);
  ASSERT_EQ(0, Feed(Frame(6, 0, 0, "abcdefgh")));
  EXPECT_EQ(Frame(6, kFlagAck, 0, "abcdefgh"), TakeOutput());
  ASSERT_EQ(0, Feed(Frame(6, kFlagAck, 0, "abcdefgh") + Frame(0x42, 0xff, 7, "anything") + Frame(2, 0, 1, "abcde")));
  EXPECT_EQ("", TakeOutput());
  ASSERT_EQ(0, Feed(Frame(7, 0, 0, U32(0) + U32(11) + "calm down")));
  EXPECT_TRUE(conn.GoAwayReceived());
  EXPECT_EQ(0u, conn.LastGoAway().LastStreamId());
  EXPECT_EQ(11u, conn.LastGoAway().ErrorCode());
  EXPECT_EQ("calm down", conn.LastGoAway().DebugData());
  EXPECT_EQ(St::ssHalfClosedLocal, conn.State());
}

// A padded DATA frame goes up as its bytes arrive, without the padding; its
// credit leaves once the whole frame is in, wherever the reads end.
TEST_F(Http2ConnectionTest, DataGoesUpAsItArrivesAndIsCreditedOnceWhole) {
  const std::string data =
      Frame(0, kFlagPadded | kFlagEndStream, 1, std::string("\x02", 1) + "abcdefgh" + std::string(2, '\0'));
  const std::string credit = Frame(8, 0, 0, U32(11)) + Frame(8, 0, 1, U32(11));
  const struct {
    const char* how;
    std::vector<size_t> cuts;  // offsets into the frame where a read ends
    std::string body;          // as the listener got it, "|" between pieces
  } cases[] = {
      {"whole", {}, "abcdefgh"},
      {"inside the data", {13, 16}, "abc|def|gh"},
      {"inside the header", {4}, "abcdefgh"},
      {"between pad length and data", {10}, "abcdefgh"},
      {"inside the padding", {19}, "abcdefgh"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    conn.Close();
    Reach(St::ssHalfClosedLocal);
    ASSERT_EQ(0, Feed(Frame(1, kFlagEndHeaders, 1, Block({{":status", "200"}}))));
    TakeOutput();
    listener.body.clear();
    listener.pieceMark = "|";
    size_t at = 0;
    for (size_t cut : c.cuts) {
      ASSERT_EQ(0, Feed(data.substr(at, cut - at)));
      EXPECT_EQ("", TakeOutput()) << "credit before the frame ended";
      EXPECT_FALSE(conn.ResponseComplete());
      at = cut;
    }
    ASSERT_EQ(0, Feed(data.substr(at)));
    EXPECT_EQ(c.body, listener.body);
    EXPECT_EQ(credit, TakeOutput());
    EXPECT_TRUE(conn.ResponseComplete());
  }
}

TEST_F(Http2ConnectionTest, ServerInitialWindowOfZeroHoldsTheBodyUntilWindowUpdate) {
  Reach(St::ssOpened);
  ASSERT_EQ(0, Feed(Frame(4, 0, 0, test::FromHex("000400000000"))));
  TakeOutput();
  EXPECT_EQ(0, conn.SendWindow());
  EXPECT_EQ(1, conn.SendData("x", 1, true));
  EXPECT_EQ("FLOW_CONTROL_ERROR: Data of 1 bytes exceeds the send window of 0 bytes.",
            conn.LastErrorText().view());
  ASSERT_EQ(0, Feed(Frame(8, 0, 1, U32(100))));
  EXPECT_EQ(100, conn.SendWindow());
  ASSERT_EQ(0, conn.SendData(std::string(100, 'b').data(), 100, true));
  EXPECT_EQ(Frame(0, kFlagEndStream, 1, std::string(100, 'b')), TakeOutput());
  EXPECT_EQ(0, conn.SendWindow());
  EXPECT_EQ(St::ssHalfClosedLocal, conn.State());
}

TEST_F(Http2ConnectionTest, ConnectionWindowAlsoLimitsTheBody) {
  Reach(St::ssOpened);
  ASSERT_EQ(0, Feed(Frame(8, 0, 1, U32(100000))));
  EXPECT_EQ(65535, conn.SendWindow()) << "the connection window is still the default";
  ASSERT_EQ(0, Feed(Frame(8, 0, 0, U32(1000))));
  EXPECT_EQ(66535, conn.SendWindow());
}

TEST_F(Http2ConnectionTest, SendDataSplitsAtTheServersMaxFrameSize) {
  Reach(St::ssOpened);
  std::string body(40000, 'z');
  ASSERT_EQ(0, conn.SendData(body.data(), body.size(), true));
  std::string out = TakeOutput();
  EXPECT_EQ(Frame(0, 0, 1, body.substr(0, 16384)) + Frame(0, 0, 1, body.substr(16384, 16384)) +
                Frame(0, kFlagEndStream, 1, body.substr(32768)),
            out);
  EXPECT_EQ(65535 - 40000, conn.SendWindow());
  EXPECT_EQ(1, conn.SendData("x", 1, true));
  EXPECT_EQ("PROTOCOL_ERROR: Send Data Frame with error state HALFCLOSED_LOCAL.",
            conn.LastErrorText().view());
}

TEST_F(Http2ConnectionTest, SendChecksRefuseInClosedStates) {
  Reach(St::ssClosed);
  EXPECT_EQ(1, conn.SendHeaders(true));
  EXPECT_EQ("PROTOCOL_ERROR: Send Headers Frame with error state CLOSED.",
            conn.LastErrorText().view());
  EXPECT_EQ(1, conn.SendRstStream());
  EXPECT_EQ("PROTOCOL_ERROR: Send RstStream Frame with error state CLOSED.",
            conn.LastErrorText().view());
}

TEST_F(Http2ConnectionTest, CloseResetsAnOpenStreamOnly) {
  Reach(St::ssHalfClosedLocal);
  ASSERT_EQ(0, conn.Close());
  EXPECT_EQ(Frame(3, 0, 1, U32(0)), TakeOutput());
  EXPECT_EQ(St::ssIdle, conn.State());
  Reach(St::ssClosed);
  ASSERT_EQ(0, conn.Close());
  EXPECT_EQ("", TakeOutput());
  ASSERT_EQ(0, conn.Close());
  EXPECT_EQ("", TakeOutput()) << "an idle stream is never reset";
}

TEST_F(Http2ConnectionTest, NextStreamGoesOnTheNextOddStreamOfTheSameConnection) {
  Reach(St::ssClosed);
  // A frame cut in two by the end of the last response stays with the connection.
  const std::string ping = Frame(6, 0, 0, "12345678");
  ASSERT_EQ(0, Feed(ping.substr(0, 5)));
  ASSERT_TRUE(conn.NextStream());
  EXPECT_EQ(3u, conn.StreamId());
  EXPECT_EQ(St::ssIdle, conn.State());
  EXPECT_FALSE(conn.ResponseComplete());
  ASSERT_EQ(0, conn.SendHeaders(true));
  std::string out = TakeOutput();
  ASSERT_GE(out.size(), 9u);
  EXPECT_EQ(U32(3), out.substr(5, 4)) << "HEADERS on stream 3, no preface or SETTINGS again";
  ASSERT_EQ(0, Feed(ping.substr(5)));
  EXPECT_EQ(Frame(6, 1, 0, "12345678"), TakeOutput());
  ASSERT_EQ(0, Feed(Frame(1, kFlagEndHeaders | kFlagEndStream, 3, Block({{":status", "204"}}))))
      << conn.LastErrorText().view();
  EXPECT_EQ(St::ssClosed, conn.State());
  EXPECT_EQ(1, Feed(Frame(0, kFlagEndStream, 1, "late"))) << "the first stream is over";
}

TEST_F(Http2ConnectionTest, NextStreamRefusesWhatMayStillHaveFramesInFlight) {
  struct Case {
    const char* name;
    St state;
    std::string extra;  // received after reaching the state
  };
  const Case cases[] = {
      {"response still running", St::ssHalfClosedLocal, ""},
      {"no request sent", St::ssIdle, ""},
      {"goaway received", St::ssHalfClosedLocal,
       Frame(7, 0, 0, U32(1) + U32(0)) + Frame(1, kFlagEndHeaders | kFlagEndStream, 1, Block({{":status", "204"}}))},
      {"reset by the server", St::ssHalfClosedLocal, Frame(3, 0, 1, U32(0))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    conn.Close();
    Reach(c.state);
    if (!c.extra.empty()) {
      ASSERT_EQ(0, Feed(c.extra));
    }
    EXPECT_FALSE(conn.NextStream());
    EXPECT_EQ(1u, conn.StreamId());
  }
}

TEST_F(Http2ConnectionTest, ListenerFailureStopsTheReceive) {
  Reach(St::ssHalfClosedLocal);
  listener.failHeaders = 4;
  EXPECT_EQ(4, Feed(Frame(1, kFlagEndHeaders, 1, Block({{":status", "200"}}))));
}

TEST(Http2Alpn, ProtocolSelection) {
  for (auto [alpn, h2] : {std::pair{"h2", true}, {"H2", true}, {"http/1.1, h2", true}, {"h2c", false},
                          {"http/1.1", false}, {"", false}}) {
    EXPECT_EQ(h2, Http2Connection::AlpnSelectsH2(alpn)) << alpn;
  }
  // Refusing the fallback is pinned against nginx's HTTP/1.1-only port.
  Http2Connection c;
  bool useHttp2 = false;
  EXPECT_EQ(0, c.SelectProtocol("h2", false, "https", useHttp2));
  EXPECT_TRUE(useHttp2);
  EXPECT_EQ(161, c.SelectProtocol("", true, "http", useHttp2));
  EXPECT_EQ("Plaintext URLs are not supported over HTTP/2.", c.LastErrorText().view());
  EXPECT_EQ(0, c.SelectProtocol("", true, "https", useHttp2));
  EXPECT_FALSE(useHttp2);
}

}  // namespace
}  // namespace corvane
