// DATA payloads on their way to the body: passed on as they arrive, and the
// credit for them returned while a long read is still being handled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http2/hpack_encoder.h"
#include "http2/http2_connection.h"
#include "http2/http2_exchange.h"
#include "http2/http2_frame.h"

namespace corvane {
namespace {

std::string Frame(uint8_t type, uint8_t flags, uint32_t stream, std::string_view payload) {
  std::string f;
  uint32_t n = static_cast<uint32_t>(payload.size());
  f += {static_cast<char>(n >> 16), static_cast<char>(n >> 8), static_cast<char>(n),
        static_cast<char>(type), static_cast<char>(flags)};
  for (int shift : {24, 16, 8, 0}) f += static_cast<char>(stream >> shift);
  f += payload;
  return f;
}

std::string WindowUpdate(uint32_t stream, uint32_t increment) {
  std::string v;
  for (int shift : {24, 16, 8, 0}) v += static_cast<char>(increment >> shift);
  return Frame(8, 0, stream, v);
}

std::string Ok() {
  ByteBuffer block;
  EXPECT_EQ(0, HpackEncode({{":status", "200"}}, true, block));
  return Frame(1, kFlagEndHeaders, 1, block.view());
}

// Each DeliverBody call is one piece.
class Pieces : public Http2ResponseListener {
 public:
  int ProcessHeader(std::string_view, std::string_view) override { return 0; }
  int EndOfHeaders() override { return 0; }
  int DeliverBody(const char* data, size_t length) override {
    pieces.emplace_back(data, length);
    return 0;
  }
  int CompleteResponse() override { return 0; }
  std::vector<std::string> pieces;
};

TEST(Http2ReceivePath, DataGoesUpAsItArrivesAndIsCreditedOnceWhole) {
  // A padded DATA frame: pad length 2, "abcdefgh", two padding bytes.
  const std::string data = Frame(0, kFlagPadded | kFlagEndStream, 1, std::string("\x02", 1) + "abcdefgh" +
                                                                         std::string(2, '\0'));
  const std::string credit = WindowUpdate(0, 11) + WindowUpdate(1, 11);
  struct Case {
    const char* how;
    std::vector<size_t> cuts;  // offsets into the frame where a read ends
    std::vector<std::string> pieces;
  };
  const Case cases[] = {
      {"whole", {}, {"abcdefgh"}},
      {"inside the data", {13, 16}, {"abc", "def", "gh"}},
      {"inside the header", {4}, {"abcdefgh"}},
      {"between pad length and data", {10}, {"abcdefgh"}},
      {"inside the padding", {19}, {"abcdefgh"}},
  };
  for (const Case& c : cases) {
    Pieces listener;
    Http2Connection conn;
    conn.SetListener(&listener);
    ASSERT_EQ(0, conn.Start());
    conn.RequestHeaders() = {{":method", "GET"}};
    ASSERT_EQ(0, conn.SendHeaders(true));
    const std::string head = Ok();
    ASSERT_EQ(0, conn.Receive(head.data(), head.size()));
    conn.ConsumeOutput(static_cast<size_t>(conn.Output().size()));
    size_t at = 0;
    for (size_t cut : c.cuts) {
      ASSERT_EQ(0, conn.Receive(data.data() + at, cut - at)) << c.how;
      EXPECT_TRUE(conn.Output().empty()) << c.how << ": credit before the frame ended";
      EXPECT_FALSE(conn.ResponseComplete()) << c.how;
      at = cut;
    }
    ASSERT_EQ(0, conn.Receive(data.data() + at, data.size() - at)) << c.how;
    EXPECT_EQ(c.pieces, listener.pieces) << c.how;
    EXPECT_EQ(credit, conn.Output().str()) << c.how;
    EXPECT_TRUE(conn.ResponseComplete()) << c.how;
  }
}

// Takes what the exchange hands over in one long read.
class ReadHost : public Http2ExchangeHost {
 public:
  std::string reply;  // what the one loop pass delivers
  std::string early;  // bytes taken by SendAvailable
  std::vector<size_t> earlyAtPiece;  // early.size() at each body piece
  Http2Exchange* exchange = nullptr;

  int OpenConnection(std::string_view) override { return 0; }
  std::string AlpnSelection() override { return "h2"; }
  int ComposeRequest(std::string_view, bool, Http2Request& r) override {
    r.scheme = "https";
    r.host = "h";
    r.pathAndQuery = "/";
    r.headerBlock = "GET / HTTP/1.1";
    return 0;
  }
  void BeginResponse(std::string_view) override {}
  int SendBytes(const char*, size_t) override { return 0; }
  size_t SendAvailable(const char* data, size_t length) override {
    early.append(data, length);
    return length;
  }
  int WaitOnce() override {
    if (reply.empty()) return 301;
    std::string r = std::move(reply);
    reply.clear();
    exchange->OnReceived(r.data(), r.size());
    return 0;
  }
  bool ConnectionOpen() override { return true; }
  void CloseConnection() override {}
  int Fail(int code, std::string_view) override { return code; }
  int FinishRequest(int waitResult) override { return waitResult; }
  int ProcessHeader(std::string_view, std::string_view) override { return 0; }
  int EndOfHeaders() override { return 0; }
  int DeliverBody(const char*, size_t) override {
    earlyAtPiece.push_back(early.size());
    return 0;
  }
  int CompleteResponse() override { return 0; }
};

TEST(Http2ReceivePath, CreditLeavesDuringALongReadButNotAfterTheResponse) {
  ReadHost host;
  Http2Exchange exchange(host);
  host.exchange = &exchange;
  const std::string block(16384, 'x');
  host.reply = Frame(4, 0, 0, "") + Ok();
  for (int i = 0; i < 3; ++i) host.reply += Frame(0, 0, 1, block);
  host.reply += Frame(0, kFlagEndStream, 1, block);
  int result = -1;
  ASSERT_TRUE(exchange.Run("GET", false, &result));
  EXPECT_EQ(0, result);
  // The first frames' credit went out while later frames of the same read
  // were still to be handled...
  ASSERT_FALSE(host.earlyAtPiece.empty());
  EXPECT_GT(host.earlyAtPiece.back(), host.earlyAtPiece.front());
  // ... but not the credit for the frame that ended the response.
  size_t updates = 0;
  const std::string update = WindowUpdate(1, 16384);
  for (size_t at = host.early.find(update); at != std::string::npos; at = host.early.find(update, at + 1)) {
    ++updates;
  }
  EXPECT_EQ(3u, updates);
}

}  // namespace
}  // namespace corvane
