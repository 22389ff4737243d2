#include "http2/http2_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "http2_test_util.h"

namespace corvane {
namespace {

using test::Frame;
using test::U32;

const std::string kSettings = Frame(4, 0, 0, "");
const std::string kOk = Frame(1, kFlagEndHeaders, 1, "\x88");  // ":status: 200" by its index

// The connection and the engine under the exchange, in memory: each loop
// pass hands over the next scripted piece of server bytes; once the script
// is spent a pass times out, or the server closes (closeAtEnd).
struct Host : Http2ExchangeHost {
  Http2Exchange* exchange = nullptr;
  std::deque<std::string> script;
  std::string alpn = "h2", postData, sent, body, failText;
  std::vector<size_t> sentAtBody;  // with takeEarly, bytes leave while a read is handled
  std::vector<std::string> events;
  int openResult = 0, failCode = 0;
  bool closeAtEnd = false, takeEarly = false, open = true, keep = false, same = true;

  int Note(std::string event, int rc = 0) { return events.push_back(std::move(event)), rc; }
  int OpenConnection(std::string_view) override { return Note("open", openResult); }
  std::string AlpnSelection() override { return alpn; }
  int ComposeRequest(std::string_view verb, bool, Http2Request& r) override {
    r.scheme = "https";
    r.host = "example.test";
    r.pathAndQuery = "/a";
    r.headerBlock = std::string(verb) + " /a HTTP/1.1\r\nUser-Agent: t";
    r.postData = postData;
    r.contentLength = static_cast<int64_t>(postData.size());
    return 0;
  }
  void BeginResponse(std::string_view) override { Note("begin"); }
  int SendBytes(const char* data, size_t n) override { return sent.append(data, n), 0; }
  size_t SendAvailable(const char* data, size_t n) override {
    if (!takeEarly) return Http2ExchangeHost::SendAvailable(data, n);
    return sent.append(data, n), n;
  }
  int WaitOnce() override {
    if (script.empty()) return closeAtEnd ? (open = false, 0) : 301;
    const std::string piece = std::move(script.front());
    script.pop_front();
    exchange->OnReceived(piece.data(), piece.size());
    return 0;
  }
  bool ConnectionOpen() override { return open; }
  void CloseConnection() override { Note("close"), open = false; }
  bool KeepConnection() override { return keep || Http2ExchangeHost::KeepConnection(); }
  bool SameConnection() override { return same; }
  void UploadProgress(int64_t n, int64_t total, std::string_view) override {
    Note("upload " + std::to_string(n) + "/" + std::to_string(total));
  }
  void UploadEnded() override { Note("upload end"); }
  int Fail(int code, std::string_view text) override { return failText = text, failCode = code; }
  const std::string& ErrorText() const { return failText; }
  int FinishRequest(int rc) override { return Note("finish " + std::to_string(rc), rc); }
  int ProcessHeader(std::string_view, std::string_view) override { return 0; }
  int EndOfHeaders() override { return 0; }
  int DeliverBody(const char* data, size_t n) override {
    return sentAtBody.push_back(sent.size()), body.append(data, n), 0;
  }
  int CompleteResponse() override { return Note("complete"); }

  // What went out after the preface, frame by frame.
  std::vector<std::unique_ptr<Http2Frame>> Sent(bool preface = true) const {
    if (preface) {
      EXPECT_EQ(Http2Connection::kPreface, sent.substr(0, 24));
    }
    return test::ReadFrames(std::string_view(sent).substr(preface ? 24 : 0));
  }
};

struct Http2ExchangeTest : ::testing::Test {
  Host host;
  Http2Exchange exchange{host};
  Http2ExchangeTest() { host.exchange = &exchange; }

  int Run(std::string_view verb = "GET") {
    int result = -12345;
    EXPECT_TRUE(exchange.Run(verb, verb == "POST", &result));
    return result;
  }
};

TEST_F(Http2ExchangeTest, GetStartsTheConnectionAndDeliversTheResponse) {
  host.script = {kSettings, kOk, Frame(0, kFlagEndStream, 1, "hello")};
  EXPECT_EQ(0, Run());
  EXPECT_EQ("hello", host.body);
  const std::vector<std::string> expected = {"open", "begin", "complete", "close", "finish 0"};
  EXPECT_EQ(expected, host.events);
  // The request goes out from the composed one.
  auto sent = host.Sent();
  ASSERT_EQ(4u, sent.size());  // SETTINGS, WINDOW_UPDATE, HEADERS, SETTINGS ACK
  auto& headers = static_cast<Http2HeadersFrame&>(*sent[2]);
  EXPECT_EQ(kFlagEndHeaders | kFlagEndStream, headers.Flags());
  EXPECT_EQ((HeaderField{":authority", "example.test:443"}), headers.Headers().at(3));
  EXPECT_EQ((HeaderField{"user-agent", "t"}), headers.Headers().back());
}

TEST_F(Http2ExchangeTest, NoStreamWhenTheServerChoseHttp11OrTheConnectionFailed) {
  host.alpn = "http/1.1";
  int result = 77;
  EXPECT_FALSE(exchange.Run("GET", false, &result));
  EXPECT_EQ(77, result);
  EXPECT_FALSE(exchange.Active());
  host.alpn = "h2";
  host.openResult = 10061;
  EXPECT_EQ(10061, Run());
  EXPECT_TRUE(host.sent.empty());
}

// The credit for DATA frames leaves while later frames of the same long read
// are still being handled; the frame that ended the response gets none.
TEST_F(Http2ExchangeTest, CreditLeavesDuringALongReadButNotAfterTheResponse) {
  host.takeEarly = true;
  const std::string block(16384, 'x');
  std::string reply = kSettings + kOk;
  for (int i = 0; i < 3; ++i) reply += Frame(0, 0, 1, block);
  host.script = {reply + Frame(0, kFlagEndStream, 1, block)};
  ASSERT_EQ(0, Run());
  ASSERT_FALSE(host.sentAtBody.empty());
  EXPECT_GT(host.sentAtBody.back(), host.sentAtBody.front());
  EXPECT_EQ(3, std::ranges::count_if(host.Sent(),
                                     [](auto& f) { return f->Type() == 8 && f->StreamId() == 1; }));
}

// A misplaced END_STREAM would make the connection refuse the rest of the
// body, so a whole upload and a response pin the framing too.
TEST_F(Http2ExchangeTest, BodyLargerThanTheWindowWaitsForWindowUpdates) {
  host.postData.assign(100000, 'p');
  host.script = {kSettings, "",
                 "",        Frame(8, 0, 0, U32(40000)) + Frame(8, 0, 1, U32(40000)),
                 kOk,       Frame(0, kFlagEndStream, 1, "done")};
  EXPECT_EQ(0, Run("POST"));
  uint32_t dataBytes = 0;
  for (auto& f : host.Sent()) dataBytes += f->Type() == 0 ? f->PayloadLength() : 0;
  EXPECT_EQ(100000u, dataBytes);
  EXPECT_EQ("upload 100000/100000", host.events.end()[-5]);
  EXPECT_EQ("upload end", host.events.end()[-4]);
  EXPECT_EQ("done", host.body);
}

// A failure of the connection reaches the host with its code and message,
// also when the bytes that cause it arrive one at a time.
TEST(Http2ExchangeFailures, ReachTheHostWithTheirMessage) {
  std::deque<std::string> byteByByte;
  for (char c : kSettings + kOk + Frame(0, 1, 0, "x")) byteByByte.emplace_back(1, c);
  const struct {
    std::deque<std::string> script;
    bool closeAtEnd;
    Http2Message message;
  } cases[] = {
      {{kSettings, Frame(7, 0, 0, U32(0) + U32(0))}, true, Http2Message::kGoAwayBeforeResponse},
      {{kSettings, kOk}, true, Http2Message::kClosedBeforeResponse},
      {byteByByte, false, Http2Message::kRecvDataStreamZero},
  };
  for (const auto& c : cases) {
    Host host;
    Http2Exchange ex{host};
    host.exchange = &ex;
    host.script = c.script;
    host.closeAtEnd = c.closeAtEnd;
    int result = -1;
    EXPECT_TRUE(ex.Run("GET", false, &result));
    EXPECT_EQ(host.failCode, result);
    EXPECT_TRUE(test::Failed(result, host, c.message));
  }
}

TEST_F(Http2ExchangeTest, KeptConnectionCarriesTheNextRequestOnStream3) {
  host.keep = true;
  host.script = {kSettings, kOk, Frame(0, 0, 1, std::string(100, 'a')),
                 Frame(0, kFlagEndStream, 1, "b")};
  ASSERT_EQ(0, Run());
  EXPECT_TRUE(exchange.Active()) << "bytes between requests belong to the kept connection";
  EXPECT_EQ(0, std::ranges::count(host.events, "close"));
  host.sent.clear();
  host.body.clear();
  // A PING that arrives between the requests is answered once the next one runs.
  const std::string ping = Frame(6, 0, 0, "12345678");
  exchange.OnReceived(ping.data(), ping.size());
  host.script = {Frame(1, kFlagEndHeaders, 3, "\x88"), Frame(0, kFlagEndStream, 3, "c")};
  ASSERT_EQ(0, Run());
  EXPECT_EQ("c", host.body);
  // The credit for the first response's last DATA frame, then HEADERS on
  // stream 3, then the PING's answer: no preface, no SETTINGS.
  auto sent = host.Sent(false);
  ASSERT_EQ(4u, sent.size());
  EXPECT_EQ(Frame(8, 0, 0, U32(1)) + Frame(8, 0, 1, U32(1)), host.sent.substr(0, 26));
  EXPECT_EQ(1, sent[2]->Type());
  EXPECT_EQ(3u, sent[2]->StreamId());
  EXPECT_EQ(Frame(6, kFlagAck, 0, "12345678"), host.sent.substr(host.sent.size() - 17));

  // A new connection under the kept exchange starts again: preface, SETTINGS, stream 1.
  host.sent.clear();
  host.same = false;
  host.script = {kSettings, kOk, Frame(0, kFlagEndStream, 1, "b")};
  ASSERT_EQ(0, Run());
  sent = host.Sent();
  EXPECT_EQ(4, sent[0]->Type());
  EXPECT_EQ(1u, sent[2]->StreamId());
}

}  // namespace
}  // namespace corvane
