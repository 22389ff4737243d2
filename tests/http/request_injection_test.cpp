// CR, LF and NUL in every value that goes into a request line or header
// field, set by the caller or received from a server and reused: each
// request is refused with 155 naming the value, and no byte of the injected
// text reaches the server.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "http/http_client.h"
#include "support/python_server.h"

namespace corvane {
namespace {

using testing::PythonServer;
using testing::TestsPath;

class RequestInjectionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new PythonServer(TestsPath("http/hostile_server.py")); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(server_->port(), 0) << "scripted server did not start"; }

  // Everything the server received since the last call.
  static std::string Captured() {
    HttpClient c;
    c.SetTimeout(10);
    EXPECT_EQ(c.SetURL(server_->Url("/captured")), 0);
    EXPECT_EQ(c.Action(http::actGet), 0) << c.LastErrorText().str();
    return std::string(c.TransferredData());
  }

  static PythonServer* server_;
};

PythonServer* RequestInjectionTest::server_ = nullptr;

std::string Message(std::string_view name) {
  return "The " + std::string(name) +
         " value contains a CR, LF or NUL character, which no request line or header field may "
         "carry. The request was not sent.";
}

TEST_F(RequestInjectionTest, EveryRequestValueRefusesCrLfAndNul) {
  using Set = std::function<void(HttpClient&, const std::string& bad)>;
  // Sets the value, then the URL of an ordinary request.
  auto then = [](Set set) {
    return [set](HttpClient& c, const std::string& bad) {
      set(c, bad);
      return c.SetURL(server_->Url("/ok"));
    };
  };
  auto header = [then](std::string http::RequestHeaders::*field) {
    return then([field](HttpClient& c, const std::string& bad) { c.Headers().*field = bad; });
  };
  auto proxy = [](HttpClient& c, int mode) {
    c.ProxyServer() = "127.0.0.1";
    c.ProxyPort() = server_->port();
    c.ProxySSL() = mode;
  };
  struct Case {
    const char* value;  // the name the error gives
    int action;
    std::function<int(HttpClient&, const std::string& bad)> setup;
  } cases[] = {
      {"URL", http::actGet, [](HttpClient& c, auto& bad) { return c.SetURL(server_->Url("/p" + bad)); }},
      {"URL", http::actGet, [](HttpClient& c, auto& bad) { return c.SetURL(server_->Url("/p?q=" + bad)); }},
      {"URL", http::actGet,
       [](HttpClient& c, auto& bad) { return c.SetURL("http://h" + bad + ":" + std::to_string(server_->port()) + "/"); }},
      // Through a proxy the host goes into the absolute request target.
      {"URL", http::actGet,
       [proxy](HttpClient& c, auto& bad) {
         proxy(c, http::psNever);
         return c.SetURL("http://h" + bad + "/");
       }},
      {"HTTPMethod", http::actGet, header(&http::RequestHeaders::httpMethod)},
      {"Accept", http::actGet, header(&http::RequestHeaders::accept)},
      {"From", http::actGet, header(&http::RequestHeaders::from)},
      {"UserAgent", http::actGet, header(&http::RequestHeaders::userAgent)},
      {"IfModifiedSince", http::actGet, header(&http::RequestHeaders::ifModifiedSince)},
      {"Referer", http::actGet, header(&http::RequestHeaders::referer)},
      {"Pragma", http::actGet, header(&http::RequestHeaders::pragma)},
      {"Range", http::actGet, header(&http::RequestHeaders::range)},
      {"ContentType", http::actPost, header(&http::RequestHeaders::contentType)},
      {"OtherHeaders", http::actGet, header(&http::RequestHeaders::otherHeaders)},
      {"AcceptEncoding", http::actGet, then([](HttpClient& c, auto& bad) {
         c.Headers().allowHttpCompression = true;
         c.Headers().acceptEncoding = bad;
       })},
      {"Authorization", http::actGet, then([](HttpClient& c, auto& bad) { c.SetAuthorization("Bearer " + bad); })},
      {"Cookie", http::actGet, then([](HttpClient& c, auto& bad) { c.AddCookie("n", bad); })},
      {"Cookie", http::actGet, then([](HttpClient& c, auto& bad) { c.AddCookie(bad, "v"); })},
      // The CONNECT goes out before the request: checked before it too.
      {"ProxyUser", http::actGet,
       [proxy](HttpClient& c, auto& bad) {
         proxy(c, http::psTunnel);
         c.SetProxyAuthScheme(http::authDigest);
         c.SetProxyUser(bad);
         return c.SetURL("http://h/");
       }},
      // The Digest username reaches the header only in the answer to the
      // challenge: the first request goes out clean.
      {"Authorization", http::actGet,
       [](HttpClient& c, auto& bad) {
         c.SetAuthScheme(http::authDigest);
         c.SetUser(bad);
         c.SetPassword("p");
         return c.SetURL(server_->Url("/digest"));
       }},
  };
  for (const Case& k : cases) {
    for (char byte : {'\r', '\n', '\0'}) {
      std::string bad = std::string("a") + byte + "X-Injected: 1";
      HttpClient c;
      c.SetTimeout(10);
      int rc = k.setup(c, bad);
      if (rc == 0) rc = c.Action(k.action);
      SCOPED_TRACE(std::string(k.value) + " with byte " + std::to_string(static_cast<int>(byte)));
      EXPECT_EQ(rc, 155);
      EXPECT_EQ(c.LastErrorText().str(), Message(k.value));
      EXPECT_EQ(Captured().find("X-Injected"), std::string::npos);
    }
  }
}

TEST_F(RequestInjectionTest, ValuesStoredFromAServerAreCheckedBeforeReuse) {
  HttpClient c;
  c.SetTimeout(10);
  ASSERT_EQ(c.SetURL(server_->Url("/cookie-nul")), 0);
  ASSERT_EQ(c.Action(http::actGet), 0) << c.LastErrorText().str();
  ASSERT_EQ(c.SetURL(server_->Url("/ok")), 0);
  EXPECT_EQ(c.Action(http::actGet), 155);
  EXPECT_EQ(c.LastErrorText().str(), Message("Cookie"));

  HttpClient r;
  r.SetTimeout(10);
  r.SetFollowRedirects(http::frAlways);
  ASSERT_EQ(r.SetURL(server_->Url("/location-nul")), 0);
  EXPECT_EQ(r.Action(http::actGet), 155);
  EXPECT_EQ(r.LastErrorText().str(), Message("redirect Location"));
  EXPECT_EQ(Captured().find("X-Injected"), std::string::npos);
}

}  // namespace
}  // namespace corvane
