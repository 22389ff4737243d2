#include "http2/http2_exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "http2/hpack_encoder.h"
#include "http2/http2_frame.h"
#include "http2_test_util.h"

namespace corvane {
namespace {

using test::Frame;
using test::U32;

std::string Setting(uint16_t id, uint32_t value) {
  return std::string{static_cast<char>(id >> 8), static_cast<char>(id)} + U32(value);
}

std::string Headers(const HeaderList& headers, uint8_t flags) {
  ByteBuffer block;
  EXPECT_EQ(0, HpackEncode(headers, true, block));
  return Frame(1, flags | 0x4, 1, block.view());
}

const std::string kServerSettings = Frame(4, 0, 0, "");
const std::string kOk = Headers({{":status", "200"}, {"content-type", "text/plain"}}, 0);

struct SentFrame {
  Http2FrameHeader header;
  std::string payload;
};

// The engine and the connection under the exchange, in memory: each loop
// pass delivers the next scripted piece of server bytes; an empty script
// stands for a time-out.
class FakeHost : public Http2ExchangeHost {
 public:
  std::string alpn = "h2";
  int openResult = 0;
  std::deque<std::string> script;
  std::string handshakeTail;  // bytes that arrive during OpenConnection, held until HEADERS go out
  bool closeWhenScriptEnds = false;
  std::string postData;
  std::string sent;
  std::vector<std::string> events;
  std::string body;
  bool sendEarly = false;          // take bytes offered while a read is handled
  std::string early;               // what was taken so
  std::vector<size_t> earlyAtBody;  // early.size() at each body piece
  int failCode = 0;
  std::string failText;
  bool open = true;
  bool keep = false;
  bool same = true;
  Http2Exchange* exchange = nullptr;

  int OpenConnection(std::string_view verb) override {
    Note("open");
    if (!handshakeTail.empty()) exchange->OnReceived(handshakeTail.data(), handshakeTail.size());
    return openResult;
  }
  std::string AlpnSelection() override { return alpn; }
  int ComposeRequest(std::string_view verb, bool hasBody, Http2Request& r) override {
    r.scheme = "https";
    r.host = "example.test";
    r.port = 443;
    r.pathAndQuery = "/a?b=1";
    r.headerBlock = std::string(verb) +
                    " /a?b=1 HTTP/1.1\r\nHost: example.test\r\nAccept-Encoding: gzip\r\n"
                    "Connection: Keep-Alive\r\nUser-Agent: t";
    r.postData = postData;
    r.contentLength = static_cast<int64_t>(postData.size());
    return 0;
  }
  void BeginResponse(std::string_view verb) override { Note("begin"); }
  int SendBytes(const char* data, size_t length) override {
    sent.append(data, length);
    return 0;
  }
  size_t SendAvailable(const char* data, size_t length) override {
    if (!sendEarly) return Http2ExchangeHost::SendAvailable(data, length);
    early.append(data, length);
    return length;
  }
  int WaitOnce() override {
    if (script.empty()) {
      if (closeWhenScriptEnds) {
        open = false;
        return 0;
      }
      return 301;
    }
    std::string piece = std::move(script.front());
    script.pop_front();
    exchange->OnReceived(piece.data(), piece.size());
    return 0;
  }
  bool ConnectionOpen() override { return open; }
  bool KeepConnection() override { return keep || Http2ExchangeHost::KeepConnection(); }
  bool SameConnection() override { return same; }
  void CloseConnection() override {
    Note("close");
    open = false;
  }
  void UploadProgress(int64_t sentBytes, int64_t total, std::string_view piece) override {
    Note("upload " + std::to_string(sentBytes) + "/" + std::to_string(total));
  }
  void UploadEnded() override { Note("upload end"); }
  int Fail(int code, std::string_view text) override {
    failCode = code;
    failText.assign(text);
    return code;
  }
  int FinishRequest(int waitResult) override {
    events.push_back("finish " + std::to_string(waitResult));
    return waitResult;
  }
  int Note(std::string event) {
    events.push_back(std::move(event));
    return 0;
  }
  int ProcessHeader(std::string_view name, std::string_view value) override {
    return Note("header " + std::string(name) + ": " + std::string(value));
  }
  int EndOfHeaders() override { return Note("end of headers"); }
  int DeliverBody(const char* data, size_t length) override {
    earlyAtBody.push_back(early.size());
    body.append(data, length);
    return 0;
  }
  int CompleteResponse() override { return Note("complete"); }

  // The frames written after the preface.
  std::vector<SentFrame> SentFrames(bool preface = true) const {
    std::vector<SentFrame> out;
    size_t pos = 0;
    if (preface) {
      EXPECT_EQ(sent.substr(0, 24), Http2Connection::kPreface);
      pos = 24;
    }
    while (pos + 9 <= sent.size()) {
      SentFrame f;
      PeekHttp2FrameHeader(reinterpret_cast<const uint8_t*>(sent.data() + pos), sent.size() - pos,
                           f.header);
      f.payload = sent.substr(pos + 9, f.header.length);
      pos += 9 + f.header.length;
      out.push_back(std::move(f));
    }
    EXPECT_EQ(pos, sent.size());
    return out;
  }
  std::vector<SentFrame> SentOfType(uint8_t type) const {
    std::vector<SentFrame> out;
    for (SentFrame& f : SentFrames()) {
      if (f.header.type == type) out.push_back(f);
    }
    return out;
  }
  int64_t DataBytesSent() const {
    int64_t n = 0;
    for (const SentFrame& f : SentOfType(0)) n += f.header.length;
    return n;
  }
};

struct ExchangeFixture : ::testing::Test {
  FakeHost host;
  Http2Exchange exchange{host};
  ExchangeFixture() { host.exchange = &exchange; }

  int Run(std::string_view verb = "GET", bool hasBody = false) {
    int result = -12345;
    EXPECT_TRUE(exchange.Run(verb, hasBody, &result));
    return result;
  }
};

TEST_F(ExchangeFixture, GetStartsTheConnectionAndDeliversTheResponse) {
  host.script = {kServerSettings, kOk, Frame(0, 1, 1, "hello")};
  EXPECT_EQ(0, Run());
  EXPECT_EQ("hello", host.body);
  std::vector<std::string> expected = {"open",  "begin", "header :status: 200",
                                       "header content-type: text/plain",
                                       "end of headers", "complete", "close", "finish 0"};
  EXPECT_EQ(expected, host.events);
  // The request's header block is the composed request's, filtered.
  std::vector<SentFrame> headers = host.SentOfType(1);
  ASSERT_EQ(1u, headers.size());
  EXPECT_EQ(0x5, headers[0].header.flags);
  HpackDecoder decoder;
  HeaderList decoded;
  ASSERT_EQ(0, decoder.Decode(test::Bytes(headers[0].payload), headers[0].payload.size(), decoded, true));
  EXPECT_EQ((HeaderField{"user-agent", "t"}), decoded.back());
}

TEST_F(ExchangeFixture, ServerChoosingHttp11LeavesTheRequestToTheCaller) {
  host.alpn = "http/1.1";
  int result = 77;
  EXPECT_FALSE(exchange.Run("GET", false, &result));
  EXPECT_EQ(77, result);
  EXPECT_FALSE(exchange.Active());
  EXPECT_TRUE(host.sent.empty());
  std::vector<std::string> expected = {"open"};
  EXPECT_EQ(expected, host.events);
}

// The credit for DATA frames leaves while later frames of the same long read
// are still being handled, but not the credit for the frame that ended the
// response.
TEST_F(ExchangeFixture, CreditLeavesDuringALongReadButNotAfterTheResponse) {
  host.sendEarly = true;
  const std::string block(16384, 'x');
  std::string reply = kServerSettings + kOk;
  for (int i = 0; i < 3; ++i) reply += Frame(0, 0, 1, block);
  host.script = {reply + Frame(0, 1, 1, block)};
  ASSERT_EQ(0, Run());
  ASSERT_FALSE(host.earlyAtBody.empty());
  EXPECT_GT(host.earlyAtBody.back(), host.earlyAtBody.front());
  const std::string update = Frame(8, 0, 1, U32(16384));
  size_t updates = 0;
  for (size_t at = host.early.find(update); at != std::string::npos; at = host.early.find(update, at + 1)) ++updates;
  EXPECT_EQ(3u, updates);
}

TEST_F(ExchangeFixture, ConnectionFailureIsTheResultWithoutAnyFrame) {
  host.openResult = 10061;
  EXPECT_EQ(10061, Run());
  EXPECT_TRUE(host.sent.empty());
}

TEST_F(ExchangeFixture, BodyLargerThanTheWindowWaitsForWindowUpdates) {
  host.postData.assign(100000, 'p');
  host.script = {kServerSettings, "", "", Frame(8, 0, 0, U32(40000)) + Frame(8, 0, 1, U32(40000)),
                 kOk, Frame(0, 1, 1, "done")};
  EXPECT_EQ(0, Run("POST", true));
  EXPECT_EQ(100000, host.DataBytesSent());
  std::vector<SentFrame> data = host.SentOfType(0);
  ASSERT_FALSE(data.empty());
  for (size_t i = 0; i + 1 < data.size(); ++i) EXPECT_EQ(0, data[i].header.flags);
  EXPECT_EQ(1, data.back().header.flags);  // END_STREAM on the last piece only
  EXPECT_EQ(0x4, host.SentOfType(1)[0].header.flags);  // HEADERS without END_STREAM
  EXPECT_NE(std::find(host.events.begin(), host.events.end(), "upload 100000/100000"),
            host.events.end());
  EXPECT_NE(std::find(host.events.begin(), host.events.end(), "upload end"), host.events.end());
  EXPECT_EQ("done", host.body);
}

TEST_F(ExchangeFixture, ZeroInitialWindowMakesTheBodyWaitUntilTheTimeout) {
  host.postData = "abc";
  // The server's SETTINGS comes with the end of the handshake, before the body.
  host.handshakeTail = Frame(4, 0, 0, Setting(4, 0));
  host.script = {"", ""};
  EXPECT_EQ(301, Run("POST", true));
  EXPECT_EQ(0, host.DataBytesSent());
  EXPECT_EQ("finish 301", host.events.back());
}

// A failure of the connection reaches the host with its code and message,
// also when the bytes that cause it arrive one at a time; the connection
// test pins each message.
TEST(Http2ExchangeFailures, ReachTheHostWithTheirMessage) {
  std::deque<std::string> byteByByte;
  for (char c : kServerSettings + kOk + Frame(0, 1, 0, "x")) byteByByte.emplace_back(1, c);
  struct Case {
    const char* name;
    std::deque<std::string> script;
    bool closeWhenScriptEnds;
    int code;
    const char* text;
  } cases[] = {
      {"GOAWAY, then the close", {kServerSettings, Frame(7, 0, 0, U32(0) + U32(0))}, true, 1,
       "GOAWAY, last stream 0"},
      {"close before the body", {kServerSettings, kOk}, true, 10057, "Connection closed."},
      {"DATA on stream 0, a byte at a time", byteByByte, false, 1,
       "PROTOCOL_ERROR: Receive Data Frame with StreamIdentifier is 0."},
  };
  for (const Case& c : cases) {
    FakeHost fresh;
    Http2Exchange ex{fresh};
    fresh.exchange = &ex;
    fresh.script = c.script;
    fresh.closeWhenScriptEnds = c.closeWhenScriptEnds;
    int result = -1;
    EXPECT_TRUE(ex.Run("GET", false, &result));
    EXPECT_EQ(c.code, result) << c.name;
    EXPECT_EQ(c.code, fresh.failCode) << c.name;
    EXPECT_NE(std::string::npos, fresh.failText.find(c.text)) << c.name << ": " << fresh.failText;
  }
}

TEST_F(ExchangeFixture, KeptConnectionCarriesTheNextRequestOnStream3) {
  host.keep = true;
  host.script = {kServerSettings, kOk, Frame(0, 0, 1, std::string(100, 'a')), Frame(0, 1, 1, "b")};
  ASSERT_EQ(0, Run());
  EXPECT_TRUE(exchange.Active()) << "bytes between requests belong to the kept connection";
  EXPECT_EQ(std::find(host.events.begin(), host.events.end(), "close"), host.events.end());
  host.sent.clear();
  host.body.clear();
  // A PING that arrives between the requests is answered once the next one runs.
  const std::string ping = Frame(6, 0, 0, "12345678");
  exchange.OnReceived(ping.data(), ping.size());
  std::string second = Headers({{":status", "200"}}, 0);
  second[8] = 3;  // stream 3
  host.script = {second, Frame(0, 1, 3, "c")};
  ASSERT_EQ(0, Run());
  EXPECT_EQ("c", host.body);
  // The credit for the first response's last DATA frame, then HEADERS on
  // stream 3, then the PING's answer: no preface, no SETTINGS.
  std::vector<SentFrame> frames = host.SentFrames(false);
  ASSERT_EQ(4u, frames.size());
  EXPECT_EQ(Frame(8, 0, 0, U32(1)) + Frame(8, 0, 1, U32(1)), host.sent.substr(0, 26));
  EXPECT_EQ(1, frames[2].header.type);
  EXPECT_EQ(3u, frames[2].header.streamId);
  EXPECT_EQ(Frame(6, 1, 0, "12345678"), host.sent.substr(host.sent.size() - 17));
}

TEST_F(ExchangeFixture, NewConnectionUnderAKeptExchangeStartsAgain) {
  host.keep = true;
  host.script = {kServerSettings, kOk, Frame(0, 1, 1, "a")};
  ASSERT_EQ(0, Run());
  host.sent.clear();
  host.same = false;
  host.script = {kServerSettings, kOk, Frame(0, 1, 1, "b")};
  ASSERT_EQ(0, Run());
  EXPECT_EQ(4, host.SentFrames()[0].header.type);  // after the preface again
  EXPECT_EQ(1u, host.SentOfType(1)[0].header.streamId);
}

}  // namespace
}  // namespace corvane
