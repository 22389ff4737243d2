#include "http/response_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/every_split.h"

namespace corvane::http {
namespace {

// Records every callback as text; body bytes are joined so a transcript does
// not depend on how the input was split.
class Transcript : public ResponseHandler {
 public:
  explicit Transcript(ResponseReader& r) : reader_(r) {}
  int OnStatusLine(bool interim) override {
    FlushBody();
    log_ += "status[" + std::string(reader_.responseVersion()) + "|" +
            std::to_string(reader_.statusCode()) + "|" + std::string(reader_.statusDescription()) +
            (interim ? "|interim" : "") + "]\n";
    return 0;
  }
  int OnHeaderLine(std::string_view line, std::string_view field, std::string_view value) override {
    FlushBody();
    log_ += "header[" + std::string(field) + "|" + std::string(value) + "]\n";
    return 0;
  }
  int OnHeadComplete(bool hasBody) override {
    log_ += hasBody ? "head-end body\n" : "head-end no-body\n";
    return 0;
  }
  int OnBodyData(const char* data, size_t length) override {
    body_.append(data, length);
    return 0;
  }
  int OnResponseComplete() override {
    FlushBody();
    log_ += "complete\n";
    return 0;
  }
  std::string Finish(int rc) {
    FlushBody();
    if (rc != 0) log_ += "error " + std::to_string(rc) + "\n";
    return log_;
  }

 private:
  void FlushBody() {
    if (body_.empty()) return;
    log_ += "body[" + body_ + "]\n";
    body_.clear();
  }
  ResponseReader& reader_;
  std::string log_;
  std::string body_;
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

// The same input whole, cut at every byte, and in 1- to 5-byte pieces must
// give the same transcript.
void ExpectSplitInvariant(const std::string& input, bool isHead, bool close, const std::string& expected) {
  testing::ForEachSplit(input, [&](const testing::Pieces& pieces, const std::string& how) {
    ResponseReader r;
    r.Reset(isHead);
    EXPECT_EQ(Transcribe(r, pieces, close), expected) << how;
  });
}

struct ReaderCase {
  const char* name;
  std::string input;
  bool isHead;
  bool close;
  std::string transcript;
};

TEST(ResponseReader, TranscriptsSurviveEverySplitPoint) {
  const ReaderCase cases[] = {
      {"content length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: text/plain\r\n\r\nhelloEXTRA",
       false, false,
       "status[HTTP/1.1|200|OK]\nheader[Content-Length|5]\nheader[Content-Type|text/plain]\n"
       "head-end body\nbody[hello]\ncomplete\n"},
      {"interim 100 then 200", "HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
       false, false,
       "status[HTTP/1.1|100|Continue|interim]\nstatus[HTTP/1.1|200|OK]\nheader[Content-Length|2]\n"
       "head-end body\nbody[ok]\ncomplete\n"},
      {"status without description", "HTTP/1.1 204\r\n\r\n", false, false,
       "status[HTTP/1.1|204|]\nhead-end no-body\ncomplete\n"},
      {"head request ignores length", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", true, false,
       "status[HTTP/1.1|200|OK]\nheader[Content-Length|1000]\nhead-end no-body\ncomplete\n"},
      {"zero length completes at head end", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false, false,
       "status[HTTP/1.1|200|OK]\nheader[Content-Length|0]\nhead-end body\ncomplete\n"},
      {"chunk data keeps CR LF", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\na\r\nbc\r\n3;ext=1\r\n\r\n\r\r\n0\r\nX-T: 1\r\n\r\n",
       false, false,
       "status[HTTP/1.1|200|OK]\nheader[Transfer-Encoding|chunked]\nhead-end body\n"
       "body[a\r\nbc\r\n\r]\ncomplete\n"},
      {"quoted colon in field", "HTTP/1.1 200 OK\r\nX-\"a:b\"-c: v:w\r\nContent-Length: 0\r\n\r\n", false, false,
       "status[HTTP/1.1|200|OK]\nheader[X-\"a:b\"-c|v:w]\nheader[Content-Length|0]\nhead-end body\ncomplete\n"},
      {"continuation and no colon", "HTTP/1.0 200 OK\r\nA: 1\r\n\tmore\r\nNoColon\r\n\r\nbody until close", false, true,
       "status[HTTP/1.0|200|OK]\nheader[A|1]\nheader[|more]\nheader[NoColon|]\nhead-end body\n"
       "body[body until close]\ncomplete\n"},
      {"no status line", "{\"a\":1}\r\nrest", false, true, "body[{\"a\":1}\r\nrest]\ncomplete\n"},
      {"bare LF line ends", "HTTP/1.1 200 OK\nContent-Length: 1\n\nx", false, false,
       "status[HTTP/1.1|200|OK]\nheader[Content-Length|1]\nhead-end body\nbody[x]\ncomplete\n"},
      {"closed mid body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", false, true,
       "status[HTTP/1.1|200|OK]\nheader[Content-Length|10]\nhead-end body\nbody[abc]\nerror 10057\n"},
      {"closed mid chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\na\r\nabc", false, true,
       "status[HTTP/1.1|200|OK]\nheader[Transfer-Encoding|chunked]\nhead-end body\nbody[abc]\nerror 10057\n"},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectSplitInvariant(c.input, c.isHead, c.close, c.transcript);
  }
}

TEST(ResponseReader, HostileFramingFailsWithClearCodes) {
  struct Hostile {
    const char* name;
    std::string input;
    HttpError error;
  } cases[] = {
      {"40 hex digit chunk size",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + std::string(40, 'f') + "\r\n",
       HttpError::BadChunkSize},
      {"chunk size without digits", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
       HttpError::BadChunkSize},
      {"chunk data too long", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nab\r\n",
       HttpError::BadChunkEnd},
      {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", HttpError::BadContentLength},
      {"huge length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n",
       HttpError::BadContentLength},
      {"length with junk", "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n", HttpError::BadContentLength},
  };
  for (const Hostile& c : cases) {
    ResponseReader r;
    r.Reset();
    Transcript t(r);
    int rc = r.Feed(c.input.data(), c.input.size(), t);
    EXPECT_EQ(rc, HttpErrorCode(c.error)) << c.name;
    EXPECT_TRUE(r.hasFailure()) << c.name;
    EXPECT_EQ(r.failure(), c.error) << c.name;
  }
}

TEST(ResponseReader, EndlessHeaderLinesStopAtTheHeadLimit) {
  ResponseReader r;
  r.Reset();
  r.SetMaxHeadBytes(64 * 1024);
  Transcript t(r);
  std::string head = "HTTP/1.1 200 OK\r\n";
  int rc = r.Feed(head.data(), head.size(), t);
  std::string line = "X-Filler: " + std::string(100, 'a') + "\r\n";
  int lines = 0;
  while (rc == 0 && lines < 100000) {
    rc = r.Feed(line.data(), line.size(), t);
    ++lines;
  }
  EXPECT_EQ(rc, 151);
  EXPECT_EQ(r.failure(), HttpError::HeadTooLarge);
  EXPECT_LT(lines, 1000);
}

TEST(ResponseReader, OverlongLineArrivesInPiecesOfMaxLineLength) {
  ResponseReader r;
  r.Reset();
  r.SetMaxLineLength(20);
  Transcript t(r);
  std::string in = "HTTP/1.1 200 OK\r\nX: 0123456789abcdefghijKLMN\r\nContent-Length: 0\r\n\r\n";
  ASSERT_EQ(r.Feed(in.data(), in.size(), t), 0);
  EXPECT_EQ(t.Finish(0),
            "status[HTTP/1.1|200|OK]\nheader[X|0123456789abcdefg]\nheader[hijKLMN|]\n"
            "header[Content-Length|0]\nhead-end body\ncomplete\n");
}

// Strict framing: what a lenient reader splits or overwrites ends the
// response instead, however the bytes arrive.
TEST(ResponseReader, StrictFramingRefusesAmbiguousResponsesAtEverySplit) {
  const std::string longLine(40, 'x');
  struct StrictCase {
    const char* name;
    std::string input;
    std::string transcript;
    HttpError failure = HttpError::LineTooLong;
  } cases[] = {
      {"long header line", "HTTP/1.1 200 OK\r\nX: " + longLine + "\r\n\r\n",
       "status[HTTP/1.1|200|OK]\nerror 151\n"},
      {"long chunk-size line",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1;" + longLine + "\r\na\r\n0\r\n\r\n",
       "status[HTTP/1.1|200|OK]\nheader[Transfer-Encoding|chunked]\nhead-end body\nerror 151\n"},
      {"long status line", "HTTP/1.1 200 " + longLine + "\r\n\r\n", "error 151\n"},
      {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc",
       "status[HTTP/1.1|200|OK]\nheader[Content-Length|2]\nerror 151\n", HttpError::ConflictingContentLength},
      {"the same length twice", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nab",
       "status[HTTP/1.1|200|OK]\nheader[Content-Length|2]\nheader[Content-Length|2]\nhead-end body\n"
       "body[ab]\ncomplete\n"},
  };
  for (const StrictCase& c : cases) {
    testing::ForEachSplit(c.input, [&](const testing::Pieces& pieces, const std::string& how) {
      ResponseReader r;
      r.Reset();
      r.SetMaxLineLength(32);
      r.SetStrict(true);
      EXPECT_EQ(Transcribe(r, pieces), c.transcript) << c.name << ", " << how;
      if (r.hasFailure()) {
        EXPECT_EQ(r.failure(), c.failure) << c.name << ", " << how;
      }
    });
  }
}

TEST(ResponseReader, StopsAtTheEndOfTheResponseAndReportsConsumed) {
  ResponseReader r;
  r.Reset();
  Transcript t(r);
  std::string in = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokHTTP/1.1 200 OK\r\n";
  size_t consumed = 0;
  ASSERT_EQ(r.Feed(in.data(), in.size(), t, &consumed), 0);
  EXPECT_TRUE(r.complete());
  EXPECT_EQ(consumed, in.find("okHTTP") + 2);
}

TEST(ResponseReader, SplitHeaderLineRules) {
  std::string_view f, v;
  SplitHeaderLine("Name:   \t value ", f, v);
  EXPECT_EQ(f, "Name");
  EXPECT_EQ(v, "value ");
  SplitHeaderLine(" cont", f, v);
  EXPECT_EQ(f, "");
  EXPECT_EQ(v, "cont");
  SplitHeaderLine("\"a:b\":c", f, v);
  EXPECT_EQ(f, "\"a:b\"");
  EXPECT_EQ(v, "c");
}

TEST(ResponseReader, ChunkSizeParsing) {
  int32_t n = 0;
  EXPECT_TRUE(ParseChunkSize("1c40", n));
  EXPECT_EQ(n, 0x1c40);
  EXPECT_TRUE(ParseChunkSize("A ; name=v", n));
  EXPECT_EQ(n, 10);
  EXPECT_TRUE(ParseChunkSize("7fffffff", n));
  EXPECT_FALSE(ParseChunkSize("80000000", n));
  EXPECT_FALSE(ParseChunkSize("", n));
  EXPECT_FALSE(ParseChunkSize("-1", n));
  EXPECT_FALSE(ParseChunkSize("1g", n));
}

}  // namespace
}  // namespace corvane::http
