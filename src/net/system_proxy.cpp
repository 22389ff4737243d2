#include "net/system_proxy.h"

#include <cstdlib>
#include <vector>

#include "core/ascii.h"

namespace corvane {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

int LeadingNumber(std::string_view s, bool& any) noexcept {
  int v = 0;
  any = false;
  for (char c : s) {
    if (c < '0' || c > '9' || v > 100000000) break;
    v = v * 10 + (c - '0');
    any = true;
  }
  return v;
}

// "scheme://user:pw@host:port/path" -> "host:port" (the default port added
// when none is written); scheme gets the URL's scheme in lower case.
std::string ProxyAddress(std::string_view url, std::string& scheme) {
  url = TrimBlanks(url);
  scheme.clear();
  if (size_t sep = url.find("://"); sep != std::string_view::npos) {
    scheme = ToLowerAscii(url.substr(0, sep));
    url.remove_prefix(sep + 3);
  }
  url = url.substr(0, url.find('/'));
  if (size_t at = url.rfind('@'); at != std::string_view::npos) url.remove_prefix(at + 1);
  if (url.empty()) return {};
  size_t close = url.rfind(']');
  size_t colon = url.rfind(':');
  bool hasPort = colon != std::string_view::npos && (close == std::string_view::npos || colon > close);
  if (hasPort) return std::string(url);
  const char* port = scheme.rfind("socks", 0) == 0 ? "1080" : scheme == "https" ? "443" : "80";
  return std::string(url) + ":" + port;
}

// "*" stands for any run of characters (also none); every other byte must
// match itself; the whole host must be covered.
bool MatchPattern(std::string_view pattern, std::string_view text) noexcept {
  size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

SystemProxySettings ReadSystemProxySettings(const EnvironmentLookup& lookup) {
  auto get = [&](const char* lower, const char* upper) -> std::string_view {
    const char* v = lookup ? lookup(lower) : std::getenv(lower);
    if (v == nullptr || *v == '\0') v = lookup ? lookup(upper) : std::getenv(upper);
    return v != nullptr ? std::string_view(v) : std::string_view();
  };
  SystemProxySettings s;
  std::vector<std::string> entries;
  std::string scheme;
  if (std::string a = ProxyAddress(get("http_proxy", "HTTP_PROXY"), scheme); !a.empty()) {
    entries.push_back("http=" + a);
  }
  if (std::string a = ProxyAddress(get("https_proxy", "HTTPS_PROXY"), scheme); !a.empty()) {
    entries.push_back("https=" + a);
  }
  if (std::string a = ProxyAddress(get("all_proxy", "ALL_PROXY"), scheme); !a.empty()) {
    entries.push_back(scheme.rfind("socks", 0) == 0 ? "socks=" + a : a);
  }
  for (const std::string& e : entries) {
    if (!s.server.empty()) s.server += ';';
    s.server += e;
  }
  s.enabled = !s.server.empty();
  for (std::string_view entry : Split(get("no_proxy", "NO_PROXY"), ',')) {
    entry = TrimBlanks(entry);
    if (entry.empty()) continue;
    if (!s.bypass.empty()) s.bypass += ';';
    if (entry.front() == '.') s.bypass += '*';
    s.bypass.append(entry);
  }
  return s;
}

bool FindSocksProxy(std::string_view server, std::string& host, int& port) {
  size_t at = server.find("socks=");
  if (at == std::string_view::npos) return false;
  std::string_view rest = server.substr(at + 6);
  size_t colon = rest.find(':');
  if (colon == std::string_view::npos || colon + 1 >= rest.size()) return false;
  host.assign(rest.substr(0, colon));
  bool any = false;
  port = LeadingNumber(rest.substr(colon + 1), any);
  return true;
}

bool FindSchemeProxy(std::string_view server, std::string_view scheme, std::string& host, int& port) {
  std::string key = ToLowerAscii(scheme) + "=";
  for (std::string_view entry : Split(server, ';')) {
    std::string lowered = ToLowerAscii(entry);
    if (lowered.rfind(key, 0) == 0) {
      entry.remove_prefix(key.size());
    } else if (entry.find('=') != std::string_view::npos) {
      continue;
    }
    size_t colon = entry.find(':');
    host.assign(entry.substr(0, colon));
    bool any = false;
    port = colon == std::string_view::npos ? 0 : LeadingNumber(entry.substr(colon + 1), any);
    return true;
  }
  return false;
}

bool IsProxyBypassed(std::string_view bypass, std::string_view host, int port, std::string_view scheme) {
  if (bypass.empty()) return false;
  std::string schemeKey = ToLowerAscii(scheme);
  if (!schemeKey.empty() && (schemeKey.size() < 3 || schemeKey.compare(schemeKey.size() - 3, 3, "://") != 0)) {
    schemeKey += "://";
  }
  std::string lowHost = ToLowerAscii(host);
  for (std::string_view raw : Split(bypass, ';')) {
    std::string entry = ToLowerAscii(TrimBlanks(raw));
    if (entry.empty()) continue;
    if (!schemeKey.empty() && entry == schemeKey) return true;
    bool any = false;
    if (port > 0 && LeadingNumber(entry, any) == port && any) return true;
    if (lowHost.empty()) continue;
    if (entry == lowHost) return true;
    if (entry.find('*') != std::string::npos && MatchPattern(entry, lowHost)) return true;
  }
  return false;
}

}  // namespace corvane
