#include "http/url.h"

#include <gtest/gtest.h>

#include <string>

#include "http/url_encoding.h"

namespace corvane::http {
namespace {

struct UrlCase {
  const char* name;
  const char* text;
  const char* scheme;
  const char* host;
  int port;
  const char* path;
  const char* user;
  const char* password;
  bool ipv6;
};

TEST(UrlParse, SplitsEveryPartOfAbsoluteUrls) {
  const UrlCase cases[] = {
      {"full", "http://u:p@h:8080/a?b=c", "http", "h", 8080, "/a?b=c", "u", "p", false},
      {"no path", "http://example.com", "http", "example.com", 80, "/", "", "", false},
      {"query without path", "http://h?x=1", "http", "h", 80, "/?x=1", "", "", false},
      {"https default", "https://h/p", "https", "h", 443, "/p", "", "", false},
      {"explicit default", "http://h:80/", "http", "h", 80, "/", "", "", false},
      {"ipv6 zone port", "https://[fe80::1%4]:8443/x", "https", "fe80::1%4", 8443, "/x", "", "", true},
      {"ipv6 no port", "http://[::1]/", "http", "::1", 80, "/", "", "", true},
      {"user only", "http://u@h/", "http", "h", 80, "/", "u", "", false},
      {"password with colon", "http://u:p:q@h:81/", "http", "h", 81, "/", "u", "p:q", false},
      {"at sign in password", "http://u:p@x@h/", "http", "h", 80, "/", "u", "p@x", false},
      {"upper-case scheme", "HTTP://H/", "HTTP", "H", 80, "/", "", "", false},
  };
  for (const UrlCase& c : cases) {
    int defaultPort = 80;
    UrlParts p = ParseURL(c.text, "/old", UrlEncoding{}, defaultPort);
    SCOPED_TRACE(c.name);
    EXPECT_EQ(p.scheme, c.scheme);
    EXPECT_EQ(p.host, c.host);
    EXPECT_EQ(p.port, c.port);
    EXPECT_EQ(p.path, c.path);
    EXPECT_EQ(p.user, c.user);
    EXPECT_EQ(p.password, c.password);
    EXPECT_EQ(p.hostIsIPv6Literal, c.ipv6);
  }
}

TEST(UrlParse, ResolvesRelativeAndAbsolutePathsAgainstCurrentPath) {
  struct Case {
    const char* current;
    const char* text;
    const char* path;
  } cases[] = {
      {"/a/b/c", "d", "/a/b/d"},
      {"/a/b/c", "./d", "/a/b/d"},
      {"/a/b/", "d?x=1", "/a/b/d?x=1"},
      {"/a/b?q=/z", "d", "/a/d"},
      {"", "d", "/d"},
      {"/a/b", "/x/y", "/x/y"},
      {"/a/b", "/", "/"},
  };
  for (const Case& c : cases) {
    int defaultPort = 80;
    UrlParts p = ParseURL(c.text, c.current, UrlEncoding{}, defaultPort);
    EXPECT_EQ(p.path, c.path) << c.current << " + " << c.text;
    EXPECT_FALSE(p.hasScheme);
    EXPECT_TRUE(p.host.empty());
  }
}

TEST(UrlResolve, KeepsMissingPartsAndFollowsSchemeDefaultPort) {
  RequestTarget cur;
  cur = ResolveTarget(cur, "http://u:p@h:8080/a?b=c", {}, true);
  EXPECT_EQ(cur.host, "h");
  EXPECT_EQ(cur.port, 8080);
  EXPECT_EQ(cur.path, "/a?b=c");
  EXPECT_EQ(cur.user, "u");

  RequestTarget rel = ResolveTarget(cur, "/next", {}, true);
  EXPECT_EQ(rel.host, "h");
  EXPECT_EQ(rel.port, 8080);
  EXPECT_EQ(rel.path, "/next");
  EXPECT_EQ(rel.user, "u");  // kept: the URL has no credentials
  EXPECT_EQ(rel.url, "/next");

  RequestTarget dropped = ResolveTarget(cur, "/next", {}, false);
  EXPECT_EQ(dropped.user, "");

  RequestTarget secure = ResolveTarget(cur, "https://s/", {}, true);
  EXPECT_EQ(secure.scheme, "https");
  EXPECT_EQ(secure.port, 443);
  EXPECT_EQ(secure.defaultPort, 443);
  EXPECT_EQ(HostHeaderValue(secure), "s");
}

TEST(UrlResolve, HostHeaderBracketsIPv6AndDropsZoneAndDefaultPort) {
  RequestTarget t = ResolveTarget(RequestTarget{}, "https://[fe80::1%4]:8443/", {}, true);
  EXPECT_EQ(HostHeaderValue(t), "[fe80::1]:8443");
  t = ResolveTarget(RequestTarget{}, "https://h:443/", {}, true);
  EXPECT_EQ(HostHeaderValue(t), "h");
  t = ResolveTarget(RequestTarget{}, "http://h:8080/", {}, true);
  EXPECT_EQ(HostHeaderValue(t), "h:8080");
}

TEST(UrlEncode, EncodesPathAndQueryAsConfigured) {
  int defaultPort = 80;
  UrlParts p = ParseURL("http://h/a b%c/d?x=/y&z=1 2", "", UrlEncoding{true, true}, defaultPort);
  EXPECT_EQ(p.path, "/a%20b%25c/d?x=%2Fy&z=1%202");
  p = ParseURL("http://h/a b?x=/y z", "", UrlEncoding{true, false}, defaultPort);
  EXPECT_EQ(p.path, "/a%20b?x=/y z");
  std::string out;
  PercentEncode("~+\x01\xff", kPathSafe, out);
  EXPECT_EQ(out, "%7E%2B%01%FF");
}

}  // namespace
}  // namespace corvane::http
