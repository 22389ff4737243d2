#include "http/url.h"

#include "core/config_item.h"
#include "http/url_encoding.h"

namespace corvane::http {

namespace {

int ParsePort(std::string_view s) {
  int port = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    port = port * 10 + (c - '0');
    // Taken modulo 65536 it would reach some other service; refused instead.
    if (port > 65535) return -1;
  }
  return port;
}

void ParseAuthority(std::string_view authority, UrlParts& out) {
  // user:password@ comes first; the last "@" ends it, so a password may hold "@".
  size_t at = authority.rfind('@');
  std::string_view hostPort = authority;
  if (at != std::string_view::npos) {
    std::string_view userInfo = authority.substr(0, at);
    hostPort = authority.substr(at + 1);
    size_t colon = userInfo.find(':');
    out.user = std::string(userInfo.substr(0, colon));
    if (colon != std::string_view::npos) out.password = std::string(userInfo.substr(colon + 1));
  }
  if (!hostPort.empty() && hostPort.front() == '[') {
    size_t close = hostPort.find(']');
    out.hostIsIPv6Literal = true;
    out.host = std::string(hostPort.substr(1, close == std::string_view::npos ? std::string_view::npos
                                                                              : close - 1));
    if (close != std::string_view::npos && close + 1 < hostPort.size() && hostPort[close + 1] == ':') {
      out.port = ParsePort(hostPort.substr(close + 2));
    }
    return;
  }
  size_t colon = hostPort.find(':');
  out.host = std::string(hostPort.substr(0, colon));
  if (colon != std::string_view::npos) out.port = ParsePort(hostPort.substr(colon + 1));
}

}  // namespace

UrlParts ParseURL(std::string_view text, std::string_view currentPath, UrlEncoding encoding,
                  int& defaultPort) {
  UrlParts out;
  std::string_view rest = text;
  std::string path(currentPath);
  if (!text.empty() && text.front() != '/') {
    size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
      out.hasScheme = true;
      out.scheme = std::string(text.substr(0, colon));
      rest = text.substr(colon + 1);
      if (EqualsNoCase(out.scheme, kSchemePlain)) {
        out.port = defaultPort = 80;
      } else if (EqualsNoCase(out.scheme, kSchemeSecure)) {
        out.port = defaultPort = 443;
      }
      path.clear();
    }
  }

  if (rest.substr(0, 2) == "//") {
    out.hasAuthority = true;
    rest.remove_prefix(2);
    size_t end = rest.find_first_of("/?");
    path.clear();
    if (end != std::string_view::npos && rest[end] == '?') path = "/";
    if (end != std::string_view::npos) path.append(rest.substr(end));
    ParseAuthority(rest.substr(0, end), out);
  } else if (!rest.empty() && rest.front() == '/') {
    path = std::string(rest);
  } else if (!rest.empty()) {
    // Relative reference: replaces the last segment of the current path
    // (RFC 3986 5.2.3, without dot-segment removal beyond a leading "./").
    if (rest.substr(0, 2) == "./") rest.remove_prefix(2);
    std::string_view base = path;
    base = base.substr(0, base.find('?'));
    size_t slash = base.rfind('/');
    if (slash == std::string_view::npos) {
      path = "/";
    } else {
      path.resize(slash + 1);
    }
    path.append(rest);
  }

  if (encoding.encode) {
    std::string encoded;
    EncodeUrlPath(path, encoding.encodeQuery, encoded);
    path.swap(encoded);
  }
  if (path.empty()) path = "/";
  out.path = std::move(path);
  return out;
}

RequestTarget ResolveTarget(const RequestTarget& current, std::string_view text,
                            UrlEncoding encoding, bool keepCredentials) {
  RequestTarget next = current;
  next.url = std::string(text);
  if (text.substr(0, kSchemePlain.size() + 1) == "http:") next.defaultPort = 80;
  if (text.substr(0, kSchemeSecure.size() + 1) == "https:") next.defaultPort = 443;
  UrlParts parts = ParseURL(text, current.path, encoding, next.defaultPort);
  if (parts.hasScheme) next.scheme = parts.scheme;
  if (!parts.host.empty()) {
    next.host = parts.host;
    next.hostIsIPv6Literal = parts.hostIsIPv6Literal;
  }
  if (parts.port != 0) next.port = parts.port;
  next.path = parts.path;
  if (!(parts.user.empty() && parts.password.empty() && keepCredentials)) {
    next.user = parts.user;
    next.password = parts.password;
  }
  return next;
}

std::string HostHeaderValue(const RequestTarget& target) {
  std::string out;
  if (target.hostIsIPv6Literal) {
    out.push_back('[');
    out.append(target.host.substr(0, target.host.find('%')));  // the zone stays local
    out.push_back(']');
  } else {
    out = target.host;
  }
  if (target.port != target.defaultPort) {
    out.push_back(':');
    out.append(std::to_string(target.port));
  }
  return out;
}

}  // namespace corvane::http
