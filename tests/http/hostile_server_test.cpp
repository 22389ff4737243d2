// Responses cut short by a close or a reset, plain and over TLS: each ends in
// its error, never in a success with a partial body, and within Timeout.
#include <gtest/gtest.h>

#include <string>

#include "http/http_client.h"
#include "support/python_server.h"

namespace corvane {
namespace {

using testing::PythonServer;
using testing::TestsPath;

TEST(HostileServer, TruncatedResponsesEndInTheirError) {
  PythonServer plain(TestsPath("http/hostile_server.py"));
  PythonServer tls(TestsPath("http/hostile_server.py"), {"--tls"});
  ASSERT_NE(plain.port(), 0);
  ASSERT_NE(tls.port(), 0);
  const std::string closed = "Connection closed.";
  const std::string reset = "[10054] Connection reset by peer";
  struct Case {
    bool overTls;
    const char* path;
    int code;
    std::string message;
    const char* body;  // what is kept when the request succeeds
  } cases[] = {
      {false, "/close-before-status", 10057, closed, ""},
      {false, "/reset-before-status", 10057, closed, ""},
      {false, "/reset-close-delimited", 10054, reset, ""},
      {false, "/reset-length-body", 10054, reset, ""},
      {false, "/huge-length", 10057, "Connection closed before the whole response body arrived.", ""},
      {true, "/close-before-status", 10057, closed, ""},
      {true, "/close-delimited", 10057,
       "The server closed the TLS connection without close_notify before the end of a response whose "
       "length is not known; the body may be cut short.",
       ""},
      {true, "/close-delimited-notify", 0, "", "the whole body"},
      {false, "/close-delimited", 0, "", "the whole body"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.overTls ? " over TLS" : ""));
    HttpClient client;
    client.SetTimeout(30);
    client.Config("SSLSecurityFlags=0x80000010");  // the server's certificate is its own
    std::string url = (c.overTls ? "https://127.0.0.1:" + std::to_string(tls.port())
                                 : "http://127.0.0.1:" + std::to_string(plain.port())) +
                      c.path;
    ASSERT_EQ(client.SetURL(url), 0);
    EXPECT_EQ(client.Action(http::actGet), c.code);
    EXPECT_EQ(client.LastErrorText().str(), c.message);
    if (c.code == 0) {
      EXPECT_EQ(client.TransferredData(), c.body);
    }
  }
}

}  // namespace
}  // namespace corvane
