#include "http/cookie_list.h"

#include <gtest/gtest.h>

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
    const char* name;
    const char* value;
    const char* expires;
    const char* domain;
    const char* path;
    bool secure;
  } cases[] = {
      {"sid=abc", "sid", "abc", "", "", "", false},
      {"sid=abc; Path=/x; Domain=example.com; Secure; HttpOnly", "sid", "abc", "", "example.com",
       "/x", true},
      {"tok=YWJj==; expires=Wed, 21 Oct 2015 07:28:00 GMT", "tok", "YWJj==",
       "Wed, 21 Oct 2015 07:28:00 GMT", "", "", false},
      {"a=;path=/", "a", "", "", "", "/", false},
      {"flag", "flag", "", "", "", "", false},
      {"k=v;  \tPATH=/p;secure", "k", "v", "", "", "/p", true},
  };
  for (const auto& c : cases) {
    Cookie k = Received(c.header);
    EXPECT_EQ(k.name, c.name) << c.header;
    EXPECT_EQ(k.value, c.value) << c.header;
    EXPECT_EQ(k.expires, c.expires) << c.header;
    EXPECT_EQ(k.domain, c.domain) << c.header;
    EXPECT_EQ(k.path, c.path) << c.header;
    EXPECT_EQ(k.secure, c.secure) << c.header;
  }
}

TEST(CookieListTest, SameNameDomainAndPathIsUpdatedDifferentPathIsAdded) {
  CookieList list;
  list.Store(Received("id=1; path=/a"));
  list.Store(Received("ID=2; Path=/A"));
  list.Store(Received("id=3; path=/b"));
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.at(0).value, "2");
  EXPECT_EQ(list.HeaderValue(), "id=2; id=3");
}

TEST(CookieListTest, UpdateKeepsCallerOwnedMark) {
  CookieList list;
  list.Store(Callers("pref", "x"));
  list.Store(Received("pref=y"));
  list.PruneServerCookies();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.at(0).value, "y");
}

TEST(CookieListTest, PruneKeepsOnlyCallerCookiesInOrder) {
  CookieList list;
  list.Store(Received("s1=a"));
  list.Store(Callers("c1", "1"));
  list.Store(Received("s2=b; secure"));
  list.Store(Callers("c2", "2"));
  list.PruneServerCookies();
  EXPECT_EQ(list.HeaderValue(), "c1=1; c2=2");
}

}  // namespace
}  // namespace corvane
