// Drives the cookie list with arbitrary Set-Cookie values: each input line is
// one header value, parsed, stored (strictly or not, per the first byte) and
// its Expires text read as a cookie date; then the Cookie header is composed
// for a few origins and the list is pruned, renamed and shrunk.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "http/cookie_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  bool strict = (data[0] & 1) != 0;
  bool secure = (data[0] & 2) != 0;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  constexpr int64_t kNow = 1700000000;
  corvane::CookieOrigin from{"www.example.com", "/app/page?q=1", secure, kNow};
  corvane::CookieList list;
  while (!rest.empty()) {
    size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    rest = nl == std::string_view::npos ? std::string_view{} : rest.substr(nl + 1);
    corvane::Cookie c = corvane::CookieList::ParseSetCookie(line);
    int64_t when = 0;
    corvane::ParseCookieDate(c.expires, when);
    if (strict) list.StoreStrict(c, from);
    else list.Store(c);
  }
  for (const corvane::CookieOrigin& to :
       {from, corvane::CookieOrigin{"example.com", "/", false, kNow + 3600},
        corvane::CookieOrigin{"127.0.0.1", "", true, kNow}}) {
    list.HeaderValueFor(to, true);
  }
  list.HeaderValue();
  if (list.Count() > 0) list.SetName(0, "renamed");
  list.PruneServerCookies();
  list.SetCount(list.Count() / 2);
  list.Store(corvane::CookieList::ParseSetCookie("renamed=1"));
  return 0;
}
