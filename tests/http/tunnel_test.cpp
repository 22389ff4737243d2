// Requests through real proxies and SOCKS servers (tests/servers/tunnels and
// tests/servers/proxy): http and https URLs through every tunnel type, the
// failures a caller meets, and the proxy taken from the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "http/event_recorder.h"
#include "http/http_client.h"
#include "support/python_server.h"
#include "support/servers.h"

namespace corvane {
namespace {

using testing::ReadFile;

// Sets the proxy variables for one test and removes them again.
class ScopedEnvironment {
 public:
  ScopedEnvironment() { Clear(); }
  ~ScopedEnvironment() { Clear(); }
  void Set(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

 private:
  static void Clear() {
    for (const char* n : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                          "ALL_PROXY", "NO_PROXY"}) {
      unsetenv(n);
    }
  }
};

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

class TunnelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_.SetEventSink(&events_);
    client_.SetTimeout(15);
  }
  int Get(const std::string& url) {
    events_.events.clear();
    if (int rc = client_.SetURL(url); rc != 0) return rc;
    return client_.Action(http::actGet);
  }
  void UseProxy(const std::string& port) {
    client_.ProxyServer() = "127.0.0.1";
    client_.ProxyPort() = std::stoi(port);
  }
  void Use(const Route& r) {
    client_.Action(http::actReset);
    client_.SetLogLevel(1);
    client_.ProxyServer().clear();
    client_.SetProxyAuthScheme(r.proxyScheme);
    client_.ProxySSL() = r.proxySsl;
    ASSERT_EQ(client_.Config("FirewallType=" + std::to_string(r.firewall)), 0);
    if (r.firewall == 0) {
      UseProxy(r.port);
      if (!r.user.empty()) client_.SetProxyUser(r.user);
      if (!r.password.empty()) client_.SetProxyPassword(r.password);
    } else {
      for (const std::string& s : {std::string("FirewallHost=127.0.0.1"), "FirewallPort=" + r.port, "FirewallUser=" + r.user,
                                   "FirewallPassword=" + r.password}) {
        ASSERT_EQ(client_.Config(s), 0) << s;
      }
    }
    if (*r.config) {
      ASSERT_EQ(client_.Config(r.config), 0) << r.config;
    }
  }
  HttpClient client_;
  testing::EventRecorder events_;
};

TEST_F(TunnelTest, HttpAndHttpsThroughEveryTunnel) {
  CORVANE_SERVER_SETTING(nginxPort, "CORVANE_NGINX_PORT");
  CORVANE_SERVER_SETTING(nginxRoot, "CORVANE_NGINX_ROOT");
  CORVANE_SERVER_SETTING(tlsPort, "CORVANE_TLS_VALID_PORT");
  CORVANE_SERVER_SETTING(tlsRoot, "CORVANE_TLS_ROOT");
  CORVANE_SERVER_SETTING(openPort, "CORVANE_TINYPROXY_OPEN_PORT");
  CORVANE_SERVER_SETTING(basicPort, "CORVANE_PROXY_PORT");
  CORVANE_SERVER_SETTING(basicUser, "CORVANE_PROXY_USER");
  CORVANE_SERVER_SETTING(basicPassword, "CORVANE_PROXY_PASSWORD");
  CORVANE_SERVER_SETTING(squidPort, "CORVANE_SQUID_PORT");
  CORVANE_SERVER_SETTING(squidUser, "CORVANE_SQUID_USER");
  CORVANE_SERVER_SETTING(squidPassword, "CORVANE_SQUID_PASSWORD");
  CORVANE_SERVER_SETTING(dantePort, "CORVANE_DANTE_PORT");
  CORVANE_SERVER_SETTING(microPort, "CORVANE_MICROSOCKS_PORT");
  CORVANE_SERVER_SETTING(microUser, "CORVANE_MICROSOCKS_USER");
  CORVANE_SERVER_SETTING(microPassword, "CORVANE_MICROSOCKS_PASSWORD");
  const std::string tunnel = "ConnectionStatus Firewall connection complete. 0";
  struct Case {
    Route route;
    std::vector<std::string> lines;  // events the plain http request must show
  } cases[] = {
      {{"tinyproxy: proxy for http, CONNECT for https", 0, openPort}, {}},
      {{"tinyproxy: psTunnel for both", 0, openPort, "", "", http::authBasic, http::psTunnel}, {tunnel}},
      {{"tinyproxy: Basic proxy credentials", 0, basicPort, basicUser, basicPassword}, {}},
      {{"squid: Digest", 0, squidPort, squidUser, squidPassword, http::authDigest, http::psTunnel}, {tunnel}},
      // squid's fake NTLM helper sends a challenge the system package refuses
      // to decode; the own client answers it.
      {{"squid: NTLM", 0, squidPort, "TESTDOM\\tunneluser", "pw", http::authNtlm, http::psTunnel,
        "UseSystemSSPI=false"},
       {tunnel}},
      {{"caller's own CONNECT firewall", fwTunnel, openPort}, {tunnel}},
      {{"dante: SOCKS 4", fwSOCKS4, dantePort, "anyone"}, {tunnel}},
      // The tunnel exchange is logged from level 2 on.
      {{"dante: SOCKS 5", fwSOCKS5, dantePort, "", "", http::authBasic, http::psAutomatic, "Loglevel=2"},
       {"Log 1 FirewallRequest 0x50x10x0", "Log 1 FirewallResponse 0x50x0"}},
      {{"microsocks: SOCKS 5 with user and password", fwSOCKS5, microPort, microUser, microPassword}, {tunnel}},
  };
  const std::string json = ReadFile(nginxRoot + "/data.json");
  const std::string tlsJson = ReadFile(tlsRoot + "/data.json");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.route.name);
    Use(c.route);
    ASSERT_EQ(Get("http://127.0.0.1:" + nginxPort + "/data.json"), 0) << client_.LastErrorText().str();
    EXPECT_EQ(client_.TransferredData(), json);
    // The tunnel reads its replies in lines; the HTTP reader's setting is back.
    EXPECT_EQ(client_.Lines().Terminator(), "");
    for (const std::string& line : c.lines) EXPECT_TRUE(events_.Has(line)) << line;
    ASSERT_EQ(Get("https://127.0.0.1:" + tlsPort + "/data.json"), 0) << client_.LastErrorText().str();
    EXPECT_EQ(client_.TransferredData(), tlsJson);
    EXPECT_TRUE(events_.Has(tunnel));
    EXPECT_TRUE(events_.Has("ConnectionStatus SSL handshake complete. 0"));
  }
}

TEST_F(TunnelTest, RefusedTunnelsFailWithTheirTexts) {
  CORVANE_SERVER_SETTING(tlsPort, "CORVANE_TLS_VALID_PORT");
  CORVANE_SERVER_SETTING(basicPort, "CORVANE_PROXY_PORT");
  CORVANE_SERVER_SETTING(squidPort, "CORVANE_SQUID_PORT");
  CORVANE_SERVER_SETTING(squidUser, "CORVANE_SQUID_USER");
  CORVANE_SERVER_SETTING(microPort, "CORVANE_MICROSOCKS_PORT");
  struct Case {
    Route route;
    int code;
    std::string text;
    bool prefix = false;  // text is where the message starts
  } cases[] = {
      {{"Basic proxy without credentials", 0, basicPort}, 118,
       "Firewall error. HTTP/1.0 407 Proxy Authentication Required."},
      {{"Digest with a wrong password", 0, squidPort, squidUser, "wrong", http::authDigest}, 118,
       "Firewall error after digest authentication. Expected a status code beginning with 2 but got: 407 Proxy "
       "Authentication Required"},
      // The rest of the text is the system package's own description.
      {{"Negotiate without credentials", 0, squidPort, "", "", http::authNegotiate}, 118,
       "Could not acquire security credentials (0x", true},
      {{"unknown proxy scheme", 0, squidPort, "", "", http::authOAuth}, 153, "Unknown proxy authentication scheme."},
      {{"SOCKS 5 server that wants a user", fwSOCKS5, microPort}, 118, "no acceptable firewall authentication methods"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.route.name);
    Use(c.route);
    EXPECT_EQ(Get("https://127.0.0.1:" + tlsPort + "/data.json"), c.code);
    std::string text = client_.LastErrorText().str();
    EXPECT_EQ(c.prefix ? text.substr(0, c.text.size()) : text, c.text);
  }
}

TEST_F(TunnelTest, ProxySSLChoosesBetweenTheProxyAndATunnel) {
  testing::PythonServer proxy(testing::TestsPath("http/scripted_server.py"));
  ASSERT_GT(proxy.port(), 0);
  UseProxy(std::to_string(proxy.port()));
  struct Case {
    int mode;
    const char* url;
    const char* requestLine;
  } cases[] = {
      {http::psAutomatic, "http://origin.test/echo", "GET http://origin.test/echo HTTP/1.1\r\nHost: origin.test\r\n"},
      {http::psNever, "https://origin.test/echo", "GET https://origin.test/echo HTTP/1.1\r\nHost: origin.test\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    client_.ProxySSL() = c.mode;
    ASSERT_EQ(Get(c.url), 0) << client_.LastErrorText().str();
    EXPECT_EQ(client_.TransferredData().substr(0, std::string_view(c.requestLine).size()), c.requestLine);
  }
  // psTunnel sends an http URL through CONNECT as well; this peer is no proxy.
  client_.ProxySSL() = http::psTunnel;
  EXPECT_EQ(Get("http://origin.test/echo"), 118);
  EXPECT_EQ(client_.LastErrorText().str().substr(0, 16), "Firewall error. ");
}

TEST_F(TunnelTest, EnvironmentProxyAndItsExceptions) {
  CORVANE_SERVER_SETTING(nginxPort, "CORVANE_NGINX_PORT");
  CORVANE_SERVER_SETTING(tlsPort, "CORVANE_TLS_VALID_PORT");
  CORVANE_SERVER_SETTING(openPort, "CORVANE_TINYPROXY_OPEN_PORT");
  CORVANE_SERVER_SETTING(microPort, "CORVANE_MICROSOCKS_PORT");
  ScopedEnvironment env;
  env.Set("http_proxy", "http://127.0.0.1:" + openPort + "/");
  env.Set("HTTPS_PROXY", "127.0.0.1:" + openPort);
  const std::string url = "http://127.0.0.1:" + nginxPort + "/data.json";

  ASSERT_EQ(client_.SetURL(url), 0);
  client_.SetProxyAutoDetect(true);
  ASSERT_EQ(Get(url), 0) << client_.LastErrorText().str();
  EXPECT_TRUE(events_.Has("Header Via: 1.1 ")) << "went direct";
  ASSERT_EQ(Get("https://127.0.0.1:" + tlsPort + "/data.json"), 0) << client_.LastErrorText().str();
  EXPECT_TRUE(events_.Has("ConnectionStatus Firewall connection complete. 0"));

  env.Set("no_proxy", "localhost, 127.0.0.*");
  ASSERT_EQ(Get(url), 0) << client_.LastErrorText().str();
  EXPECT_FALSE(events_.Has("Header Via:")) << "went through the proxy";

  // A SOCKS proxy in all_proxy is the firewall; one that wants a user proves
  // the request went there, and the exception list sends it past.
  client_.SetProxyAutoDetect(false);
  env.Set("all_proxy", "socks5://127.0.0.1:" + microPort);
  env.Set("no_proxy", "");
  ASSERT_EQ(client_.Config("FirewallAutoDetect=true"), 0);
  EXPECT_EQ(client_.Firewall().Type(), fwSOCKS5);
  EXPECT_EQ(Get(url), 118);
  EXPECT_EQ(client_.LastErrorText().str(), "no acceptable firewall authentication methods");
  env.Set("no_proxy", "127.0.0.1");
  ASSERT_EQ(Get(url), 0) << client_.LastErrorText().str();
  EXPECT_FALSE(events_.Has("ConnectionStatus Firewall connection complete."));
}

}  // namespace
}  // namespace corvane
