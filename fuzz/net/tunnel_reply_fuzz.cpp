// Drives the SOCKS 4, SOCKS 5 and CONNECT reply readers with arbitrary
// bytes: the first byte chooses the tunnel type (low 3 bits, 1-6) and the
// piece size (the rest), so every reader and its split handling are reached.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/tunnel_negotiation.h"

namespace {

class FixedAuthenticator : public corvane::TunnelAuthenticator {
 public:
  int DigestValue(std::string_view, std::string_view, std::string_view challenge, std::string_view,
                  std::string& value, std::string&) override {
    value = "Digest " + std::string(challenge.substr(0, 64));
    return 0;
  }
  int TokenValue(bool, std::string_view, std::string_view, std::string_view challenge, std::string& value,
                 std::string&) override {
    value = "NTLM " + std::string(challenge.substr(0, 64));
    return 0;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int type = 1 + (data[0] & 7) % 6;
  size_t piece = 1 + (data[0] >> 3);
  FixedAuthenticator auth;
  corvane::TunnelRequest request;
  request.type = type;
  request.host = (data[0] & 0x40) != 0 ? "*name.test" : "example.com";
  request.port = 443;
  request.address = 0x0100007f;
  request.user = "user";
  request.password = "password";
  request.uri = "/";
  corvane::TunnelNegotiation n;
  if (n.Start(request, &auth) != corvane::TunnelNegotiation::Result::more) return 0;
  for (size_t at = 1; at < size;) {
    size_t take = std::min(piece, size - at);
    // A buffer of exactly this size, so a read past it is caught.
    std::string chunk(reinterpret_cast<const char*>(data + at), take);
    auto r = n.Feed(chunk.data(), chunk.size());
    n.Output().Clear();
    if (r != corvane::TunnelNegotiation::Result::more) break;
    at += take;
  }
  return 0;
}
