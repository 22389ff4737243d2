#include "http/cookie_list.h"

#include <algorithm>
#include <charconv>

#include "core/ascii.h"

namespace corvane {

namespace {

std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

size_t SizeOf(const Cookie& c) {
  return c.name.size() + c.value.size() + c.domain.size() + c.path.size() + c.expires.size() +
         c.maxAge.size();
}

bool IsIpAddress(std::string_view host) {
  if (host.find(':') != std::string_view::npos) return true;  // IPv6
  return !host.empty() &&
         std::all_of(host.begin(), host.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

bool Expired(const Cookie& c, int64_t now) { return c.expiresAt != 0 && c.expiresAt <= now; }

}  // namespace

std::string CookieList::KeyOf(const Cookie& c) {
  std::string key = Lower(c.name);
  key += '\0';
  key += Lower(c.domain);
  key += '\0';
  key += Lower(c.path);
  return key;
}

void CookieList::Reindex() {
  index_.clear();
  serverCookies_ = 0;
  for (size_t i = 0; i < cookies_.size(); ++i) {
    index_.try_emplace(KeyOf(cookies_[i]), i);
    if (!cookies_[i].callerOwned) ++serverCookies_;
  }
  indexStale_ = false;
}

CookieList::StoreResult CookieList::Store(const Cookie& cookie) {
  if (indexStale_) Reindex();
  std::string key = KeyOf(cookie);
  if (auto it = index_.find(key); it != index_.end()) {
    Cookie& c = cookies_[it->second];
    if (!cookie.callerOwned && SizeOf(cookie) > kMaxCookieBytes) return StoreResult::tooLarge;
    c.expires = cookie.expires;
    c.maxAge = cookie.maxAge;
    c.expiresAt = cookie.expiresAt;
    c.hostOnly = cookie.hostOnly;
    c.value = cookie.value;
    c.secure = cookie.secure;
    return StoreResult::updated;
  }
  if (!cookie.callerOwned) {
    if (SizeOf(cookie) > kMaxCookieBytes) return StoreResult::tooLarge;
    if (serverCookies_ >= kMaxServerCookies) return StoreResult::full;
    ++serverCookies_;
  }
  index_.emplace(std::move(key), cookies_.size());
  cookies_.push_back(cookie);
  return StoreResult::added;
}

CookieList::StoreResult CookieList::StoreStrict(Cookie c, const CookieOrigin& origin) {
  // Max-Age wins over Expires (RFC 6265 section 5.3 step 3).
  c.expiresAt = 0;
  if (!c.maxAge.empty()) {
    long long seconds = 0;
    std::string_view m = c.maxAge;
    bool negative = !m.empty() && m.front() == '-';
    if (negative) m.remove_prefix(1);
    auto [end, ec] = std::from_chars(m.data(), m.data() + m.size(), seconds);
    if (ec == std::errc::result_out_of_range) seconds = INT64_MAX / 4;
    if (ec == std::errc{} || ec == std::errc::result_out_of_range) {
      if (end == m.data() + m.size()) {
        // Zero or below: already expired (the earliest representable time).
        c.expiresAt = (negative || seconds == 0) ? 1 : origin.now + std::min<long long>(seconds, INT64_MAX / 4);
      }
    }
  }
  if (c.expiresAt == 0 && !c.expires.empty()) {
    // A date at or before 1970 is as expired as any past one.
    if (int64_t t = 0; ParseCookieDate(c.expires, t)) c.expiresAt = t <= 0 ? 1 : t;
  }
  std::string domain = Lower(c.domain);
  if (!domain.empty() && domain.front() == '.') domain.erase(0, 1);
  if (domain.empty()) {
    c.hostOnly = true;
    c.domain = origin.host;
  } else {
    if (!CookieDomainMatch(origin.host, domain)) return StoreResult::rejected;
    c.hostOnly = false;
    c.domain = domain;
  }
  if (c.path.empty() || c.path.front() != '/') c.path = CookieDefaultPath(origin.path);
  c.callerOwned = false;
  if (Expired(c, origin.now)) {
    if (indexStale_) Reindex();
    if (auto it = index_.find(KeyOf(c)); it != index_.end()) {
      cookies_.erase(cookies_.begin() + static_cast<ptrdiff_t>(it->second));
      indexStale_ = true;
    }
    return StoreResult::expired;
  }
  return Store(c);
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
    else if (EqualsNoCase(key, "MAX-AGE")) c.maxAge = value;
    else if (EqualsNoCase(key, "DOMAIN")) c.domain = value;
    else if (EqualsNoCase(key, "PATH")) c.path = value;
    else if (EqualsNoCase(key, "SECURE")) c.secure = true;
  }
  return c;
}

void CookieList::PruneServerCookies() {
  std::erase_if(cookies_, [](const Cookie& c) { return !c.callerOwned; });
  indexStale_ = true;
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

std::string CookieList::HeaderValueFor(const CookieOrigin& origin, bool withCallerCookies) const {
  std::vector<const Cookie*> chosen;
  for (const Cookie& c : cookies_) {
    if (c.callerOwned) {
      if (!withCallerCookies) continue;
    } else {
      if (c.hostOnly ? !EqualsNoCase(origin.host, c.domain) : !CookieDomainMatch(origin.host, c.domain)) continue;
      if (!CookiePathMatch(origin.path, c.path)) continue;
      if (c.secure && !origin.secure) continue;
      if (Expired(c, origin.now)) continue;
    }
    chosen.push_back(&c);
  }
  // RFC 6265 section 5.4 step 2: longer paths first, else stored order.
  std::stable_sort(chosen.begin(), chosen.end(),
                   [](const Cookie* a, const Cookie* b) { return a->path.size() > b->path.size(); });
  std::string line;
  for (const Cookie* c : chosen) {
    if (!line.empty()) line += "; ";
    line += c->name;
    line += '=';
    line += c->value;
  }
  return line;
}

void CookieList::SetCount(int count) {
  cookies_.resize(count < 0 ? 0 : static_cast<size_t>(count));
  indexStale_ = true;
}

void CookieList::SetName(int index, std::string_view name) {
  cookies_[static_cast<size_t>(index)].name = name;
  indexStale_ = true;
}

void CookieList::SetValue(int index, std::string_view value) {
  cookies_[static_cast<size_t>(index)].value = value;
}

void CookieList::Clear() {
  cookies_.clear();
  index_.clear();
  serverCookies_ = 0;
  indexStale_ = false;
}

bool CookieDomainMatch(std::string_view host, std::string_view domain) {
  if (domain.empty()) return false;
  if (EqualsNoCase(host, domain)) return true;
  if (host.size() <= domain.size() || IsIpAddress(host)) return false;
  return host[host.size() - domain.size() - 1] == '.' &&
         EqualsNoCase(host.substr(host.size() - domain.size()), domain);
}

bool CookiePathMatch(std::string_view requestPath, std::string_view cookiePath) {
  std::string_view path = requestPath.substr(0, requestPath.find_first_of("?#"));
  if (path.empty()) path = "/";
  if (path == cookiePath) return true;
  if (path.size() <= cookiePath.size() || path.substr(0, cookiePath.size()) != cookiePath) return false;
  return cookiePath.back() == '/' || path[cookiePath.size()] == '/';
}

std::string CookieDefaultPath(std::string_view requestPath) {
  std::string_view path = requestPath.substr(0, requestPath.find_first_of("?#"));
  if (path.empty() || path.front() != '/') return "/";
  size_t slash = path.rfind('/');
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

bool ParseCookieDate(std::string_view text, int64_t& out) {
  // Tokens are runs of non-delimiters; the first token of each kind wins.
  auto isDelimiter = [](unsigned char c) {
    return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) ||
           (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
  };
  auto leadingDigits = [](std::string_view t, size_t min, size_t max, int& out) {
    size_t n = 0;
    while (n < t.size() && t[n] >= '0' && t[n] <= '9') ++n;
    if (n < min || n > max) return false;
    out = 0;
    for (size_t i = 0; i < n; ++i) out = out * 10 + (t[i] - '0');
    return n == t.size() || !(t[n] >= '0' && t[n] <= '9');
  };
  static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
  bool haveTime = false, haveDay = false, haveMonth = false, haveYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isDelimiter(static_cast<unsigned char>(text[i]))) ++i;
    size_t start = i;
    while (i < text.size() && !isDelimiter(static_cast<unsigned char>(text[i]))) ++i;
    std::string_view token = text.substr(start, i - start);
    if (token.empty()) continue;
    if (!haveTime) {
      size_t c1 = token.find(':');
      size_t c2 = c1 == std::string_view::npos ? c1 : token.find(':', c1 + 1);
      if (c2 != std::string_view::npos && leadingDigits(token.substr(0, c1), 1, 2, hour) &&
          token.substr(0, c1).size() <= 2 &&
          leadingDigits(token.substr(c1 + 1, c2 - c1 - 1), 1, 2, minute) &&
          token.substr(c1 + 1, c2 - c1 - 1).size() <= 2 && leadingDigits(token.substr(c2 + 1), 1, 2, second)) {
        haveTime = true;
        continue;
      }
    }
    if (!haveDay && leadingDigits(token, 1, 2, day)) {
      haveDay = true;
      continue;
    }
    if (!haveMonth && token.size() >= 3) {
      std::string m = Lower(token.substr(0, 3));
      for (int k = 0; k < 12; ++k) {
        if (m == kMonths[k]) {
          month = k + 1;
          haveMonth = true;
        }
      }
      if (haveMonth) continue;
    }
    if (!haveYear && leadingDigits(token, 2, 4, year)) {
      haveYear = true;
      continue;
    }
  }
  if (haveYear && year >= 70 && year <= 99) year += 1900;
  if (haveYear && year >= 0 && year <= 69) year += 2000;
  if (!haveTime || !haveDay || !haveMonth || !haveYear) return false;
  if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59) return false;
  // Days from 1970-01-01 of a proleptic Gregorian date (the usual days-from-civil arithmetic).
  int y = year - (month <= 2 ? 1 : 0);
  int era = (y >= 0 ? y : y - 399) / 400;
  int yoe = y - era * 400;
  int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t days = static_cast<int64_t>(era) * 146097 + doe - 719468;
  out = days * 86400 + hour * 3600 + minute * 60 + second;
  return true;
}

}  // namespace corvane
