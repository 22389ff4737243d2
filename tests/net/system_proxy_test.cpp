#include "net/system_proxy.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace corvane {
namespace {

SystemProxySettings FromEnvironment(const std::map<std::string, std::string>& env) {
  return ReadSystemProxySettings([&](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  });
}

TEST(SystemProxy, EnvironmentBuildsTheThreeValues) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> env;
    bool enabled;
    std::string server;
    std::string bypass;
  } cases[] = {
      {"nothing set", {}, false, "", ""},
      {"all three kinds", {{"http_proxy", "http://p1:3128/"}, {"https_proxy", "http://user:pw@p2:8080"},
                           {"all_proxy", "socks5h://s:1081"}, {"no_proxy", "localhost, .example.com,,10.0.0.1"}},
       true, "http=p1:3128;https=p2:8080;socks=s:1081", "localhost;*.example.com;10.0.0.1"},
      {"upper case names, default ports", {{"HTTP_PROXY", "proxy"}, {"ALL_PROXY", "socks4://s"}}, true,
       "http=proxy:80;socks=s:1080", ""},
      {"lower case wins", {{"http_proxy", "a:1"}, {"HTTP_PROXY", "b:2"}}, true, "http=a:1", ""},
      {"an http all_proxy applies to every scheme", {{"all_proxy", "http://any:3128"}}, true, "any:3128", ""},
      {"bypass alone enables nothing", {{"no_proxy", "*"}}, false, "", "*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SystemProxySettings s = FromEnvironment(c.env);
    EXPECT_EQ(s.enabled, c.enabled);
    EXPECT_EQ(s.server, c.server);
    EXPECT_EQ(s.bypass, c.bypass);
  }
}

TEST(SystemProxy, EntriesForSchemesAndSocks) {
  std::string host;
  int port = -1;
  ASSERT_TRUE(FindSocksProxy("http=h:1;https=t:2;socks=s.example:1080;x=y", host, port));
  EXPECT_EQ(host, "s.example");
  EXPECT_EQ(port, 1080);
  EXPECT_FALSE(FindSocksProxy("http=h:1", host, port));
  EXPECT_FALSE(FindSocksProxy("socks=s", host, port));
  EXPECT_FALSE(FindSocksProxy("socks=s:", host, port));

  struct Case {
    std::string server, scheme;
    bool found;
    std::string host;
    int port;
  } cases[] = {
      {"http=h:1;https=t:2;socks=s:3", "https", true, "t", 2},
      {"http=h:1;https=t:2", "HTTP", true, "h", 1},
      {"one:8080", "https", true, "one", 8080},
      {"socks=s:3;all:9", "http", true, "all", 9},
      {"http=h", "http", true, "h", 0},
      {"https=t:2", "http", false, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.server + " " + c.scheme);
    host.clear();
    port = -1;
    ASSERT_EQ(FindSchemeProxy(c.server, c.scheme, host, port), c.found);
    if (!c.found) continue;
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(port, c.port);
  }
}

TEST(SystemProxy, BypassRules) {
  struct Case {
    const char* bypass;
    const char* host;
    int port;
    const char* scheme;
    bool bypassed;
  } cases[] = {
      {"*.example.com", "www.example.com", 80, "http", true},
      {"*.example.com", "example.com", 80, "", false},
      {"*.example.com", "www.example.com.evil", 80, "", false},
      {"*.example.com", "wwwexample.com", 80, "", false},
      {"WWW.Example.COM", "www.example.com", 0, "", true},
      {" ; host ; ", "host", 0, "", true},
      {"10.*.1", "10.0.0.1", 0, "", true},
      {"a*b*c", "axxbyyc", 0, "", true},
      {"a*b*c", "acb", 0, "", false},
      {"*", "anything", 0, "", true},
      {"http://", "h", 0, "http", true},
      {"http://", "h", 0, "HTTP://", true},
      {"http://", "h", 0, "https", false},
      {"8080", "h", 8080, "", true},
      {"8080", "h", 80, "", false},
      {"", "h", 80, "http", false},
      {"other", "", 0, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.bypass) + " / " + c.host);
    EXPECT_EQ(IsProxyBypassed(c.bypass, c.host, c.port, c.scheme), c.bypassed);
  }
}

}  // namespace
}  // namespace corvane
