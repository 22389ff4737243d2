#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr int kErrCookieIndex = 156;  // "Invalid cookie index (out of range)."
inline constexpr char kCookieIndexMessage[] = "Invalid cookie index (out of range).";

struct Cookie {
  std::string domain;
  std::string expires;  // as received; never interpreted
  std::string name;
  std::string path;
  bool secure = false;
  std::string value;
  bool callerOwned = false;  // added by the caller, survives a host change
};

// The object's cookie list. There is no domain, path, secure or expiry
// matching: every stored cookie is sent with every request, and the list is
// pruned only when the caller moves to another host or port.
class CookieList {
 public:
  // Adds a cookie, or updates the one with the same name, domain and path
  // (compared case-insensitively), keeping its caller-owned mark.
  void Store(const Cookie& cookie);

  // Splits a Set-Cookie header value: name up to the first "=", value up to
  // the first ";", then "key[=value]" attributes of which EXPIRES, DOMAIN,
  // PATH and SECURE are kept.
  static Cookie ParseSetCookie(std::string_view headerValue);

  // Keeps only the caller's cookies (a URL change to another host or port).
  void PruneServerCookies();

  // The text after "Cookie: ": every cookie as name=value, "; " between
  // them; empty for an empty list.
  std::string HeaderValue() const;

  int Count() const { return static_cast<int>(cookies_.size()); }
  // Grows with empty cookies or drops the surplus.
  void SetCount(int count);
  bool ValidIndex(int index) const { return index >= 0 && index < Count(); }
  Cookie& at(int index) { return cookies_[static_cast<size_t>(index)]; }
  const Cookie& at(int index) const { return cookies_[static_cast<size_t>(index)]; }
  void Clear() { cookies_.clear(); }

 private:
  std::vector<Cookie> cookies_;
};

}  // namespace corvane
