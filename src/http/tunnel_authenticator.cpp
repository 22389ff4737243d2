#include "http/tunnel_authenticator.h"

namespace corvane::http {

int HttpTunnelAuthenticator::DigestValue(std::string_view user, std::string_view password,
                                         std::string_view challenge, std::string_view uri, std::string& value,
                                         std::string& error) {
  ByteBuffer out;
  int rc = auth::TunnelDigestValue(state_, digest_, user, password, challenge, uri, out);
  if (rc != 0) {
    error = state_.errorText.str();
    return rc;
  }
  value = out.str();
  return 0;
}

int HttpTunnelAuthenticator::TokenValue(bool negotiate, std::string_view user, std::string_view password,
                                        std::string_view challenge, std::string& value, std::string& error) {
  auth::AuthRequest request = request_();
  std::string target;
  if (!negotiate) {
    target = request.proxyHost;
  } else if (!request.kerberosSpn.empty()) {
    target = request.kerberosSpn;
  } else {
    target = "HTTP/" + std::string(request.proxyHost);
  }
  ByteBuffer out;
  int rc = auth::TunnelTokenValue(state_, &sspi_, ntlm_, negotiate, user, password, target, challenge,
                                  request.useSystemSspi, out);
  if (rc != 0) {
    error = state_.errorText.str();
    return rc;
  }
  value = out.str();
  return 0;
}

}  // namespace corvane::http
