#include "net/name_resolver.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/config_item.h"
#include "net/socket_errors.h"

namespace corvane {

namespace {

constexpr int kHostNotFound = 11001;

}  // namespace

bool IsInvalidDomain(std::string_view host) noexcept {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  constexpr std::string_view kLabel = "invalid";
  if (host.size() < kLabel.size()) return false;
  std::string_view tail = host.substr(host.size() - kLabel.size());
  if (!EqualsNoCase(tail, kLabel)) return false;
  return host.size() == kLabel.size() || host[host.size() - kLabel.size() - 1] == '.';
}

bool ParseDottedIPv4(std::string_view host, uint32_t& address) {
  if (host.empty() || host.size() > 63) return false;
  char text[64];
  std::memcpy(text, host.data(), host.size());
  text[host.size()] = '\0';
  in_addr a{};
  if (::inet_aton(text, &a) == 0) return false;
  address = a.s_addr;
  return true;
}

int ResolveIPv4(std::string_view host, bool useGetAddrInfo, uint32_t& address) {
  address = 0;
  if (ParseDottedIPv4(host, address)) return 0;
  if (IsInvalidDomain(host)) return kHostNotFound;
  std::string name(host);
  if (useGetAddrInfo) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (rc != 0) return SocketErrorFromEai(rc, errno);
    for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
      if (ai->ai_family == AF_INET && ai->ai_addrlen >= sizeof(sockaddr_in)) {
        address = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
        break;
      }
    }
    ::freeaddrinfo(list);
    return address != 0 ? 0 : kHostNotFound;
  }
  hostent entry{};
  hostent* result = nullptr;
  char work[2048];
  int herr = 0;
  if (::gethostbyname_r(name.c_str(), &entry, work, sizeof work, &result, &herr) != 0 ||
      result == nullptr || result->h_addrtype != AF_INET || result->h_addr_list[0] == nullptr) {
    switch (herr) {
      case TRY_AGAIN: return 11002;
      case NO_RECOVERY: return 11003;
      case NO_DATA: return 11004;
      default: return kHostNotFound;
    }
  }
  std::memcpy(&address, result->h_addr_list[0], sizeof address);
  return 0;
}

int ResolveIPv6(std::string_view host, sockaddr_in6& address) {
  address = sockaddr_in6{};
  address.sin6_family = AF_INET6;
  if (host.empty()) return 0;
  std::string_view name = host;
  std::string_view scope;
  if (size_t pct = host.find('%'); pct != std::string_view::npos) {
    name = host.substr(0, pct);
    scope = host.substr(pct + 1);
  }
  if (IsInvalidDomain(name)) return kHostNotFound;
  std::string text(name);
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  int rc = ::getaddrinfo(text.c_str(), nullptr, &hints, &list);
  if (rc != 0) return SocketErrorFromEai(rc, errno);
  bool found = false;
  for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family == AF_INET6 && ai->ai_addrlen >= sizeof(sockaddr_in6)) {
      std::memcpy(&address, ai->ai_addr, sizeof address);
      found = true;
      break;
    }
  }
  ::freeaddrinfo(list);
  if (!found) return kHostNotFound;
  if (!scope.empty()) {
    std::string s(scope);
    char* end = nullptr;
    unsigned long id = std::strtoul(s.c_str(), &end, 10);
    if (end == s.c_str()) id = ::if_nametoindex(s.c_str());  // "fe80::1%eth0"
    address.sin6_scope_id = static_cast<uint32_t>(id);
  }
  return 0;
}

std::string FormatIPv4(uint32_t address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address);
  char text[20];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  return text;
}

std::string FormatIPv6(const sockaddr_in6& address) {
  char text[INET6_ADDRSTRLEN + 16] = {};
  ::inet_ntop(AF_INET6, &address.sin6_addr, text, sizeof text);
  std::string out(text);
  if (address.sin6_scope_id != 0) out += "%" + std::to_string(address.sin6_scope_id);
  return out;
}

}  // namespace corvane
