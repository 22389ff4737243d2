#include "http/request_writer.h"

#include <gtest/gtest.h>

namespace corvane::http {
namespace {

class RequestHead : public ::testing::Test {
 protected:
  RequestHead() {
    h.keepAlive = true;
    plan.verb = "GET";
  }
  std::string Compose(const char* url) {
    std::string out;
    ComposeRequestHead(ResolveTarget(RequestTarget{}, url, {}, true), h, plan, out);
    return out;
  }
  RequestHeaders h;
  RequestHeadPlan plan;
};

TEST_F(RequestHead, WritesHeadersInFixedOrder) {
  h.keepAlive = false;
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
  plan.cookie = "a=1; b=2";
  EXPECT_EQ(Compose("http://u:p@h:8080/a?b=c"),
            "GET /a?b=c HTTP/1.1\r\nHost: h:8080\r\nAuthorization: Basic eA==\r\n"
            "Proxy-Authorization: Basic eQ==\r\nAccept: */*\r\nAccept-Encoding: gzip, deflate\r\n"
            "From: f@x\r\nUser-Agent: UA\r\nIf-Modified-Since: Sat, 01 Jan 2000 00:00:00 GMT\r\n"
            "Referer: http://r/\r\nPragma: no-cache\r\nRange: bytes=0-9\r\nCookie: a=1; b=2\r\n"
            "Connection: close\r\nX-A: 1\r\n");
}

TEST_F(RequestHead, ConnectionLineFollowsKeepAliveAndVersion) {
  EXPECT_EQ(Compose("http://h/"), "GET / HTTP/1.1\r\nHost: h\r\n");
  h.keepAlive = false;
  EXPECT_EQ(Compose("http://h/"), "GET / HTTP/1.1\r\nHost: h\r\nConnection: close\r\n");
  h.keepAlive = true;
  plan.httpVersion = "1.0";
  EXPECT_EQ(Compose("http://h/"), "GET / HTTP/1.0\r\nHost: h\r\nConnection: Keep-Alive\r\n");
}

TEST_F(RequestHead, OtherHeadersAreCheckedAndEndWithExactlyOneCrLf) {
  EXPECT_EQ(NormaliseOtherHeaders("A: 1\r\n\r\n\n"), "A: 1\r\n");
  EXPECT_EQ(NormaliseOtherHeaders("A: 1\r\nB: 2"), "A: 1\r\nB: 2\r\n");
  EXPECT_EQ(NormaliseOtherHeaders(""), "");
  // Each line must be whole and non-empty; the trailing run is normalised away.
  for (const char* safe : {"", "A: 1", "A: 1\r\nB: 2\r\n\r\n\n"}) EXPECT_TRUE(IsSafeHeaderText(safe)) << safe;
  // An empty line would end the head.
  for (const char* unsafe : {"A: 1\r\n\r\nGET / HTTP/1.1", "A: 1\nB: 2", "A: 1\rB: 2", "\r\nA: 1"}) {
    EXPECT_FALSE(IsSafeHeaderText(unsafe)) << unsafe;
  }
  // A Host line of the caller's replaces the generated one, matched by case.
  h.otherHeaders = "Host: other";
  EXPECT_EQ(Compose("http://h/"), "GET / HTTP/1.1\r\nHost: other\r\n");
  h.otherHeaders = "host: other";
  EXPECT_EQ(Compose("http://h/"), "GET / HTTP/1.1\r\nHost: h\r\nhost: other\r\n");
}

TEST_F(RequestHead, ProxyAndAbsoluteUriTargets) {
  plan.viaProxy = true;
  EXPECT_EQ(Compose("http://h:8080/p"), "GET http://h:8080/p HTTP/1.1\r\nHost: h:8080\r\n");
  EXPECT_EQ(Compose("http://h:80/p"), "GET http://h/p HTTP/1.1\r\nHost: h\r\n");
  plan.viaProxy = false;
  h.absoluteURI = true;
  EXPECT_EQ(Compose("http://h:80/p"), "GET http://h:80/p HTTP/1.1\r\n");
}

TEST_F(RequestHead, BodyFramingLines) {
  h.contentType = "application/json";
  plan.verb = "POST";
  plan.withBody = true;
  plan.contentLength = 42;
  const std::string head = "POST / HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\n";
  EXPECT_EQ(Compose("http://h/"), head + "Content-Length: 42\r\n\r\n");
  h.useChunkedEncoding = true;
  EXPECT_EQ(Compose("http://h/"), head + "Transfer-Encoding: chunked\r\n\r\n");
  plan.emptyBodyForHandshake = true;
  h.httpMethod = "PATCH";
  EXPECT_EQ(Compose("http://h/"),
            "PATCH / HTTP/1.1\r\nHost: h\r\nContent-Type: application/json\r\nContent-Length: 0\r\n\r\n");

  // Chunk sizes are lower-case hex without leading zeros.
  std::string out;
  for (uint64_t size : {16384u, 7232u, 0u, 255u}) AppendChunkSizeLine(size, out);
  EXPECT_EQ(out, "4000\r\n1c40\r\n0\r\nff\r\n");
}

}  // namespace
}  // namespace corvane::http
