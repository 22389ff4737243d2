// Requests through the platform HTTP library (UseWinInet) against the real
// test servers: the same fields and events as the native engine, every event
// on the caller's thread, and interruption and timeouts that end the worker.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "corvane/rest.h"
#include "http/http_client.h"
#include "platform/curl_transport.h"
#include "support/event_recorder.h"
#include "support/python_server.h"
#include "support/servers.h"

namespace corvane {
namespace {

using testing::ReadFile;

// Notes the thread events arrive on. Every kind reaches the caller through
// the same hand-over, so one kind of the worker's batches stands for all;
// SetCookie is the HTTP layer's own.
struct ThreadRecorder : testing::EventRecorder {
  std::vector<std::thread::id> threads;
  void Header(std::string& f, std::string& v) override {
    threads.push_back(std::this_thread::get_id()), EventRecorder::Header(f, v);
  }
  void SetCookie(std::string& n, std::string& v, std::string&, std::string&, std::string&,
                 bool&) override {
    threads.push_back(std::this_thread::get_id()), events.push_back("SetCookie " + n + "=" + v);
  }
};

class CurlBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_.SetPlatformTransportFactory(&platform::MakeCurlTransport);
    client_.SetEventSink(&events_);
    client_.SetTimeout(10);
    ASSERT_EQ(client_.Config("UseWinInet=true"), 0);
    CORVANE_SERVER_SETTING(port, "CORVANE_NGINX_PORT");
    nginx_ = "http://127.0.0.1:" + port;
  }
  void TearDown() override {
    for (std::thread::id id : events_.threads) ASSERT_EQ(id, std::this_thread::get_id());
  }
  // A request to nginx when url is a path.
  int Run(int action, std::string url) {
    events_.events.clear();
    if (url[0] == '/') url = nginx_ + url;
    if (int rc = client_.SetURL(url); rc != 0) return rc;
    return client_.Action(action);
  }
  std::string Error() { return client_.LastErrorText().str(); }

  HttpClient client_;
  ThreadRecorder events_;
  std::string nginx_;
};

TEST_F(CurlBackendTest, GetAndPostFillTheSameFieldsInTheSameEventOrder) {
  CORVANE_SERVER_SETTING(root, "CORVANE_NGINX_ROOT");
  for (bool windowMessages : {true, false}) {
    ASSERT_EQ(client_.SetUseWindowsMessages(windowMessages), 0);
    ASSERT_EQ(Run(http::actGet, "/data.json"), 0) << Error();
    EXPECT_EQ(client_.TransferredData(), ReadFile(root + "/data.json"));
    EXPECT_EQ(client_.StatusLine(), "HTTP/1.1 200 OK");
    EXPECT_EQ(client_.ResponseContentType(), "application/json");
    EXPECT_NE(client_.TransferredHeaders().find("Content-Length: 1024\r\n"),
              std::string_view::npos);
    EXPECT_TRUE(events_.Has("Header Content-Type: application/json"));
    EXPECT_TRUE(events_.Has("SSLStatus Successfully received a response from the server."));
    // 1024 bytes in blocks of at most 2000, with the percentage of the length.
    EXPECT_TRUE(
        events_.InOrder({"Connected 0", "StartTransfer 0", "EndTransfer 0", "StartTransfer 1",
                         "Transfer 1 1024 100", "EndTransfer 1", "Disconnected 0"}));
    EXPECT_EQ(events_.Count("Transfer 1"), 1);
  }

  // A value that would split the request is refused before anything is sent.
  client_.Headers().otherHeaders = "X-A: 1\r\n\r\nGET /evil HTTP/1.1";
  EXPECT_EQ(Run(http::actGet, "/data.json"), 155);
  EXPECT_FALSE(events_.Has("Connected"));
  client_.Headers().otherHeaders.clear();

  client_.PostData() = "a=1";
  ASSERT_EQ(Run(http::actPost, "/post"), 0) << Error();
  EXPECT_EQ(client_.TransferredData(), "posted\n");

  // An error status fails with the status text and no Status event.
  EXPECT_EQ(Run(http::actGet, "/missing.json"), 151);
  EXPECT_EQ(Error(), "404 Not Found");
  EXPECT_FALSE(events_.Has("Status"));
  EXPECT_TRUE(events_.Has("EndTransfer 1"));
}

TEST_F(CurlBackendTest, LocalFileGetsTheBodyAndTransferredDataKeepsIt) {
  CORVANE_SERVER_SETTING(root, "CORVANE_NGINX_ROOT");
  std::string path = ::testing::TempDir() + "curl_backend_local_" + std::to_string(getpid());
  client_.LocalFile() = path;
  ASSERT_EQ(Run(http::actGet, "/text.txt"), 0) << Error();
  std::string text = ReadFile(root + "/text.txt");
  EXPECT_EQ(ReadFile(path), text);
  EXPECT_EQ(client_.TransferredData(), text);
  // 32000 bytes in blocks of at most 2000.
  EXPECT_TRUE(events_.Has("Transfer 1 2000 6"));
  EXPECT_TRUE(events_.Has("Transfer 1 32000 100"));
  unlink(path.c_str());

  client_.LocalFile() = "/nonexistent-dir/file";
  EXPECT_EQ(Run(http::actGet, "/text.txt"), 302);
  EXPECT_EQ(Error(), "Can't open local file for writing.");
}

TEST_F(CurlBackendTest, RedirectsAreFollowedByTheLibrary) {
  ASSERT_EQ(Run(http::actGet, "/chain1"), 0) << Error();
  EXPECT_EQ(client_.ResponseContentType(), "application/xml");
  EXPECT_EQ(events_.Count("SSLStatus An HTTP request is about to automatically redirect"), 3);
  EXPECT_FALSE(events_.Has("Redirect"));
  client_.Config("MaxRedirectAttempts=5");
  EXPECT_EQ(Run(http::actGet, "/loopa"), 12156);
  EXPECT_EQ(Error(), "Http Redirect Failed.");
}

TEST_F(CurlBackendTest, ProxyServerWithCredentialsAndTheSystemProxy) {
  CORVANE_SERVER_SETTING(proxyPort, "CORVANE_PROXY_PORT");
  CORVANE_SERVER_SETTING(user, "CORVANE_PROXY_USER");
  CORVANE_SERVER_SETTING(password, "CORVANE_PROXY_PASSWORD");
  client_.ProxyServer() = "127.0.0.1";
  client_.ProxyPort() = std::stoi(proxyPort);
  EXPECT_EQ(Run(http::actGet, "/data.json"), 151);
  EXPECT_EQ(Error().substr(0, 4), "407 ");
  ASSERT_EQ(client_.SetProxyUser(user), 0);
  ASSERT_EQ(client_.SetProxyPassword(password), 0);
  ASSERT_EQ(Run(http::actGet, "/data.json"), 0) << Error();
  EXPECT_EQ(client_.TransferredData().size(), 1024u);

  // "*user*password": the environment's proxy with these credentials.
  ASSERT_EQ(client_.SetProxyUser(""), 0);
  ASSERT_EQ(client_.SetProxyPassword(""), 0);
  client_.ProxyServer() = "*" + user + "*" + password;
  setenv("http_proxy", ("http://127.0.0.1:" + proxyPort).c_str(), 1);
  int rc = Run(http::actGet, "/data.json");
  unsetenv("http_proxy");
  ASSERT_EQ(rc, 0) << Error();
  EXPECT_EQ(client_.TransferredData().size(), 1024u);
}

TEST_F(CurlBackendTest, HttpsChecksTheCertificateUnlessTheFlagsSayOtherwise) {
  CORVANE_SERVER_SETTING(valid, "CORVANE_TLS_VALID_PORT");
  CORVANE_SERVER_SETTING(self, "CORVANE_TLS_SELFSIGNED_PORT");
  CORVANE_SERVER_SETTING(other, "CORVANE_TLS_OTHERHOST_PORT");
  CORVANE_SERVER_SETTING(expired, "CORVANE_TLS_EXPIRED_PORT");
  // Each ignore bit lets its own fault pass and no other; a kept connection
  // made under other flags is not reused.
  struct Case {
    const char* flags;
    std::string port;
    int result;
  };
  const Case cases[] = {
      {"0", valid, 0},        {"0", self, 12045},   {"0", other, 12037}, {"0", expired, 12169},
      {"0x10", self, 0},      {"0x1", self, 12045}, {"0x1", expired, 0}, {"0x80000000", other, 0},
      {"0x10", other, 12037}, {"0", self, 12045},
  };
  for (const Case& c : cases) {
    client_.Config(std::string("SSLSecurityFlags=") + c.flags);
    EXPECT_EQ(Run(http::actGet, "https://localhost:" + c.port + "/data.json"), c.result)
        << c.flags << " " << Error();
    if (c.result == 12045) {
      EXPECT_FALSE(events_.Has("Connected"));
    }
  }
}

TEST_F(CurlBackendTest, LibraryCookiesAreKeptAndACookieHeaderTurnsThemOff) {
  testing::PythonServer server{testing::TestsPath("http/scripted_server.py")};
  ASSERT_GT(server.port(), 0);
  ASSERT_EQ(Run(http::actGet, server.Url("/cookies/twice")), 0) << Error();
  EXPECT_TRUE(events_.Has("SetCookie id=1"));
  EXPECT_TRUE(events_.Has("SetCookie id=2"));
  ASSERT_EQ(Run(http::actGet, server.Url("/echo-cookie")), 0) << Error();
  EXPECT_EQ(client_.TransferredData(), R"({"cookie": "id=2"})");

  client_.Headers().otherHeaders = "Cookie: mine=1\r\n";
  ASSERT_EQ(Run(http::actGet, server.Url("/echo-cookie")), 0) << Error();
  EXPECT_EQ(client_.TransferredData(), R"({"cookie": "mine=1"})");
  client_.Headers().otherHeaders.clear();
  client_.Config("UseWinInetCookies=false");
  ASSERT_EQ(Run(http::actGet, server.Url("/echo-cookie")), 0) << Error();
  EXPECT_EQ(client_.TransferredData(), R"({"cookie": ""})");
  client_.Config("UseWinInetCookies=true");
  ASSERT_EQ(Run(http::actGet, server.Url("/echo-cookie")), 0) << Error();
  EXPECT_EQ(client_.TransferredData(), R"({"cookie": "id=2"})");
}

// /slow/ is sent at 2 KB/s: 8 KB would take four seconds, so a result before
// its end can only come from the interruption or the timeout.
TEST_F(CurlBackendTest, InterruptFromAnEventHandlerOrTheTimeoutEndsTheRequest) {
  for (bool windowMessages : {true, false}) {
    ASSERT_EQ(client_.SetUseWindowsMessages(windowMessages), 0);
    events_.onTransfer = [this](int direction) {
      if (direction == 1) client_.Interrupt();
    };
    EXPECT_EQ(Run(http::actGet, "/slow/data.txt"), 301);
    EXPECT_EQ(Error(), "Interrupted.");
    EXPECT_EQ(events_.Count("Transfer 1"), 1);
    EXPECT_FALSE(events_.Has("EndTransfer 1"));
    events_.onTransfer = nullptr;
  }
  // The backend is ready for the next request at once.
  ASSERT_EQ(Run(http::actGet, "/data.json"), 0) << Error();

  client_.Config("AbsoluteTimeout=true");
  client_.SetTimeout(1);
  EXPECT_EQ(Run(http::actGet, "/slow/data.txt"), 301);
  EXPECT_EQ(Error(), "Timeout.");
  EXPECT_LT(client_.BytesTransferred(), 8192);
}

TEST(CurlBackendSetupTest, TheRestObjectParsesWhatTheLibraryFetched) {
  CORVANE_SERVER_SETTING(port, "CORVANE_NGINX_PORT");
  REST rest;
  ASSERT_EQ(rest.Config("UseWinInet=true"), 0);
  ASSERT_EQ(rest.Get("http://127.0.0.1:" + port + "/data.json"), 0) << rest.LastError();
  ASSERT_EQ(rest.SetXPath("/json/items/[2]/name"), 0) << rest.LastError();
  EXPECT_EQ(rest.XText(), "\"item001\"");
}

TEST(CurlBackendSetupTest, WithoutALibraryTheRequestFails) {
  HttpClient client;
  ASSERT_EQ(client.Config("UseWinInet=true"), 0);
  ASSERT_EQ(client.SetURL("http://127.0.0.1:1/"), 0);
  EXPECT_EQ(client.Action(http::actGet), 12004);
  EXPECT_EQ(client.LastErrorText().str(), "The platform HTTP library is not available.");
}

}  // namespace
}  // namespace corvane
