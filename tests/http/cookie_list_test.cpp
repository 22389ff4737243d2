#include "http/cookie_list.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

Cookie Received(std::string_view header) { return CookieList::ParseSetCookie(header); }

Cookie Callers(const char* name, const char* value) {
  Cookie c;
  c.name = name;
  c.value = value;
  c.callerOwned = true;
  return c;
}

TEST(CookieListTest, SetCookieHeaderSplitsNameValueAndKnownAttributes) {
  struct {
    const char* header;
    const char* parts;  // name=value|expires|domain|path|secure
  } cases[] = {
      {"sid=abc", "sid=abc||||0"},
      {"sid=abc; Path=/x; Domain=example.com; Secure; HttpOnly", "sid=abc||example.com|/x|1"},
      {"tok=YWJj==; expires=Wed, 21 Oct 2015 07:28:00 GMT", "tok=YWJj==|Wed, 21 Oct 2015 07:28:00 GMT|||0"},
      {"a=;path=/", "a=|||/|0"},
      {"flag", "flag=||||0"},
      {"k=v;  \tPATH=/p;secure", "k=v|||/p|1"},
  };
  for (const auto& c : cases) {
    Cookie k = Received(c.header);
    EXPECT_EQ(k.name + "=" + k.value + "|" + k.expires + "|" + k.domain + "|" + k.path + "|" + (k.secure ? "1" : "0"),
              c.parts);
  }
}

TEST(CookieListTest, StoreUpdatesTheSameCookieAndRefusesServerCookiesBeyondTheLimits) {
  CookieList list;
  list.Store(Received("id=1; path=/a"));
  EXPECT_EQ(list.Store(Received("ID=2; Path=/A")), CookieList::StoreResult::updated);
  EXPECT_EQ(list.Store(Received("id=3; path=/b")), CookieList::StoreResult::added);
  // An update keeps the caller's mark; a renamed cookie is found by its new name.
  list.Store(Callers("pref", "x"));
  list.Store(Received("pref=y"));
  list.SetName(0, "b");
  EXPECT_EQ(list.Store(Received("B=4; path=/a")), CookieList::StoreResult::updated);
  EXPECT_EQ(list.HeaderValue(), "b=4; id=3; pref=y");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_TRUE(list.at(2).callerOwned);
  list.PruneServerCookies();
  EXPECT_EQ(list.HeaderValue(), "pref=y");

  CookieList full;
  std::string big(CookieList::kMaxCookieBytes, 'v');
  EXPECT_EQ(full.Store(Received("big=" + big)), CookieList::StoreResult::tooLarge);
  for (int i = 0; i < CookieList::kMaxServerCookies; ++i) {
    ASSERT_EQ(full.Store(Received("n" + std::to_string(i) + "=x")), CookieList::StoreResult::added);
  }
  EXPECT_EQ(full.Store(Received("one-more=x")), CookieList::StoreResult::full);
  EXPECT_EQ(full.Store(Received("n0=4")), CookieList::StoreResult::updated);
  // The caller's own cookies are the caller's business: never refused.
  EXPECT_EQ(full.Store(Callers("mine", "1")), CookieList::StoreResult::added);
  full.PruneServerCookies();
  EXPECT_EQ(full.Store(Received("again=1")), CookieList::StoreResult::added);
  EXPECT_EQ(full.HeaderValue(), "mine=1; again=1");
}

TEST(CookieListTest, CookieDatesParseTheFormsServersSend) {
  struct {
    const char* text;
    bool ok;
    int64_t seconds;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", true, 784111777},   // RFC 9110 IMF-fixdate
      {"Sunday, 06-Nov-94 08:49:37 GMT", true, 784111777},  // RFC 850 form
      {"Sun Nov  6 08:49:37 1994", true, 784111777},        // asctime form
      {"Wed, 21 Oct 2015 07:28:00 GMT", true, 1445412480},
      {"Thu, 01 Jan 1970 00:00:00 GMT", true, 0},
      {"Wed, 31 Dec 1969 23:59:59 GMT", true, -1},
      {"06 nov 2069 8:9:7", true, 3150950947},  // two-digit year below 70 is 20xx
      {"not a date", false, 0},
      {"Sun, 06 Nov 1994", false, 0},               // no time
      {"Sun, 32 Nov 1994 08:49:37 GMT", false, 0},  // no such day
      {"Sun, 06 Nov 1600 08:49:37 GMT", false, 0},  // before 1601
      {"Sun, 06 Nov 1994 24:00:00 GMT", false, 0},
  };
  for (const auto& c : cases) {
    int64_t t = 0;
    EXPECT_EQ(ParseCookieDate(c.text, t), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(t, c.seconds) << c.text;
    }
  }
}

TEST(CookieListTest, DomainAndPathMatchingFollowRfc6265) {
  struct {
    const char* host;
    const char* domain;
    bool match;
  } domains[] = {
      {"www.example.com", "example.com", true},   {"example.com", "example.com", true},
      {"WWW.Example.COM", "example.com", true},   {"badexample.com", "example.com", false},
      {"example.com", "www.example.com", false},  {"10.0.0.1", "0.0.1", false},
      {"10.0.0.1", "10.0.0.1", true},             {"example.com", "", false},
  };
  for (const auto& d : domains) EXPECT_EQ(CookieDomainMatch(d.host, d.domain), d.match) << d.host << " " << d.domain;
  struct {
    const char* request;
    const char* cookie;
    bool match;
  } paths[] = {
      {"/docs/a", "/docs", true},  {"/docs", "/docs", true},    {"/docsx", "/docs", false},
      {"/docs/a", "/docs/", true}, {"/", "/docs", false},       {"/docs?x=/", "/docs", true},
      {"", "/", true},             {"/Docs/a", "/docs", false},
  };
  for (const auto& p : paths) EXPECT_EQ(CookiePathMatch(p.request, p.cookie), p.match) << p.request << " " << p.cookie;
  struct {
    const char* request;
    const char* path;
  } defaults[] = {{"/a/b/c", "/a/b"}, {"/a", "/"}, {"", "/"}, {"/a/b/?q=/x/y", "/a/b"}, {"x", "/"}};
  for (const auto& d : defaults) EXPECT_EQ(CookieDefaultPath(d.request), d.path) << d.request;
}

TEST(CookieListTest, StrictStoreAndSendFollowOriginPathSecureAndExpiry) {
  constexpr int64_t kNow = 1700000000;  // 2023-11-14
  CookieOrigin from{"www.example.com", "/app/page?x=1", true, kNow};
  CookieList list;
  struct {
    const char* header;
    CookieList::StoreResult result;
  } stored[] = {
      {"host=1", CookieList::StoreResult::added},                      // host-only, path /app
      {"wide=2; Domain=.Example.com; Path=/", CookieList::StoreResult::added},
      {"safe=3; Secure; Path=/", CookieList::StoreResult::added},
      {"aged=4; Max-Age=60; Path=/", CookieList::StoreResult::added},
      {"old=5; Expires=Sun, 06 Nov 1994 08:49:37 GMT", CookieList::StoreResult::expired},
      {"other=6; Domain=other.org", CookieList::StoreResult::rejected},
      {"sub=7; Domain=deep.www.example.com", CookieList::StoreResult::rejected},
      {"later=8; Max-Age=10; Expires=Sun, 06 Nov 1994 08:49:37 GMT; Path=/", CookieList::StoreResult::added},
  };
  for (const auto& c : stored) EXPECT_EQ(list.StoreStrict(Received(c.header), from), c.result) << c.header;
  list.Store(Callers("mine", "0"));
  struct {
    const char* name;
    CookieOrigin to;
    bool withCallerCookies;
    const char* header;
  } sent[] = {
      {"same origin, same path", {"www.example.com", "/app/x", true, kNow}, true,
       "host=1; wide=2; safe=3; aged=4; later=8; mine=0"},
      {"other path", {"www.example.com", "/", true, kNow}, true, "wide=2; safe=3; aged=4; later=8; mine=0"},
      {"plain http", {"www.example.com", "/app/", false, kNow}, true, "host=1; wide=2; aged=4; later=8; mine=0"},
      {"sibling host", {"api.example.com", "/app/", true, kNow}, true, "wide=2; mine=0"},
      {"after expiry", {"www.example.com", "/", true, kNow + 61}, true, "wide=2; safe=3; mine=0"},
      {"foreign host, redirected", {"evil.org", "/app/", true, kNow}, false, ""},
  };
  for (const auto& c : sent) EXPECT_EQ(list.HeaderValueFor(c.to, c.withCallerCookies), c.header) << c.name;
  // An already expired cookie deletes the stored one.
  EXPECT_EQ(list.StoreStrict(Received("wide=; Domain=example.com; Path=/; Max-Age=0"), from),
            CookieList::StoreResult::expired);
  EXPECT_EQ(list.HeaderValueFor({"www.example.com", "/", true, kNow}, false), "safe=3; aged=4; later=8");
}

}  // namespace
}  // namespace corvane
