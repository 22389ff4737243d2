#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Blocking name resolution: the one blocking call the engine makes.
// Results are socket error numbers (0, 11001-11004, ...).

// A dotted IPv4 address is taken as is (inet_aton forms); otherwise the name
// is looked up with getaddrinfo (AF_INET) or, when useGetAddrInfo is false,
// with gethostbyname. address is in network byte order.
int ResolveIPv4(std::string_view host, bool useGetAddrInfo, uint32_t& address);
// Dotted IPv4 only; false for names.
bool ParseDottedIPv4(std::string_view host, uint32_t& address);
// getaddrinfo (AF_INET6) of the text before an optional "%scope" suffix; the
// scope (a number, or an interface name) goes into sin6_scope_id. An empty
// text yields an empty AF_INET6 address.
int ResolveIPv6(std::string_view host, sockaddr_in6& address);

// "%d.%d.%d.%d" of a network-order address.
std::string FormatIPv4(uint32_t address);
// Numeric text of an IPv6 address (with "%scope" when set).
std::string FormatIPv6(const sockaddr_in6& address);

// Names under the special-use domain "invalid" never resolve (RFC 6761
// section 6.4), so they fail at once without asking a resolver.
bool IsInvalidDomain(std::string_view host) noexcept;

}  // namespace corvane
