#include "http/http_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "support/event_recorder.h"
#include "support/python_server.h"
#include "support/servers.h"

namespace corvane {
namespace {

class HttpClientTest : public ::testing::Test {
 protected:
  // One scripted server for every test of the file; it ends with the process.
  static const testing::PythonServer& Server() {
    static testing::PythonServer server(testing::TestsPath("http/scripted_server.py"));
    return server;
  }
  void SetUp() override {
    ASSERT_NE(Server().port(), 0) << "scripted server did not start";
    client_.SetEventSink(&events_);
    client_.SetTimeout(10);
  }
  int Run(int action, const std::string& path) {
    events_.events.clear();
    if (int rc = client_.SetURL(Server().Url(path)); rc != 0) return rc;
    return client_.Action(action);
  }
  int Get(const std::string& path) { return Run(http::actGet, path); }
  int Post(const std::string& path, const std::string& body) {
    client_.PostData() = body;
    return Run(http::actPost, path);
  }
  std::string Error() const { return client_.LastErrorText().str(); }
  std::string Query(const std::string& key) {
    EXPECT_EQ(client_.Config(key), 0) << key << ": " << Error();
    return client_.ResultText().str();
  }

  HttpClient client_;
  testing::EventRecorder events_;
};

// The order that matters: the request is logged and sent before the status,
// headers and body arrive, an upload is reported whole before the response,
// and the summary comes last.
TEST_F(HttpClientTest, EventsFollowTheExchangeInOrder) {
  client_.Config("Loglevel=2");
  ASSERT_EQ(Get("/ok"), 0) << Error();
  const std::string url = Server().Url("/ok");
  EXPECT_TRUE(
      events_.InOrder({"Log 2 Info URL: " + url, "Log 2 Info HTTP Method: GET", "Log 2 Info HTTP Version: 1.1",
                       "Log 1 Info Sending Request: GET (HTTP 1.1) to " + url, "Connected 0", "Log 2 Info Request Sent",
                       "Log 2 Info Status Line: HTTP/1.1 200 OK", "Status HTTP/1.1 200 OK", "Header Content-Length: 7",
                       "StartTransfer 1", "Transfer 1 7 100", "EndTransfer 1", "Disconnected 0",
                       "Log 2 Info Transfer Complete", "Log 1 Info Response: HTTP/1.1 200 OK, 7 Bytes Transferred"}));
  EXPECT_EQ(client_.TransferredHeaders(), "Content-Type: application/json\r\nContent-Length: 7\r\n");
  EXPECT_EQ(client_.ResponseContentType(), "application/json");

  client_.Config("Loglevel=3");
  ASSERT_EQ(Post("/method", "hello"), 0) << Error();
  EXPECT_TRUE(events_.InOrder({"Connected 0", "Log 3 Info Sending Headers",
                               "Log 3 RequestHeaders POST /method HTTP/1.1\r\n", "StartTransfer 0", "Transfer 0 5 4",
                               "Log 3 RequestBody hello", "EndTransfer 0", "Status HTTP/1.1 200 OK",
                               "Log 3 ResponseHeaders Content-Length: 6", "Log 3 ResponseBody POST 5"}));
}

TEST_F(HttpClientTest, RequestIsByteExactAndKeptWhenAsked) {
  client_.Headers().accept = "*/*";
  client_.Headers().contentType = "application/json";
  client_.Config("TransferredRequest=ON");
  ASSERT_EQ(Post("/echo", "{\"x\":1}"), 0) << Error();
  const std::string head = "POST /echo HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(Server().port()) +
                           "\r\nAccept: */*\r\nUser-Agent: Corvane HTTP Component - https://www.corvane.dev\r\n"
                           "Connection: close\r\nContent-Type: application/json\r\nContent-Length: 7\r\n\r\n";
  EXPECT_EQ(client_.TransferredData(), head + "{\"x\":1}");
  EXPECT_EQ(Query("SentHeaders"), head);
  EXPECT_EQ(Query("TransferredRequest"), "{\"x\":1}");
}

// One request each; the events listed must be there, those after "!" must not.
TEST_F(HttpClientTest, ResponsesEndInTheirResultAndEvents) {
  struct Case {
    const char* path;
    const char* config;
    int code;
    std::string text;  // the error text, or the body on success
    std::vector<std::string> events;
  } cases[] = {
      {"/interim", "", 0, "ok", {"Status HTTP/1.1 200 OK", "!Status HTTP/1.1 100", "!Header X-Interim"}},
      // The server keeps streaming header lines: the client stops at its
      // head limit and closes, draining what is still in flight.
      {"/endless-headers", "", 151, "HTTP protocol error. The response header section is too large.", {}},
      {"/nostatus", "", 10057, "Connection closed.", {}},
      {"/redirect/302?to=/ok", "", 151, "HTTP protocol error. 302 Moved.", {}},
      // Keeps the first bytes but reports them all.
      {"/ok", "TransferredDataLimit=3", 0, "{\"a", {"Transfer 1 7 100"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    if (*c.config) client_.Config(c.config);
    EXPECT_EQ(Get(c.path), c.code);
    EXPECT_EQ(c.code == 0 ? std::string(client_.TransferredData()) : Error(), c.text);
    for (const std::string& e : c.events) {
      EXPECT_EQ(events_.Has(e[0] == '!' ? e.substr(1) : e), e[0] != '!') << e;
    }
  }
}

TEST_F(HttpClientTest, LocalFileTakesTheBodyButNotAnErrorStatusBody) {
  std::string path = ::testing::TempDir() + "corvane_http_local.out";
  ::unlink(path.c_str());
  client_.LocalFile() = path;
  struct {
    const char* path;
    const char* error;
    const char* body;
    bool transferEvents;  // an authentication challenge's body is not the caller's
  } cases[] = {{"/401", "HTTP protocol error. 401 Unauthorized.", "denied", false},
               {"/404", "HTTP protocol error. 404 Not Found.", "missing", true}};
  for (const auto& c : cases) {
    EXPECT_EQ(Get(c.path), 151);
    EXPECT_EQ(Error(), c.error);
    EXPECT_EQ(client_.TransferredData(), c.body);
    EXPECT_EQ(events_.Has("Transfer 1"), c.transferEvents) << c.path;
    EXPECT_NE(::access(path.c_str(), F_OK), 0) << c.path;
  }
  ASSERT_EQ(Get("/ok"), 0) << Error();
  EXPECT_EQ(client_.TransferredData(), "");
  client_.Config("Append=true");
  ASSERT_EQ(Get("/ok"), 0) << Error();
  EXPECT_EQ(testing::ReadFile(path), "{\"a\":1}{\"a\":1}");
}

TEST_F(HttpClientTest, GzipIsDecodedOnlyWhenAllowedAndWithinTheDataLimit) {
  client_.Config("AllowHTTPCompression=false");
  ASSERT_EQ(Get("/gzip"), 0) << Error();
  EXPECT_EQ(static_cast<unsigned char>(client_.TransferredData()[0]), 0x1f);
  client_.Config("AllowHTTPCompression=true");
  client_.Config("TransferredDataLimit=1048576");
  ASSERT_EQ(Get("/gzipbomb"), 0) << Error();
  EXPECT_EQ(client_.TransferredData().size(), 1048576u);
  EXPECT_LT(client_.BytesTransferred(), 2 << 20);  // compressed bytes
}

// The server's large bodies: blocks of 64 KiB, then a tail.
std::string Pattern(int repeats, const std::string& tail) {
  std::string out;
  for (int i = 0; i < repeats << 16; ++i) out += static_cast<char>((i & 0xffff) * 7 % 251);
  return out + tail;
}

// Either engine, over one kept connection: bodies with a length, chunked or
// ended by the close arrive whole.
TEST_F(HttpClientTest, EitherEngineDeliversBodiesWhole) {
  client_.SetKeepAlive(true);
  const std::string big = Pattern(48, "tail-of-the-body");
  for (const char* engine : {"UseWindowsMessages=true", "UseWindowsMessages=false"}) {
    SCOPED_TRACE(engine);
    ASSERT_EQ(client_.Config(engine), 0);
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(Get("/big"), 0) << Error();
      EXPECT_TRUE(client_.TransferredData() == big) << client_.TransferredData().size();
      EXPECT_EQ(client_.BytesTransferred(), static_cast<int64_t>(big.size()));
    }
    ASSERT_EQ(Get("/chunked-crlf"), 0) << Error();
    EXPECT_EQ(client_.TransferredData(), "a\r\nbc\r\nx");
    ASSERT_EQ(Get("/bigclose"), 0) << Error();
    EXPECT_TRUE(client_.TransferredData() == Pattern(32, "end")) << client_.TransferredData().size();
  }
}

TEST_F(HttpClientTest, RedirectPoliciesMethodsAndLimits) {
  client_.SetFollowRedirects(http::frAlways);
  ASSERT_EQ(Get("/redirect/302?to=/ok"), 0) << Error();
  EXPECT_EQ(client_.TransferredData(), "{\"a\":1}");
  EXPECT_TRUE(events_.Has("Redirect /ok true"));
  EXPECT_EQ(client_.URL(), "/ok");
  // 303 turns a POST into a GET, 307 keeps it, 302 keeps it unless told.
  for (auto [status, getOn302, answer] :
       {std::tuple{"303", "0", "GET 0"}, {"307", "0", "POST 5"}, {"302", "0", "POST 5"}, {"302", "1", "GET 0"}}) {
    client_.Config(std::string("GetOn302Redirect=") + getOn302);
    ASSERT_EQ(Post(std::string("/redirect/") + status + "?to=/method", "hello"), 0) << Error();
    EXPECT_EQ(client_.TransferredData(), answer) << status;
  }

  client_.SetFollowRedirects(http::frSameScheme);
  EXPECT_EQ(Get("/redirect/301?to=https://127.0.0.1:1/x"), 151);
  EXPECT_TRUE(events_.Has("Redirect https://127.0.0.1:1/x false"));
  client_.PostData() = "x";
  EXPECT_EQ(Run(http::actPut, "/redirect/301?to=/method"), 151);  // followed only under frAlways
  ASSERT_EQ(Get("/relative"), 0) << Error();
  EXPECT_TRUE(events_.Has("Redirect ok true"));
  EXPECT_EQ(client_.TransferredData(), "{\"a\":1}");

  client_.SetFollowRedirects(http::frAlways);
  EXPECT_EQ(Get("/same"), 151);
  EXPECT_EQ(Error(), "Attempting to redirect to identical URL.  Aborting connection.");
  client_.Config("AllowIdenticalRedirectURL=true");
  client_.Config("MaxRedirectAttempts=3");
  EXPECT_EQ(Get("/same"), 310);
  EXPECT_EQ(events_.Count("Redirect "), 3);
  client_.Config("MaxRedirectAttempts=0");
  EXPECT_EQ(Get("/redirect/302?to=/ok"), 310);
}

TEST_F(HttpClientTest, EventHandlersCanInterruptButNotStartARequest) {
  int nested = -1;
  events_.onTransfer = [&](int direction) {
    if (direction == 1 && nested == -1) nested = client_.Action(http::actGet);
  };
  ASSERT_EQ(Get("/ok"), 0) << Error();
  EXPECT_EQ(nested, 143);

  events_.onTransfer = [&](int direction) {
    if (direction == 1) client_.Action(http::actInterrupt);
  };
  EXPECT_EQ(Get("/ok"), 301);
  EXPECT_FALSE(client_.Busy());
}

TEST_F(HttpClientTest, ConnectionsAreKeptOnlyWhenAskedAndReopenedWhenClosed) {
  ASSERT_EQ(Get("/ok"), 0) << Error();
  ASSERT_EQ(Get("/ok"), 0) << Error();
  EXPECT_TRUE(events_.Has("Connected "));

  client_.SetKeepAlive(true);
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(Get("/okclose"), 0) << i << " " << Error();
    EXPECT_EQ(client_.TransferredData(), "bye");
    ASSERT_EQ(Post("/method", "abc"), 0) << i << " " << Error();
    EXPECT_EQ(client_.TransferredData(), "POST 3");
  }
  ASSERT_EQ(Get("/ok"), 0) << Error();
  EXPECT_FALSE(events_.Has("Connected ")) << "the connection of the POST was not kept";
  // Closed only once the next request is on its way: sent again on a new
  // connection.
  ASSERT_EQ(Get("/then-drop"), 0) << Error();
  ASSERT_EQ(Get("/ok"), 0) << Error();
  EXPECT_EQ(client_.TransferredData(), "{\"a\":1}");
}

// An early answer stops a large upload; a missing AttachedFile fails before
// anything is sent; a chunked body goes in ChunkSize chunks.
TEST_F(HttpClientTest, UploadsStopEarlyFailBeforeSendingOrGoInChunks) {
  EXPECT_EQ(Post("/early401", std::string(32 << 20, 'u')), 151);
  EXPECT_EQ(client_.StatusCode(), 401);
  client_.AttachedFile() = "/nonexistent/corvane/file";
  EXPECT_EQ(Post("/echo", ""), 302);
  EXPECT_EQ(Error(), "Can't open AttachedFile.");
  client_.AttachedFile().clear();
  client_.Config("UseChunkedEncoding=true");
  client_.Config("ChunkSize=16384");
  ASSERT_EQ(Post("/echo", std::string(40000, 'b')), 0) << Error();
  std::string framing = "4000\r\n" + std::string(16384, 'b') + "\r\n4000\r\n" + std::string(16384, 'b') +
                        "\r\n1c40\r\n" + std::string(7232, 'b') + "\r\n0\r\n\r\n";
  EXPECT_TRUE(std::string(client_.TransferredData()).ends_with(framing));
  EXPECT_TRUE(events_.Has("Transfer 0 40000 99"));
  EXPECT_TRUE(events_.Has("EndTransfer 0"));
}

TEST_F(HttpClientTest, ConfigurationKeys) {
  EXPECT_EQ(client_.Config("StatusLine=x"), -1);
  EXPECT_EQ(Error(), "Unknown config setting.");
  EXPECT_EQ(client_.Config("MaxRedirectAttempts=0x10"), 0);
  EXPECT_EQ(Query("MaxRedirectAttempts"), "16");
  EXPECT_EQ(client_.Config("HTTPVersion=3.0"), 202);
  ASSERT_EQ(client_.Config("Authorization=Bearer abc"), 0);
  ASSERT_EQ(client_.Config("ProxyUser=pu"), 0);
  EXPECT_EQ(Query("Authorization") + "|" + Query("ProxyUser"), "Bearer abc|pu");
  // NTLM needs one connection for its handshake.
  client_.SetAuthScheme(http::authNtlm);
  EXPECT_EQ(Query("KeepAlive"), "True");
}

TEST_F(HttpClientTest, UrlsWithoutAUsableServerAreRefused) {
  EXPECT_EQ(client_.Action(http::actGet), 152);
  EXPECT_EQ(Error(), "No server specified in URL");
  ASSERT_EQ(client_.SetURL("ftp://127.0.0.1/x"), 0);
  EXPECT_EQ(client_.Action(http::actGet), 153);
  EXPECT_EQ(Error(), "Specified URLScheme (ftp) is invalid.");
  EXPECT_EQ(client_.SetURL("http://127.0.0.1:65536/"), 152);
  EXPECT_EQ(Error(), "The port in the URL is out of range: a port is a number from 1 to 65535.");
}

TEST_F(HttpClientTest, ResetClearsRequestStateButKeepsUserAgent) {
  client_.Headers().accept = "x";
  client_.PostData() = "p";
  ASSERT_EQ(Get("/ok"), 0);
  ASSERT_EQ(client_.Action(http::actReset), 0);
  EXPECT_EQ(client_.URL(), "");
  EXPECT_EQ(client_.Headers().accept, "");
  EXPECT_EQ(client_.PostData(), "");
  EXPECT_EQ(client_.TransferredData(), "");
  EXPECT_FALSE(client_.Headers().userAgent.empty());
}

// CR, LF and NUL in every value that goes into a request line or header
// field, set by the caller or received from a server and reused: each
// request is refused with 155 naming the value, and no byte of the injected
// text reaches the server.
std::string Refused(std::string_view name) { return "The " + std::string(name) + " value contains"; }

TEST_F(HttpClientTest, EveryRequestValueRefusesCrLfAndNul) {
  const std::string ok = Server().Url("/ok");
  auto proxy = [](HttpClient& c, int mode) {
    c.ProxyServer() = "127.0.0.1";
    c.ProxyPort() = Server().port();
    c.ProxySSL() = mode;
  };
  using H = http::RequestHeaders;
  struct Case {
    const char* value;  // the name the error gives
    int action;
    // Sets the bad value; gives the URL of the request.
    std::function<std::string(HttpClient&, const std::string& bad)> set;
  };
  std::vector<Case> cases = {
      {"URL", http::actGet, [](HttpClient&, auto& bad) { return Server().Url("/p" + bad); }},
      {"URL", http::actGet, [](HttpClient&, auto& bad) { return "http://h" + bad + ":1/"; }},
      // Through a proxy the host goes into the absolute request target.
      {"URL", http::actGet,
       [&](HttpClient& c, auto& bad) {
         proxy(c, http::psNever);
         return "http://h" + bad + "/";
       }},
      {"AcceptEncoding", http::actGet,
       [&](HttpClient& c, auto& bad) {
         c.Headers().allowHttpCompression = true;
         c.Headers().acceptEncoding = bad;
         return ok;
       }},
      {"Authorization", http::actGet,
       [&](HttpClient& c, auto& bad) {
         c.SetAuthorization("Bearer " + bad);
         return ok;
       }},
      {"Cookie", http::actGet, [&](HttpClient& c, auto& bad) { c.AddCookie("n", bad); return ok; }},
      // The CONNECT goes out before the request: checked before it too.
      {"ProxyUser", http::actGet,
       [&](HttpClient& c, auto& bad) {
         proxy(c, http::psTunnel);
         c.SetProxyAuthScheme(http::authDigest);
         c.SetProxyUser(bad);
         return "http://h/";
       }},
      // The Digest username reaches the header only in the answer to the
      // challenge: the first request goes out clean.
      {"Authorization", http::actGet,
       [&](HttpClient& c, auto& bad) {
         c.SetAuthScheme(http::authDigest);
         c.SetUser(bad);
         c.SetPassword("p");
         return Server().Url("/digest");
       }},
  };
  const std::pair<const char*, std::string H::*> fields[] = {
      {"HTTPMethod", &H::httpMethod}, {"Accept", &H::accept},   {"From", &H::from},
      {"UserAgent", &H::userAgent},   {"Referer", &H::referer}, {"IfModifiedSince", &H::ifModifiedSince},
      {"Pragma", &H::pragma},         {"Range", &H::range},     {"OtherHeaders", &H::otherHeaders},
      {"ContentType", &H::contentType}};
  for (auto [name, field] : fields) {
    int action = field == &H::contentType ? http::actPost : http::actGet;
    cases.push_back({name, action, [&, field](HttpClient& c, auto& bad) { c.Headers().*field = bad; return ok; }});
  }
  for (const Case& k : cases) {
    for (char byte : {'\r', '\n', '\0'}) {
      SCOPED_TRACE(std::string(k.value) + " with byte " + std::to_string(static_cast<int>(byte)));
      HttpClient c;
      c.SetTimeout(10);
      int rc = c.SetURL(k.set(c, std::string("a") + byte + "X-Injected: 1"));
      EXPECT_EQ(rc == 0 ? c.Action(k.action) : rc, 155);
      EXPECT_TRUE(c.LastErrorText().str().starts_with(Refused(k.value))) << c.LastErrorText().str();
    }
  }
  // /captured: every request head the server received since the last call.
  ASSERT_EQ(Get("/captured"), 0) << Error();
  EXPECT_EQ(std::string(client_.TransferredData()).find("X-Injected"), std::string::npos);
}

TEST_F(HttpClientTest, ValuesStoredFromAServerAreCheckedBeforeReuse) {
  client_.SetFollowRedirects(http::frAlways);
  EXPECT_EQ(Get("/location-nul"), 155);
  EXPECT_TRUE(Error().starts_with(Refused("redirect Location"))) << Error();
  HttpClient c;
  c.SetTimeout(10);
  ASSERT_EQ(c.SetURL(Server().Url("/cookie-nul")), 0);
  ASSERT_EQ(c.Action(http::actGet), 0) << c.LastErrorText().str();
  EXPECT_EQ(c.Action(http::actGet), 155);
  EXPECT_TRUE(c.LastErrorText().str().starts_with(Refused("Cookie"))) << c.LastErrorText().str();
  ASSERT_EQ(Get("/captured"), 0) << Error();
  EXPECT_EQ(std::string(client_.TransferredData()).find("X-Injected"), std::string::npos);
}

// Responses cut short by a close or a reset, plain and over TLS: each ends in
// its error, never in a success with a partial body, and within Timeout.
TEST_F(HttpClientTest, TruncatedResponsesEndInTheirError) {
  testing::PythonServer tls(testing::TestsPath("http/scripted_server.py"), {"--tls"});
  ASSERT_NE(tls.port(), 0);
  client_.SetTimeout(30);
  client_.Config("SSLSecurityFlags=0x80000010");  // the server's certificate is its own
  const std::string closed = "Connection closed.", reset = "[10054] Connection reset by peer";
  struct Case {
    bool overTls;
    const char* path;
    int code;
    std::string message;  // on success the body is "the whole body"
  } cases[] = {
      {false, "/close-before-status", 10057, closed},
      {false, "/reset-before-status", 10057, closed},
      {false, "/reset-close-delimited", 10054, reset},
      {false, "/huge-length", 10057, "Connection closed before the whole response body arrived."},
      {true, "/close-before-status", 10057, closed},
      {true, "/close-delimited", 10057,
       "The server closed the TLS connection without close_notify before the end of a response whose "
       "length is not known; the body may be cut short."},
      {true, "/close-delimited-notify", 0, ""},
      {false, "/close-delimited", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.overTls ? " over TLS" : ""));
    std::string https = "https://127.0.0.1:" + std::to_string(tls.port()) + c.path;
    ASSERT_EQ(client_.SetURL(c.overTls ? https : Server().Url(c.path)), 0);
    EXPECT_EQ(client_.Action(http::actGet), c.code);
    EXPECT_EQ(Error(), c.message);
    if (c.code == 0) {
      EXPECT_EQ(client_.TransferredData(), "the whole body");
    }
  }
}

// psNever sends an https URL to the proxy as it is, without a tunnel; the
// other modes meet tinyproxy in real_peer_test.
TEST_F(HttpClientTest, ProxySslNeverSendsAnHttpsUrlToTheProxyAsItIs) {
  client_.ProxyServer() = "127.0.0.1";
  client_.ProxyPort() = Server().port();
  client_.ProxySSL() = http::psNever;
  ASSERT_EQ(client_.SetURL("https://origin.test/echo"), 0);
  ASSERT_EQ(client_.Action(http::actGet), 0) << Error();
  std::string echoed(client_.TransferredData());
  EXPECT_TRUE(echoed.starts_with("GET https://origin.test/echo HTTP/1.1\r\nHost: origin.test\r\n")) << echoed;
}

// A decoded body past the strict limit ends the response; the framing rules
// strict mode adds are the response reader's own.
TEST_F(HttpClientTest, StrictModeLimitsTheDecodedBody) {
  client_.SetTimeout(30);
  client_.Config("AllowHTTPCompression=true");
  ASSERT_EQ(client_.Config("StrictMode=true"), 0);
  EXPECT_EQ(Get("/gzipbomb?mib=101"), 151);
  EXPECT_EQ(Error(), "HTTP protocol error. The response body exceeds the strict mode limit.");
  EXPECT_LE(client_.TransferredData().size(), static_cast<size_t>(HttpClient::kStrictBodyLimit));
}

// The HTTP/2 layer feeds decoded responses through these entry points.
class Http2Feed : public HttpClient {
 public:
  using HttpClient::BeginHttp2Response;
  using HttpClient::DeliverBody;
  using HttpClient::Http2EndOfHeaders;
  using HttpClient::Http2EndOfStream;
  using HttpClient::Http2HeaderPair;
};

TEST(HttpClientHttp2Entry, HeaderPairsAndDataFormTheResponse) {
  Http2Feed client;
  testing::EventRecorder events;
  client.SetEventSink(&events);
  client.BeginHttp2Response("GET");
  ASSERT_EQ(client.Http2HeaderPair(":status", "404"), 0);
  ASSERT_EQ(client.Http2HeaderPair("content-type", "application/json"), 0);
  ASSERT_EQ(client.Http2EndOfHeaders(false), 0);
  ASSERT_EQ(client.DeliverBody("{}", 2), 0);
  client.Http2EndOfStream();
  EXPECT_EQ(client.StatusLine(), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(client.StatusCode(), 404);
  EXPECT_EQ(client.TransferredHeaders(), ":status: 404\r\ncontent-type: application/json\r\n");
  EXPECT_EQ(client.TransferredData(), "{}");
  EXPECT_EQ(client.ResponseContentType(), "application/json");
  EXPECT_EQ(events.events, (std::vector<std::string>{"Header :status: 404", "Status HTTP/1.1 404 Not Found",
                                                     "Header content-type: application/json", "StartTransfer 1",
                                                     "Transfer 1 2 -1", "EndTransfer 1"}));
}

}  // namespace
}  // namespace corvane
