#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane {

inline constexpr int kErrCookieIndex = 156;  // "Invalid cookie index (out of range)."
inline constexpr char kCookieIndexMessage[] = "Invalid cookie index (out of range).";

struct Cookie {
  std::string domain;
  std::string expires;  // as received; interpreted only in strict mode
  std::string name;
  std::string path;
  bool secure = false;
  std::string value;
  bool callerOwned = false;  // added by the caller, survives a host change
  // Strict mode only: a cookie without a Domain attribute goes back to its
  // own host alone, and the moment it expires (0: at the end of the session).
  bool hostOnly = false;
  int64_t expiresAt = 0;
  std::string maxAge;  // the Max-Age attribute as received
};

// Where a request goes (or a response came from), for strict matching.
struct CookieOrigin {
  std::string_view host;  // lower case
  std::string_view path;  // path and query as sent
  bool secure = false;    // https
  int64_t now = 0;        // seconds since 1970
};

// The object's cookie list.
//
// By default there is no domain, path, secure or expiry matching: every
// stored cookie is sent with every request, and the list is pruned only when
// the caller moves to another host or port. In strict mode (StoreStrict,
// HeaderValueFor) cookies follow RFC 6265: a cookie is stored only for a
// domain the origin may set, and sent only to matching hosts and paths, over
// https when Secure, and not after it expired.
//
// Limits on what servers can store (the caller's own cookies are never
// refused): at most kMaxServerCookies server cookies, each at most
// kMaxCookieBytes of name, value and attributes (RFC 6265 section 6.1's
// minimum capacities). A cookie beyond them is not stored; an update of a
// stored one always is.
//
// Lookups by name, domain and path go through a hash index, so storing n
// cookies costs O(n), not O(n^2).
class CookieList {
 public:
  static constexpr int kMaxServerCookies = 3000;
  static constexpr size_t kMaxCookieBytes = 4096;

  enum class StoreResult { added, updated, tooLarge, full, rejected, expired };

  // Adds a cookie, or updates the one with the same name, domain and path
  // (compared case-insensitively), keeping its caller-owned mark.
  StoreResult Store(const Cookie& cookie);
  // Strict mode: fills in the domain, path and expiry RFC 6265 section 5.3
  // derives from the origin, refuses a domain the origin may not set
  // (rejected), and removes the stored cookie instead when the new one has
  // already expired (expired).
  StoreResult StoreStrict(Cookie cookie, const CookieOrigin& origin);

  // Splits a Set-Cookie header value: name up to the first "=", value up to
  // the first ";", then "key[=value]" attributes of which EXPIRES, MAX-AGE,
  // DOMAIN, PATH and SECURE are kept.
  static Cookie ParseSetCookie(std::string_view headerValue);

  // Keeps only the caller's cookies (a URL change to another host or port).
  void PruneServerCookies();

  // The text after "Cookie: ": every cookie as name=value, "; " between
  // them; empty for an empty list.
  std::string HeaderValue() const;
  // Strict mode: only the cookies that match the origin, longest path
  // first; the caller's own cookies (which have no origin) only with
  // withCallerCookies.
  std::string HeaderValueFor(const CookieOrigin& origin, bool withCallerCookies) const;

  int Count() const { return static_cast<int>(cookies_.size()); }
  // Grows with empty cookies or drops the surplus.
  void SetCount(int count);
  bool ValidIndex(int index) const { return index >= 0 && index < Count(); }
  const Cookie& at(int index) const { return cookies_[static_cast<size_t>(index)]; }
  // The writable fields of the indexed properties (the index follows).
  void SetName(int index, std::string_view name);
  void SetValue(int index, std::string_view value);
  void Clear();

 private:
  static std::string KeyOf(const Cookie& c);
  void Reindex();

  std::vector<Cookie> cookies_;
  // Key of each cookie to its position (the first one when a renamed cookie
  // made two equal). Rebuilt when positions shift.
  std::unordered_map<std::string, size_t> index_;
  bool indexStale_ = false;
  int serverCookies_ = 0;
};

// RFC 6265 section 5.1.3: host equals domain, or ends with "." + domain and
// is not an IP address.
bool CookieDomainMatch(std::string_view host, std::string_view domain);
// RFC 6265 section 5.1.4.
bool CookiePathMatch(std::string_view requestPath, std::string_view cookiePath);
// RFC 6265 section 5.1.4's default-path of a request path (query ignored).
std::string CookieDefaultPath(std::string_view requestPath);
// RFC 6265 section 5.1.1: seconds since 1970 of a cookie date (negative
// before 1970); false when it does not parse.
bool ParseCookieDate(std::string_view text, int64_t& out);

}  // namespace corvane
