#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "http/auth/auth_state.h"
#include "http/auth/sspi_state.h"
#include "net/tunnel_negotiation.h"

namespace corvane::http {

// The CONNECT tunnel's authentication values, made by the auth layer for the
// firewall filter: Digest for the method CONNECT, NTLM and Negotiate legs
// through the client's token provider settings. It keeps its own Digest
// record, NTLM exchange and system-package context, so a tunnel never
// disturbs the state of the requests that run through it (a server's
// Negotiate context made before the tunnel must still verify the server's
// final token after it).
class HttpTunnelAuthenticator : public TunnelAuthenticator {
 public:
  // request: the client's current AuthRequest (proxy host, KerberosSPN,
  // UseSystemSSPI).
  HttpTunnelAuthenticator(auth::AuthState& state, std::function<auth::AuthRequest()> request)
      : state_(state), request_(std::move(request)) {}

  int DigestValue(std::string_view user, std::string_view password, std::string_view challenge,
                  std::string_view uri, std::string& value, std::string& error) override;
  int TokenValue(bool negotiate, std::string_view user, std::string_view password, std::string_view challenge,
                 std::string& value, std::string& error) override;

 private:
  auth::AuthState& state_;
  std::function<auth::AuthRequest()> request_;
  auth::DigestChallenge digest_;
  auth::NtlmState ntlm_;
  auth::SspiState sspi_;
};

}  // namespace corvane::http
