#include "http/cookie_list.h"

#include "core/config_item.h"

namespace corvane {

namespace {

std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

}  // namespace

void CookieList::Store(const Cookie& cookie) {
  for (Cookie& c : cookies_) {
    if (EqualsNoCase(c.name, cookie.name) && EqualsNoCase(c.domain, cookie.domain) &&
        EqualsNoCase(c.path, cookie.path)) {
      c.expires = cookie.expires;
      c.value = cookie.value;
      c.secure = cookie.secure;
      return;
    }
  }
  cookies_.push_back(cookie);
}

Cookie CookieList::ParseSetCookie(std::string_view header) {
  Cookie c;
  size_t eq = header.find('=');
  size_t semi = header.find(';');
  if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
    // A bare name: no value.
    c.name = header.substr(0, semi);
  } else {
    c.name = header.substr(0, eq);
    c.value = header.substr(eq + 1, semi == std::string_view::npos ? semi : semi - eq - 1);
  }
  std::string_view rest =
      semi == std::string_view::npos ? std::string_view{} : SkipBlanks(header.substr(semi + 1));
  while (!rest.empty()) {
    size_t end = rest.find(';');
    std::string_view attr = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    size_t aeq = attr.find('=');
    std::string_view key = attr.substr(0, aeq);
    std::string_view value = aeq == std::string_view::npos ? std::string_view{} : attr.substr(aeq + 1);
    if (EqualsNoCase(key, "EXPIRES")) c.expires = value;
    else if (EqualsNoCase(key, "DOMAIN")) c.domain = value;
    else if (EqualsNoCase(key, "PATH")) c.path = value;
    else if (EqualsNoCase(key, "SECURE")) c.secure = true;
  }
  return c;
}

void CookieList::PruneServerCookies() {
  std::erase_if(cookies_, [](const Cookie& c) { return !c.callerOwned; });
}

std::string CookieList::HeaderValue() const {
  std::string line;
  for (const Cookie& c : cookies_) {
    if (!line.empty()) line += "; ";
    line += c.name;
    line += '=';
    line += c.value;
  }
  return line;
}

void CookieList::SetCount(int count) { cookies_.resize(count < 0 ? 0 : static_cast<size_t>(count)); }

}  // namespace corvane
