#pragma once

#include <string>
#include <string_view>

namespace corvane::http {

inline constexpr std::string_view kSchemeDefault = "http";
inline constexpr std::string_view kSchemePlain = "http";
inline constexpr std::string_view kSchemeSecure = "https";

// The request target as the engine keeps it between requests.
struct RequestTarget {
  std::string url;       // the text last given, by the caller or a redirect
  std::string scheme{kSchemeDefault};
  std::string host;
  int port = 80;
  std::string path;      // path plus "?" plus query, as sent
  std::string user;
  std::string password;
  int defaultPort = 80;  // left out of Host and of absolute targets
  bool hostIsIPv6Literal = false;
};

// What one URL text says. Parts it does not carry are empty (port 0); a port
// above 65535 is -1, and so is the port of the target resolved from it.
struct UrlParts {
  std::string scheme;
  std::string host;
  int port = 0;
  std::string path;
  std::string user;
  std::string password;
  bool hasScheme = false;
  bool hasAuthority = false;
  bool hostIsIPv6Literal = false;
};

struct UrlEncoding {
  bool encode = false;       // EncodeURL for a caller's URL, EncodeRedirectLocation for a redirect
  bool encodeQuery = true;   // EncodeQueryString
};

// Parses text. A relative or absolute-path text resolves against currentPath;
// defaultPort is updated when the text names "http" or "https".
UrlParts ParseURL(std::string_view text, std::string_view currentPath, UrlEncoding encoding,
                  int& defaultPort);

// Applies a parsed URL to the current target the way SetURL does: missing
// parts keep the current values, user and password follow the URL unless the
// URL has none and keepCredentials is set. The result's url is text.
RequestTarget ResolveTarget(const RequestTarget& current, std::string_view text,
                            UrlEncoding encoding, bool keepCredentials);

// "host", "[v6]" (zone cut), plus ":port" when the port is not the default:
// the value of the Host header.
std::string HostHeaderValue(const RequestTarget& target);

}  // namespace corvane::http
