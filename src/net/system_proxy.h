#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace corvane {

// The per-user proxy configuration in three values: whether a proxy is on,
// the proxy list ("host:port" for every scheme, or "scheme=host:port"
// entries joined by ";", "socks=" naming a SOCKS proxy), and the bypass list
// (entries joined by ";", "*" matching any run of characters).
struct SystemProxySettings {
  bool enabled = false;
  std::string server;
  std::string bypass;
};

// Looks up one environment variable; nullptr when unset.
using EnvironmentLookup = std::function<const char*(const char*)>;

// Builds the three values from http_proxy, https_proxy, all_proxy and
// no_proxy (lower case first, then upper case). A socks4://, socks5:// or
// socks5h:// all_proxy becomes the "socks=" entry, another all_proxy an entry
// for every scheme; a no_proxy entry with a leading dot gets "*" before it.
// Credentials and paths in the proxy URLs are dropped. lookup defaults to
// the process environment.
SystemProxySettings ReadSystemProxySettings(const EnvironmentLookup& lookup = nullptr);

// The "socks=" entry of a proxy list: host up to ":", port up to ";" (0 when
// it is not a number). False when there is none or it has no port part.
bool FindSocksProxy(std::string_view server, std::string& host, int& port);

// The first entry without "=" or beginning with scheme + "=" (scheme compared
// in lower case), split at its first ":" (port 0 when there is none). False
// when no entry applies.
bool FindSchemeProxy(std::string_view server, std::string_view scheme, std::string& host, int& port);

// Whether the bypass list names this scheme ("http://"), port (an entry's
// leading number) or host (equal, or a "*" pattern), ignoring case. host and
// scheme may be empty, port may be 0.
bool IsProxyBypassed(std::string_view bypass, std::string_view host, int port, std::string_view scheme);

}  // namespace corvane
