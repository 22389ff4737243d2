#pragma once

#include "corvane/enums.h"

namespace corvane::http {

// The public enumerations (AuthScheme, ProxyAuthScheme, FollowRedirects,
// ProxySSL) under the engine's names; the enumerators are the same entities,
// so code in either namespace may name them unqualified.
using AuthScheme = ::corvane::AuthSchemes;
using FollowRedirectsPolicy = ::corvane::TFollowRedirects;
using ProxySSLMode = ::corvane::ProxySSLTypes;
using ::corvane::authBasic;
using ::corvane::authDigest;
using ::corvane::authNegotiate;
using ::corvane::authNone;
using ::corvane::authNtlm;
using ::corvane::authOAuth;
using ::corvane::authProprietary;
using ::corvane::frAlways;
using ::corvane::frNever;
using ::corvane::frSameScheme;
using ::corvane::psAlways;
using ::corvane::psAutomatic;
using ::corvane::psNever;
using ::corvane::psTunnel;

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
