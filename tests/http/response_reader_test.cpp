#include "http/response_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/every_split.h"

namespace corvane::http {
namespace {

// Records every callback as a line of text; body bytes are joined so a
// transcript does not depend on how the input was split.
struct Transcript : ResponseHandler {
  explicit Transcript(ResponseReader& r) : reader(r) {}
  int OnStatusLine(bool interim) override {
    return Add("status[" + std::string(reader.responseVersion()) + "|" + std::to_string(reader.statusCode()) + "|" +
               std::string(reader.statusDescription()) + (interim ? "|interim]" : "]"));
  }
  int OnHeaderLine(std::string_view, std::string_view field, std::string_view value) override {
    return Add("header[" + std::string(field) + "|" + std::string(value) + "]");
  }
  int OnHeadComplete(bool hasBody) override { return Add(hasBody ? "head-end body" : "head-end no-body"); }
  int OnBodyData(const char* data, size_t length) override {
    body.append(data, length);
    return 0;
  }
  int OnResponseComplete() override { return Add("complete"); }
  // The line (if any) goes after the body bytes that came before it.
  int Add(const std::string& line) {
    if (!body.empty()) log += "body[" + body + "]\n";
    body.clear();
    if (!line.empty()) log += line + "\n";
    return 0;
  }
  std::string Finish(int rc) {
    Add(rc != 0 ? "error " + std::to_string(rc) : "");
    return log;
  }
  ResponseReader& reader;
  std::string log, body;
};

// Feeds the pieces (in order) to a reset reader and closes the connection
// when asked.
std::string Transcribe(ResponseReader& r, const testing::Pieces& pieces, bool close = false) {
  Transcript t(r);
  int rc = 0;
  for (std::string_view p : pieces) {
    rc = r.Feed(p.data(), p.size(), t);
    if (rc != 0 || r.complete()) break;
  }
  if (rc == 0 && close) rc = r.OnConnectionClosed(t);
  return t.Finish(rc);
}

struct ReaderCase {
  const char* name;
  std::string input;
  std::string transcript;
  bool isHead = false;
  bool close = false;  // the server closes after the input
  bool strict = false;
  HttpError failure = HttpError::LineTooLong;  // when the transcript ends in error 151
};

// The same input whole, cut at every byte, and in 1- to 5-byte pieces must
// give the same transcript.
TEST(ResponseReader, TranscriptsSurviveEverySplitPoint) {
  const std::string ok = "status[HTTP/1.1|200|OK]\n", chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string chunkedHead = ok + "header[Transfer-Encoding|chunked]\nhead-end body\n";
  const std::string longLine(40, 'x');
  const ReaderCase cases[] = {
      {"content length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type:   \t text/plain \r\n\r\nhelloEXTRA",
       ok + "header[Content-Length|5]\nheader[Content-Type|text/plain ]\nhead-end body\nbody[hello]\ncomplete\n"},
      {"interim 100 then 200", "HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
       "status[HTTP/1.1|100|Continue|interim]\n" + ok + "header[Content-Length|2]\nhead-end body\nbody[ok]\ncomplete\n"},
      {"status without description", "HTTP/1.1 204\r\n\r\n", "status[HTTP/1.1|204|]\nhead-end no-body\ncomplete\n"},
      {"head request ignores length", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n",
       ok + "header[Content-Length|1000]\nhead-end no-body\ncomplete\n", true},
      {"zero length completes at head end", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n",
       ok + "header[Content-Length|0]\nhead-end body\ncomplete\n"},
      {"chunk data keeps CR LF", chunked + "5\r\na\r\nbc\r\n3;ext=1\r\n\r\n\r\r\n0\r\nX-T: 1\r\n\r\n",
       chunkedHead + "body[a\r\nbc\r\n\r]\ncomplete\n"},
      {"quoted colon in field", "HTTP/1.1 200 OK\r\nX-\"a:b\"-c: v:w\r\nContent-Length: 0\r\n\r\n",
       ok + "header[X-\"a:b\"-c|v:w]\nheader[Content-Length|0]\nhead-end body\ncomplete\n"},
      {"continuation and no colon", "HTTP/1.0 200 OK\r\nA: 1\r\n\tmore\r\nNoColon\r\n\r\nbody until close",
       "status[HTTP/1.0|200|OK]\nheader[A|1]\nheader[|more]\nheader[NoColon|]\nhead-end body\n"
       "body[body until close]\ncomplete\n", false, true},
      {"no status line", "{\"a\":1}\r\nrest", "body[{\"a\":1}\r\nrest]\ncomplete\n", false, true},
      {"bare LF line ends", "HTTP/1.1 200 OK\nContent-Length: 1\n\nx",
       ok + "header[Content-Length|1]\nhead-end body\nbody[x]\ncomplete\n"},
      {"closed mid body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc",
       ok + "header[Content-Length|10]\nhead-end body\nbody[abc]\nerror 10057\n", false, true},
      {"closed mid chunk", chunked + "a\r\nabc", chunkedHead + "body[abc]\nerror 10057\n", false, true},
      {"40 hex digit chunk size", chunked + std::string(40, 'f') + "\r\n", chunkedHead + "error 151\n", false, false,
       false, HttpError::BadChunkSize},
      {"chunk data too long", chunked + "1\r\nab\r\n", chunkedHead + "body[a]\nerror 151\n", false, false, false,
       HttpError::BadChunkEnd},
      {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", ok + "error 151\n", false, false, false,
       HttpError::BadContentLength},
      {"huge length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", ok + "error 151\n",
       false, false, false, HttpError::BadContentLength},
      {"length with junk", "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n", ok + "error 151\n", false, false,
       false, HttpError::BadContentLength},
      // Strict framing: what a lenient reader splits or overwrites ends the
      // response instead.
      {"long header line", "HTTP/1.1 200 OK\r\nX: " + longLine + "\r\n\r\n", ok + "error 151\n", false, false, true},
      {"long chunk-size line", chunked + "1;" + longLine + "\r\na\r\n0\r\n\r\n", chunkedHead + "error 151\n", false,
       false, true},
      {"long status line", "HTTP/1.1 200 " + longLine + "\r\n\r\n", "error 151\n", false, false, true},
      {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc",
       ok + "header[Content-Length|2]\nerror 151\n", false, false, true, HttpError::ConflictingContentLength},
      {"the same length twice", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nab",
       ok + "header[Content-Length|2]\nheader[Content-Length|2]\nhead-end body\nbody[ab]\ncomplete\n", false,
       false, true},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ForEachSplit(c.input, [&](const testing::Pieces& pieces, const std::string& how) {
      ResponseReader r;
      r.Reset(c.isHead);
      if (c.strict) {
        r.SetMaxLineLength(32);
        r.SetStrict(true);
      }
      EXPECT_EQ(Transcribe(r, pieces, c.close), c.transcript) << how;
      if (c.transcript.ends_with("error 151\n")) {
        EXPECT_EQ(r.failure(), c.failure) << how;
      }
    });
  }
}

// Fed whole: the head limit, lines longer than MaxLineLength, and where a
// response ends in what was read.
TEST(ResponseReader, LimitsAndTheEndOfAResponse) {
  ResponseReader r;
  Transcript t(r);
  r.Reset();
  r.SetMaxHeadBytes(64);
  std::string in = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 10; ++i) in += "X-Filler: aaaaaaaaaa\r\n";
  EXPECT_EQ(r.Feed(in.data(), in.size(), t), 151);
  EXPECT_EQ(r.failure(), HttpError::HeadTooLarge);

  // An overlong line arrives in pieces of MaxLineLength.
  r.Reset();
  r.SetMaxHeadBytes(1 << 20);
  r.SetMaxLineLength(20);
  t.log.clear();
  in = "HTTP/1.1 200 OK\r\nX: 0123456789abcdefghijKLMN\r\nContent-Length: 0\r\n\r\n";
  ASSERT_EQ(r.Feed(in.data(), in.size(), t), 0);
  EXPECT_EQ(t.Finish(0),
            "status[HTTP/1.1|200|OK]\nheader[X|0123456789abcdefg]\nheader[hijKLMN|]\n"
            "header[Content-Length|0]\nhead-end body\ncomplete\n");
  // Split, the rest of a chunk-size line is taken for chunk data.
  r.Reset();
  r.SetMaxLineLength(32);
  in = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2;" + std::string(40, 'e') + "\r\nok\r\n0\r\n\r\n";
  EXPECT_EQ(r.Feed(in.data(), in.size(), t), 151);
  EXPECT_EQ(r.failure(), HttpError::BadChunkEnd);

  r.Reset();
  in = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokHTTP/1.1 200 OK\r\n";
  size_t consumed = 0;
  ASSERT_EQ(r.Feed(in.data(), in.size(), t, &consumed), 0);
  EXPECT_TRUE(r.complete());
  EXPECT_EQ(consumed, in.find("okHTTP") + 2);
}

}  // namespace
}  // namespace corvane::http
