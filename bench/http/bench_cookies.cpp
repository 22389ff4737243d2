// The cookie list's cost as it grows: n distinct cookies stored (the caller's,
// which no limit refuses), server cookies past the count limit, and updates
// of a full list. Each row is the best of five runs.
// Usage: bench_cookies [N] (default 45000).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../bench_support.h"
#include "http/cookie_list.h"

namespace {

using corvane::Cookie;
using corvane::CookieList;
using corvane::bench::Best;

std::vector<Cookie> Cookies(int n, bool callerOwned) {
  std::vector<Cookie> out(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    out[static_cast<size_t>(i)].name = "session-" + std::to_string(i);
    out[static_cast<size_t>(i)].value = "v" + std::to_string(i);
    out[static_cast<size_t>(i)].path = "/";
    out[static_cast<size_t>(i)].callerOwned = callerOwned;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int n = argc > 1 ? std::atoi(argv[1]) : 45000;
  std::vector<Cookie> callers = Cookies(n, true);
  std::vector<Cookie> servers = Cookies(n, false);
  double distinct = Best(5, [&] {
    CookieList list;
    for (const Cookie& c : callers) list.Store(c);
    return list.Count() == n;
  });
  double capped = Best(5, [&] {
    CookieList list;
    for (const Cookie& c : servers) list.Store(c);
    return list.Count() == std::min(n, CookieList::kMaxServerCookies);
  });
  CookieList full;
  for (int i = 0; i < CookieList::kMaxServerCookies && i < n; ++i) full.Store(servers[static_cast<size_t>(i)]);
  double updates = Best(5, [&] {
    for (int i = 0; i < n; ++i) full.Store(servers[static_cast<size_t>(i % CookieList::kMaxServerCookies)]);
    return true;
  });
  std::printf("%d distinct caller cookies stored: %.3f s\n", n, distinct);
  std::printf("%d server cookies offered, %d kept: %.3f s\n", n, CookieList::kMaxServerCookies, capped);
  std::printf("%d updates of a full list: %.3f s\n", n, updates);
  return 0;
}
