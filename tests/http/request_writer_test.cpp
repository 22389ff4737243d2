#include "http/request_writer.h"

#include <gtest/gtest.h>

namespace corvane::http {
namespace {

RequestTarget Target(const char* url) { return ResolveTarget(RequestTarget{}, url, {}, true); }

TEST(RequestHead, WritesHeadersInFixedOrder) {
  RequestHeaders h;
  h.authorization = "Basic eA==";
  h.proxyAuthorization = "Basic eQ==";
  h.accept = "*/*";
  h.allowHttpCompression = true;
  h.from = "f@x";
  h.userAgent = "UA";
  h.ifModifiedSince = "Sat, 01 Jan 2000 00:00:00 GMT";
  h.referer = "http://r/";
  h.pragma = "no-cache";
  h.range = "0-9";
  h.otherHeaders = "X-A: 1";
  RequestHeadPlan plan;
  plan.verb = "GET";
  plan.cookie = "a=1; b=2";
  std::string out;
  ComposeRequestHead(Target("http://u:p@h:8080/a?b=c"), h, plan, out);
  EXPECT_EQ(out,
            "GET /a?b=c HTTP/1.1\r\nHost: h:8080\r\nAuthorization: Basic eA==\r\n"
            "Proxy-Authorization: Basic eQ==\r\nAccept: */*\r\nAccept-Encoding: gzip, deflate\r\n"
            "From: f@x\r\nUser-Agent: UA\r\nIf-Modified-Since: Sat, 01 Jan 2000 00:00:00 GMT\r\n"
            "Referer: http://r/\r\nPragma: no-cache\r\nRange: bytes=0-9\r\nCookie: a=1; b=2\r\n"
            "Connection: close\r\nX-A: 1\r\n");
}

TEST(RequestHead, ConnectionLineFollowsKeepAliveAndVersion) {
  RequestHeaders h;
  RequestHeadPlan plan;
  plan.verb = "GET";
  std::string out;
  ComposeRequestHead(Target("http://h/"), h, plan, out);
  EXPECT_EQ(out, "GET / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n");
  h.keepAlive = true;
  ComposeRequestHead(Target("http://h/"), h, plan, out);
  EXPECT_EQ(out, "GET / HTTP/1.1\r\nHost: h\r\n");
  plan.httpVersion = "1.0";
  ComposeRequestHead(Target("http://h/"), h, plan, out);
  EXPECT_EQ(out, "GET / HTTP/1.0\r\nHost: h\r\nConnection: Keep-Alive\r\n");
}

TEST(RequestHead, OtherHeadersEndWithExactlyOneCrLf) {
  EXPECT_EQ(NormaliseOtherHeaders("A: 1\r\n\r\n\n"), "A: 1\r\n");
  EXPECT_EQ(NormaliseOtherHeaders("A: 1\r\nB: 2"), "A: 1\r\nB: 2\r\n");
  EXPECT_EQ(NormaliseOtherHeaders("A: 1\r\n\r\n"), "A: 1\r\n");
  EXPECT_EQ(NormaliseOtherHeaders(""), "");
}

TEST(RequestHead, OtherHeadersLinesMustEachBeWholeAndNonEmpty) {
  struct Case {
    const char* text;
    bool safe;
  } cases[] = {
      {"", true},
      {"A: 1", true},
      {"A: 1\r\nB: 2\r\n\r\n\n", true},  // the trailing run is normalised away
      {"A: 1\r\n\r\nGET / HTTP/1.1", false},  // an empty line would end the head
      {"A: 1\nB: 2", false},
      {"A: 1\rB: 2", false},
      {"\r\nA: 1", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSafeHeaderText(c.text), c.safe) << c.text;
}

TEST(RequestHead, HostInOtherHeadersSuppressesGeneratedHostCaseSensitively) {
  RequestHeaders h;
  h.keepAlive = true;
  h.otherHeaders = "Host: other";
  RequestHeadPlan plan;
  plan.verb = "GET";
  std::string out;
  ComposeRequestHead(Target("http://h/"), h, plan, out);
  EXPECT_EQ(out, "GET / HTTP/1.1\r\nHost: other\r\n");
  h.otherHeaders = "host: other";
  ComposeRequestHead(Target("http://h/"), h, plan, out);
  EXPECT_EQ(out, "GET / HTTP/1.1\r\nHost: h\r\nhost: other\r\n");
}

TEST(RequestHead, ProxyAndAbsoluteUriTargets) {
  RequestHeaders h;
  h.keepAlive = true;
  RequestHeadPlan plan;
  plan.verb = "GET";
  plan.viaProxy = true;
  std::string out;
  ComposeRequestHead(Target("http://h:8080/p"), h, plan, out);
  EXPECT_EQ(out, "GET http://h:8080/p HTTP/1.1\r\nHost: h:8080\r\n");
  ComposeRequestHead(Target("http://h:80/p"), h, plan, out);
  EXPECT_EQ(out, "GET http://h/p HTTP/1.1\r\nHost: h\r\n");
  plan.viaProxy = false;
  h.absoluteURI = true;
  ComposeRequestHead(Target("http://h:80/p"), h, plan, out);
  EXPECT_EQ(out, "GET http://h:80/p HTTP/1.1\r\n");
}

TEST(RequestHead, BodyFramingLines) {
  RequestHeaders h;
  h.keepAlive = true;
  h.contentType = "application/json";
  RequestHeadPlan plan;
  plan.verb = "POST";
  plan.withBody = true;
  plan.contentLength = 42;
  std::string out;
  ComposeRequestHead(Target("http://h/"), h, plan, out);
  EXPECT_EQ(out,
            "POST / HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\n"
            "Content-Length: 42\r\n\r\n");
  h.useChunkedEncoding = true;
  ComposeRequestHead(Target("http://h/"), h, plan, out);
  EXPECT_EQ(out,
            "POST / HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\n"
            "Transfer-Encoding: chunked\r\n\r\n");
  plan.emptyBodyForHandshake = true;
  h.httpMethod = "PATCH";
  ComposeRequestHead(Target("http://h/"), h, plan, out);
  EXPECT_EQ(out,
            "PATCH / HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\n"
            "Content-Length: 0\r\n\r\n");
}

TEST(RequestHead, ChunkSizeLinesAreLowerCaseHexWithoutLeadingZeros) {
  std::string out;
  AppendChunkSizeLine(16384, out);
  AppendChunkSizeLine(7232, out);
  AppendChunkSizeLine(0, out);
  AppendChunkSizeLine(255, out);
  EXPECT_EQ(out, "4000\r\n1c40\r\n0\r\nff\r\n");
}

}  // namespace
}  // namespace corvane::http
