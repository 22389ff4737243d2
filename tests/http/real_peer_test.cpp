// The client against the real servers tests/servers/up starts: nginx (for
// strict mode two origins, 127.0.0.1 and "localhost" on another port), and
// proxies and SOCKS servers: http and https URLs through every tunnel type,
// the failures a caller meets, and the proxy taken from the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "http/http_client.h"
#include "support/event_recorder.h"
#include "support/servers.h"

namespace corvane {
namespace {

using testing::ReadFile;

// How a request leaves: through a proxy (firewall 0) or a firewall of that
// type, at port, with the user and password given.
struct Route {
  const char* name;
  int firewall;
  std::string port, user = {}, password = {};
  int proxyScheme = http::authBasic;
  int proxySsl = http::psAutomatic;
  const char* config = "";
};

class RealPeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"NGINX_PORT", "NGINX_ROOT", "NGINX_OTHER_PORT", "TLS_VALID_PORT", "TLS_ROOT",
                             "TINYPROXY_OPEN_PORT", "PROXY_PORT", "PROXY_USER", "PROXY_PASSWORD", "SQUID_PORT",
                             "SQUID_USER", "SQUID_PASSWORD", "DANTE_PORT", "MICROSOCKS_PORT", "MICROSOCKS_USER",
                             "MICROSOCKS_PASSWORD"}) {
      CORVANE_SERVER_SETTING(value, (std::string("CORVANE_") + name).c_str());
      env_[name] = value;
    }
    client_.SetEventSink(&events_);
    client_.SetTimeout(15);
    nginx_ = "http://127.0.0.1:" + env_["NGINX_PORT"];
    nginxUrl_ = nginx_ + "/data.json";
    tlsUrl_ = "https://127.0.0.1:" + env_["TLS_VALID_PORT"] + "/data.json";
    TearDown();
  }
  // The proxy variables hold for one test only.
  void TearDown() override {
    for (const char* n : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                          "ALL_PROXY", "NO_PROXY"}) {
      unsetenv(n);
    }
  }
  int Get(const std::string& url) { return Run(http::actGet, url); }
  int Run(int action, const std::string& url) {
    events_.events.clear();
    if (int rc = client_.SetURL(url); rc != 0) return rc;
    return client_.Action(action);
  }
  void Use(const Route& r) {
    client_.Action(http::actReset);
    client_.SetLogLevel(1);
    client_.ProxyServer().clear();
    client_.SetProxyAuthScheme(r.proxyScheme);
    client_.ProxySSL() = r.proxySsl;
    ASSERT_EQ(client_.Config("FirewallType=" + std::to_string(r.firewall)), 0);
    if (r.firewall == 0) {
      client_.ProxyServer() = "127.0.0.1";
      client_.ProxyPort() = std::stoi(r.port);
      if (!r.user.empty()) client_.SetProxyUser(r.user);
      if (!r.password.empty()) client_.SetProxyPassword(r.password);
    } else {
      for (const std::string& s : {std::string("FirewallHost=127.0.0.1"), "FirewallPort=" + r.port,
                                   "FirewallUser=" + r.user, "FirewallPassword=" + r.password}) {
        ASSERT_EQ(client_.Config(s), 0) << s;
      }
    }
    if (*r.config) {
      ASSERT_EQ(client_.Config(r.config), 0) << r.config;
    }
  }
  std::map<std::string, std::string> env_;
  std::string nginx_, nginxUrl_, tlsUrl_;
  HttpClient client_;
  testing::EventRecorder events_;
};

TEST_F(RealPeerTest, GzipAndChunkedBodiesAreDecodedAndAHeadHasNone) {
  // A HEAD ends at the head, without StartTransfer (asked before gzip, which has no length).
  ASSERT_EQ(Run(http::actHead, nginx_ + "/data.json"), 0);
  EXPECT_TRUE(events_.Has("Header Content-Length: 1024"));
  EXPECT_TRUE(events_.Has("EndTransfer 1"));
  EXPECT_FALSE(events_.Has("StartTransfer 1"));
  EXPECT_EQ(client_.TransferredData(), "");
  client_.Config("AllowHTTPCompression=true");
  ASSERT_EQ(Run(http::actGet, nginx_ + "/text.txt"), 0);
  EXPECT_TRUE(events_.Has("Header Content-Encoding: gzip"));
  EXPECT_EQ(client_.TransferredData(), ReadFile(env_["NGINX_ROOT"] + "/text.txt"));
  EXPECT_LT(client_.BytesTransferred(), static_cast<int64_t>(client_.TransferredData().size()));
  std::string part = ReadFile(env_["NGINX_ROOT"] + "/part.txt");
  ASSERT_EQ(Run(http::actGet, nginx_ + "/chunked.shtml"), 0);
  EXPECT_TRUE(events_.Has("Header Transfer-Encoding: chunked"));
  EXPECT_EQ(client_.TransferredData(), "start\n" + part + "end\n");
}

TEST_F(RealPeerTest, AbsoluteTimeoutStopsASlowBody) {
  client_.Config("AbsoluteTimeout=true");
  client_.SetTimeout(1);
  EXPECT_EQ(Run(http::actGet, nginx_ + "/slow/data.txt"), 301);
  EXPECT_EQ(client_.LastErrorText().str(), "Timeout.");
  EXPECT_GT(client_.BytesTransferred(), 0);
}

// Lenient: every cookie goes everywhere, a redirect carries the caller's
// Authorization along and userinfo in a Location becomes Basic credentials.
// Strict: RFC 6265 matching, and nothing of the first origin's (cookies,
// caller's cookies, Authorization, Location userinfo) reaches another.
TEST_F(RealPeerTest, StrictModeKeepsCookiesAndCredentialsToTheirOrigins) {
  const std::string all = "cookie=[mine=1; host=1; deep=2; safe=3; gone=4; foreign=5] auth=[";
  struct {
    bool strict;
    bool callerAuthorization;  // an Authorization value of the caller's
    const char* path;          // on the first origin, after /set-cookies
    std::string answer;        // the echo that finally answered
  } cases[] = {
      {false, true, "/echo", all + "Bearer caller-token]"},
      {true, true, "/echo", "cookie=[host=1; mine=1] auth=[Bearer caller-token]"},
      {true, false, "/deep/echo", "cookie=[deep=2; host=1; mine=1] auth=[]"},
      {false, true, "/to-other", all + "Bearer caller-token]"},
      {true, true, "/to-other", "cookie=[] auth=[]"},
      {false, false, "/to-self-with-userinfo", all + "Basic aW50cnVkZXI6c2VjcmV0]"},
      {true, false, "/to-self-with-userinfo", "cookie=[host=1; mine=1] auth=[]"},
      {true, false, "/to-other-with-userinfo", "cookie=[] auth=[]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path) + (c.strict ? " strict" : " lenient"));
    HttpClient client;
    client.SetTimeout(10);
    client.SetFollowRedirects(http::frAlways);
    ASSERT_EQ(client.Config(std::string("StrictMode=") + (c.strict ? "true" : "false")), 0);
    if (c.callerAuthorization) client.SetAuthorization("Bearer caller-token");
    client.AddCookie("mine", "1");
    for (const std::string& path : {std::string("/set-cookies"), std::string(c.path)}) {
      ASSERT_EQ(client.SetURL(nginx_ + path), 0);
      ASSERT_EQ(client.Action(http::actGet), 0) << path << ": " << client.LastErrorText().str();
    }
    EXPECT_EQ(client.TransferredData(), c.answer + "\n");
  }
}

TEST_F(RealPeerTest, HttpAndHttpsThroughEveryTunnel) {
  const std::string tunnel = "ConnectionStatus Firewall connection complete. 0";
  struct Case {
    Route route;
    std::vector<std::string> lines;  // events the plain http request must show
  } cases[] = {
      {{"tinyproxy: proxy for http, CONNECT for https", 0, env_["TINYPROXY_OPEN_PORT"]}, {"Header Via: 1.1 "}},
      {{"tinyproxy: psTunnel for both", 0, env_["TINYPROXY_OPEN_PORT"], "", "", http::authBasic, http::psTunnel},
       {tunnel}},
      {{"tinyproxy: Basic proxy credentials", 0, env_["PROXY_PORT"], env_["PROXY_USER"], env_["PROXY_PASSWORD"]}, {}},
      {{"squid: Digest", 0, env_["SQUID_PORT"], env_["SQUID_USER"], env_["SQUID_PASSWORD"], http::authDigest,
        http::psTunnel},
       {tunnel}},
      // squid's fake NTLM helper sends a challenge the system package refuses
      // to decode; the own client answers it.
      {{"squid: NTLM", 0, env_["SQUID_PORT"], "TESTDOM\\tunneluser", "pw", http::authNtlm, http::psTunnel,
        "UseSystemSSPI=false"},
       {tunnel}},
      {{"dante: SOCKS 4", fwSOCKS4, env_["DANTE_PORT"], "anyone"}, {tunnel}},
      // The tunnel exchange is logged from level 2 on.
      {{"dante: SOCKS 5", fwSOCKS5, env_["DANTE_PORT"], "", "", http::authBasic, http::psAutomatic, "Loglevel=2"},
       {"Log 1 FirewallRequest 0x50x10x0", "Log 1 FirewallResponse 0x50x0"}},
      {{"microsocks: SOCKS 5 with user and password", fwSOCKS5, env_["MICROSOCKS_PORT"], env_["MICROSOCKS_USER"],
        env_["MICROSOCKS_PASSWORD"]},
       {tunnel}},
  };
  const std::string json = ReadFile(env_["NGINX_ROOT"] + "/data.json");
  const std::string tlsJson = ReadFile(env_["TLS_ROOT"] + "/data.json");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.route.name);
    Use(c.route);
    ASSERT_EQ(Get(nginxUrl_), 0) << client_.LastErrorText().str();
    EXPECT_EQ(client_.TransferredData(), json);
    // The tunnel reads its replies in lines; the HTTP reader's setting is back.
    EXPECT_EQ(client_.Lines().Terminator(), "");
    for (const std::string& line : c.lines) EXPECT_TRUE(events_.Has(line)) << line;
    ASSERT_EQ(Get(tlsUrl_), 0) << client_.LastErrorText().str();
    EXPECT_EQ(client_.TransferredData(), tlsJson);
    EXPECT_TRUE(events_.Has(tunnel));
    EXPECT_TRUE(events_.Has("ConnectionStatus SSL handshake complete. 0"));
  }
}

TEST_F(RealPeerTest, RefusedTunnelsFailWithTheirTexts) {
  struct Case {
    Route route;
    int code;
    std::string text;
    bool prefix = false;  // text is where the message starts
  } cases[] = {
      {{"Basic proxy without credentials", 0, env_["PROXY_PORT"]}, 118,
       "Firewall error. HTTP/1.0 407 Proxy Authentication Required."},
      // A user no other test signs in as: squid keeps one credential state per
      // user name, so another test's good login at the same moment can let a
      // wrong password through.
      {{"Digest with refused credentials", 0, env_["SQUID_PORT"], "nobody", "wrong", http::authDigest}, 118,
       "Firewall error after digest authentication. Expected a status code beginning with 2 but got: 407 Proxy "
       "Authentication Required"},
      // The rest of the text is the system package's own description.
      {{"Negotiate without credentials", 0, env_["SQUID_PORT"], "", "", http::authNegotiate}, 118,
       "Could not acquire security credentials (0x", true},
      {{"unknown proxy scheme", 0, env_["SQUID_PORT"], "", "", http::authOAuth}, 153,
       "Unknown proxy authentication scheme."},
      {{"SOCKS 5 server that wants a user", fwSOCKS5, env_["MICROSOCKS_PORT"]}, 118,
       "no acceptable firewall authentication methods"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.route.name);
    Use(c.route);
    EXPECT_EQ(Get(tlsUrl_), c.code);
    std::string text = client_.LastErrorText().str();
    EXPECT_EQ(c.prefix ? text.substr(0, c.text.size()) : text, c.text);
  }
}

TEST_F(RealPeerTest, EnvironmentProxyAndItsExceptions) {
  setenv("http_proxy", ("http://127.0.0.1:" + env_["TINYPROXY_OPEN_PORT"] + "/").c_str(), 1);
  setenv("HTTPS_PROXY", ("127.0.0.1:" + env_["TINYPROXY_OPEN_PORT"]).c_str(), 1);
  ASSERT_EQ(client_.SetURL(nginxUrl_), 0);
  client_.SetProxyAutoDetect(true);
  ASSERT_EQ(Get(nginxUrl_), 0) << client_.LastErrorText().str();
  EXPECT_TRUE(events_.Has("Header Via: 1.1 ")) << "went direct";
  ASSERT_EQ(Get(tlsUrl_), 0) << client_.LastErrorText().str();
  EXPECT_TRUE(events_.Has("ConnectionStatus Firewall connection complete. 0"));

  setenv("no_proxy", "localhost, 127.0.0.*", 1);
  ASSERT_EQ(Get(nginxUrl_), 0) << client_.LastErrorText().str();
  EXPECT_FALSE(events_.Has("Header Via:")) << "went through the proxy";

  // A SOCKS proxy in all_proxy is the firewall; one that wants a user proves
  // the request went there, and the exception list sends it past.
  client_.SetProxyAutoDetect(false);
  setenv("all_proxy", ("socks5://127.0.0.1:" + env_["MICROSOCKS_PORT"]).c_str(), 1);
  setenv("no_proxy", "", 1);
  ASSERT_EQ(client_.Config("FirewallAutoDetect=true"), 0);
  EXPECT_EQ(client_.Firewall().Type(), fwSOCKS5);
  EXPECT_EQ(Get(nginxUrl_), 118);
  EXPECT_EQ(client_.LastErrorText().str(), "no acceptable firewall authentication methods");
  setenv("no_proxy", "127.0.0.1", 1);
  ASSERT_EQ(Get(nginxUrl_), 0) << client_.LastErrorText().str();
  EXPECT_FALSE(events_.Has("ConnectionStatus Firewall connection complete."));
}

}  // namespace
}  // namespace corvane
