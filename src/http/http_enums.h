#pragma once

namespace corvane::http {

// Authentication schemes (AuthScheme, ProxyAuthScheme).
enum AuthScheme : int {
  authBasic = 0,
  authDigest = 1,
  authProprietary = 2,
  authNone = 3,
  authNtlm = 4,
  authNegotiate = 5,
  authOAuth = 6,
};

// Redirect policy (FollowRedirects).
enum FollowRedirectsPolicy : int {
  frNever = 0,
  frAlways = 1,
  frSameScheme = 2,
};

// How a configured proxy is used (ProxySSL).
enum ProxySSLMode : int {
  psAutomatic = 0,
  psAlways = 1,
  psNever = 2,
  psTunnel = 3,
};

// The codes of Action.
enum ActionCode : int {
  actInterrupt = 0,
  actGet = 1,
  actPost = 2,
  actHead = 3,
  actReset = 4,
  actPut = 5,
  actDelete = 6,
};

// The name of a scheme in log lines ("" for values without one).
const char* AuthSchemeName(int scheme) noexcept;

}  // namespace corvane::http
