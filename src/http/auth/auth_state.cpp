#include "http/auth/auth_state.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "core/ascii.h"
#include "core/base64.h"
#include "http/auth/auth_errors.h"
#include "http/auth/challenge_list.h"
#include "http/auth/text_builder.h"

namespace corvane::auth {

namespace {

uint32_t MillisecondTicks() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

// Differs between objects: a process-wide counter mixed with the address.
uint32_t NextObjectValue(const void* self) {
  static std::atomic<uint32_t> counter{0x9E3779B9u};
  uint32_t n = counter.fetch_add(0x61C88647u);
  return n ^ static_cast<uint32_t>(reinterpret_cast<uintptr_t>(self) >> 4);
}

void Emit(const AuthLogFn& logFn, std::string_view line) {
  if (logFn) logFn(line);
}

void EmitJoined(const AuthLogFn& logFn, std::string_view a, std::string_view b) {
  if (!logFn) return;
  ByteBuffer line;
  TextBuilder(line) << a << b;
  logFn(line.view());
}

int Basic(std::string_view user, std::string_view password, ByteBuffer& out) {
  std::string plain;
  plain.reserve(user.size() + 1 + password.size());
  plain.append(user).append(1, ':').append(password);
  std::string encoded = Base64Encode(plain);
  if (ZeroMemoryEnabled()) SecureWipe(plain.data(), plain.size());
  TextBuilder b(out);
  b << "Basic " << encoded;
  return b.Result();
}

int Digest(AuthState& state, DigestChallenge& record, std::string_view user, std::string_view password,
           const AuthRequest& request, ByteBuffer& out, bool includeAlgorithm) {
  int rc = AssignText(record.user, user);
  if (rc == 0) rc = AssignText(record.password, password);
  if (rc == 0) rc = SetDigestRequest(record, request.method, request.uri, request.body);
  if (rc == 0) rc = FormatDigestAuthorization(record, out, includeAlgorithm);
  record.entityBody = {};
  if (rc == AuthErrorCode(AuthError::DigestUnknownQop)) {
    AssignText(state.errorText, record.errorText.view());
    return AuthErrorCode(AuthError::HttpProtocol);
  }
  if (rc != 0) AssignText(state.errorText, AuthErrorText(AuthError::OutOfMemory));
  return rc;
}

// The token of one leg, base64 encoded after "<word> ": the first token when
// no challenge is stored (starting a new exchange), else the answer to it.
// The system package makes it when UseSystemSSPI is on and the system has
// the package; otherwise the own NTLM client does.
int TokenValue(AuthState& state, SystemTokenProvider* system, NtlmState& ntlm, std::string_view word,
               std::string_view package, std::string_view userName, std::string_view password,
               std::string_view target, std::string_view challenge, const AuthRequest& request,
               ByteBuffer& out) {
  ByteBuffer token;
  int rc = 0;
  SystemTokenProvider* provider =
      request.useSystemSspi && system != nullptr && system->HasPackage(package) ? system : nullptr;
  if (provider != nullptr) {
    if (challenge.empty()) {
      rc = provider->Start(package, userName, password);
      if (rc == 0) rc = provider->FirstToken(target, token);
    } else {
      std::string decoded;
      if (!Base64Decode(challenge, decoded)) {
        AssignText(state.errorText, AuthErrorText(AuthError::NtlmBadEncoding));
        return AuthErrorCode(AuthError::NtlmBadEncoding);
      }
      rc = provider->NextToken(target, decoded, request.bindChannel, request.channelBindings, token);
    }
    if (rc != 0) {
      AssignText(state.errorText, provider->ErrorText());
      return rc;
    }
  } else {
    std::string decoded;
    if (challenge.empty()) {
      StartNtlm(ntlm, package, userName, password);
    } else if (!Base64Decode(challenge, decoded)) {
      AssignText(state.errorText, AuthErrorText(AuthError::NtlmBadEncoding));
      return AuthErrorCode(AuthError::NtlmBadEncoding);
    }
    rc = NtlmToken(ntlm, target, decoded, token);
    if (rc != 0) {
      AssignText(state.errorText, ntlm.errorText.view());
      return rc;
    }
  }
  if (word == "Negotiate" && challenge.empty()) state.kerberosProposed = ContainsKerberosOid(token.view());
  TextBuilder b(out);
  b << word << ' ' << Base64Encode(token.view());
  if (b.Result() != 0) AssignText(state.errorText, AuthErrorText(AuthError::OutOfMemory));
  return b.Result();
}

// The service principal of a Negotiate exchange: KerberosSPN exactly as set,
// else "HTTP/" and the host as written in the URL.
void NegotiateTarget(const AuthRequest& request, ByteBuffer& target) {
  if (!request.kerberosSpn.empty()) {
    AssignText(target, request.kerberosSpn);
  } else {
    TextBuilder(target) << "HTTP/" << request.host;
  }
}

}  // namespace

AuthState::AuthState() : tickCount(MillisecondTicks), perObjectValue(NextObjectValue(this)) {}

int TunnelTokenValue(AuthState& state, SystemTokenProvider* system, NtlmState& ntlm, bool negotiate,
                     std::string_view user, std::string_view password, std::string_view target,
                     std::string_view challenge, bool useSystemSspi, ByteBuffer& out) {
  if (negotiate && useSystemSspi && system == nullptr) {
    AssignText(state.errorText, AuthErrorText(AuthError::SspiLibrary));
    return AuthErrorCode(AuthError::SspiLibrary);
  }
  // A tunnel runs before any TLS, so there is no channel to bind to.
  AuthRequest request;
  request.useSystemSspi = useSystemSspi;
  std::string_view word = negotiate ? "Negotiate" : "NTLM";
  // The flag speaks of the server's first token, made before the tunnel.
  const bool kerberosProposed = state.kerberosProposed;
  int rc = TokenValue(state, system, ntlm, word, word, user, password, target, challenge, request, out);
  state.kerberosProposed = kerberosProposed;
  return rc;
}

int TunnelDigestValue(AuthState& state, DigestChallenge& record, std::string_view user, std::string_view password,
                      std::string_view challenge, std::string_view uri, ByteBuffer& out) {
  if (ParseDigestChallenge(record, challenge, state.tickCount() + state.perObjectValue) != 0) {
    AssignText(state.errorText, AuthErrorText(AuthError::OutOfMemory));
    return AuthErrorCode(AuthError::OutOfMemory);
  }
  AuthRequest request;
  request.method = "CONNECT";
  request.uri = uri;
  return Digest(state, record, user, password, request, out, false);
}

std::string_view AuthSchemeName(int scheme) noexcept {
  switch (scheme) {
    case authBasic: return "Basic";
    case authDigest: return "Digest";
    case authProprietary: return "Proprietary";
    case authNone: return "None";
    case authNtlm: return "NTLM";
    case authNegotiate: return "Negotiate";
    default: return {};
  }
}

bool ContainsKerberosOid(std::string_view token) noexcept {
  static constexpr char kOid[] = {'\x2A', '\x86', '\x48', '\x86', '\xF7', '\x12', '\x01', '\x02', '\x02'};
  if (token.size() < 2) return false;
  return token.substr(1).find(std::string_view(kOid, sizeof kOid)) != std::string_view::npos;
}

void TakeWwwAuthenticate(AuthState& state, std::string_view value) {
  if (state.authScheme != authProprietary && state.authScheme != authOAuth) state.authorization.Clear();
  SplitChallenges(value, [&state](std::string_view word, std::string_view rest) {
    if ((EqualsNoCase(word, "NTLM") && state.authScheme == authNtlm) ||
        (EqualsNoCase(word, "Negotiate") && state.authScheme == authNegotiate)) {
      AssignText(state.serverChallengeToken, rest);
    } else if (EqualsNoCase(word, "Digest")) {
      ParseDigestChallenge(state.serverDigest, rest, state.tickCount() + state.perObjectValue);
    }
  });
}

void TakeProxyAuthenticate(AuthState& state, std::string_view value) {
  if (state.proxyAuthScheme != authProprietary) state.proxyAuthorization.Clear();
  SplitChallenges(value, [&state](std::string_view word, std::string_view rest) {
    // Proxies are matched on the exact word "NTLM", whatever the scheme.
    if (word == "NTLM") {
      AssignText(state.proxyChallengeToken, rest);
    } else if (EqualsNoCase(word, "Digest")) {
      ParseDigestChallenge(state.proxyDigest, rest, state.tickCount() + state.perObjectValue);
    }
  });
}

int BuildAuthorization(AuthState& state, const AuthRequest& request, bool log, const AuthLogFn& logFn) {
  const int scheme = state.authScheme;
  // Caller-supplied values are sent as they stand.
  if (scheme == authProprietary || scheme == authOAuth) return 0;
  state.authorization.Clear();
  const bool tokenScheme = scheme == authNtlm || scheme == authNegotiate;
  if (state.user.empty() && state.password.empty() && !tokenScheme) {
    if (log) EmitJoined(logFn, "Authorization: ", state.authorization.view());
    return 0;
  }
  if (log && !AuthSchemeName(scheme).empty() && scheme != authNone) {
    EmitJoined(logFn, "AuthScheme: ", AuthSchemeName(scheme));
  }
  int rc = 0;
  switch (scheme) {
    case authBasic:
      rc = Basic(state.user.view(), state.password.view(), state.authorization);
      if (rc != 0) AssignText(state.errorText, AuthErrorText(AuthError::OutOfMemory));
      break;
    case authDigest:
      rc = Digest(state, state.serverDigest, state.user.view(), state.password.view(), request,
                  state.authorization, true);
      break;
    case authNtlm:
      rc = TokenValue(state, state.systemTokens, state.ntlm, "NTLM", "NTLM", state.user.view(),
                      state.password.view(), request.host, state.serverChallengeToken.view(), request,
                      state.authorization);
      break;
    case authNegotiate: {
      ByteBuffer target;
      NegotiateTarget(request, target);
      rc = TokenValue(state, state.systemTokens, state.ntlm, "Negotiate", "Negotiate", state.user.view(),
                      state.password.view(), target.view(), state.serverChallengeToken.view(), request,
                      state.authorization);
      break;
    }
    default:
      break;
  }
  if (rc != 0) return rc;
  if (log) EmitJoined(logFn, "Authorization: ", state.authorization.view());
  return 0;
}

int BuildProxyAuthorization(AuthState& state, const AuthRequest& request, bool log,
                            const AuthLogFn& logFn) {
  const int scheme = state.proxyAuthScheme;
  if (scheme == authProprietary) return 0;
  state.proxyAuthorization.Clear();
  int rc = 0;
  switch (scheme) {
    case authBasic:
      Emit(logFn, "Proxy AuthScheme: Basic");
      if (state.proxyUser.empty() && state.proxyPassword.empty()) return 0;
      rc = Basic(state.proxyUser.view(), state.proxyPassword.view(), state.proxyAuthorization);
      if (rc != 0) AssignText(state.errorText, AuthErrorText(AuthError::OutOfMemory));
      break;
    case authDigest:
      Emit(logFn, "Proxy AuthScheme: Digest");
      rc = Digest(state, state.proxyDigest, state.proxyUser.view(), state.proxyPassword.view(), request,
                  state.proxyAuthorization, false);
      break;
    case authNtlm:
      Emit(logFn, "Proxy AuthScheme: NTLM");
      rc = TokenValue(state, state.proxySystemTokens, state.proxyNtlm, "NTLM", "NTLM", state.proxyUser.view(),
                      state.proxyPassword.view(), request.proxyHost, state.proxyChallengeToken.view(), request,
                      state.proxyAuthorization);
      break;
    default:  // None, Negotiate, OAuth: no proxy credentials
      return 0;
  }
  if (rc != 0) return rc;
  if (log && logFn) {
    EmitJoined(logFn, "Authorization: ", state.proxyAuthorization.view());
    ByteBuffer line;
    char port[16];
    std::snprintf(port, sizeof port, "%d", request.proxyPort);
    TextBuilder b(line);
    b << "Authenticating to Proxy: Server '" << request.proxyHost << "' on port " << port
      << " with AuthScheme " << AuthSchemeName(scheme) << ". User:'" << state.proxyUser.view()
      << "', Password:'";
    for (int i = 0; i < state.proxyPassword.size(); ++i) b << 'x';
    b << '\'';
    logFn(line.view());
  }
  return 0;
}

int SetUser(AuthState& state, std::string_view user, const AuthRequest& request, const AuthLogFn& logFn) {
  if (int rc = AssignText(state.user, user); rc != 0) return rc;
  state.serverChallengeToken.Clear();
  if (state.authScheme == authNtlm || state.authScheme == authNegotiate) return 0;
  return BuildAuthorization(state, request, false, logFn);
}

int SetPassword(AuthState& state, std::string_view password, const AuthRequest& request,
                const AuthLogFn& logFn) {
  if (int rc = AssignText(state.password, password); rc != 0) return rc;
  state.serverChallengeToken.Clear();
  if (state.authScheme == authNtlm || state.authScheme == authNegotiate) return 0;
  return BuildAuthorization(state, request, false, logFn);
}

int SetProxyUser(AuthState& state, std::string_view user, const AuthRequest& request,
                 const AuthLogFn& logFn) {
  if (int rc = AssignText(state.proxyUser, user); rc != 0) return rc;
  return BuildProxyAuthorization(state, request, false, logFn);
}

int SetProxyPassword(AuthState& state, std::string_view password, const AuthRequest& request,
                     const AuthLogFn& logFn) {
  if (int rc = AssignText(state.proxyPassword, password); rc != 0) return rc;
  return BuildProxyAuthorization(state, request, false, logFn);
}

bool SetAuthScheme(AuthState& state, int scheme) {
  state.serverChallengeToken.Clear();
  if (scheme != state.authScheme) {
    state.user.Clear();
    state.password.Clear();
    state.authorization.Clear();
  }
  state.authScheme = static_cast<uint8_t>(scheme);
  return scheme == authNtlm || scheme == authNegotiate;
}

bool SetProxyAuthScheme(AuthState& state, int scheme) {
  state.proxyChallengeToken.Clear();
  if (scheme != state.proxyAuthScheme) {
    if (scheme == authNone) {
      state.proxyUser.Clear();
      state.proxyPassword.Clear();
    }
    state.proxyAuthorization.Clear();
  }
  state.proxyAuthScheme = static_cast<uint8_t>(scheme);
  return scheme == authNtlm;
}

void SetAuthorization(AuthState& state, std::string_view value) {
  AssignText(state.authorization, value);
  if (state.authScheme != authProprietary && state.authScheme != authOAuth) {
    state.authScheme = authProprietary;
  }
}

void SetKerberosToken(AuthState& state, std::string_view token) {
  state.serverChallengeToken.Clear();
  if (state.authScheme != authProprietary) {
    state.user.Clear();
    state.password.Clear();
    state.authorization.Clear();
  }
  state.authScheme = authProprietary;
  state.authorization.Clear();
  TextBuilder(state.authorization) << "Negotiate " << token;
}

void ResetAuth(AuthState& state) {
  state.user.Clear();
  state.password.Clear();
  state.proxyUser.Clear();
  state.proxyPassword.Clear();
  state.authorization.Clear();
  state.proxyAuthorization.Clear();
  state.serverChallengeToken.Clear();
  state.proxyChallengeToken.Clear();
  state.serverDigest = DigestChallenge{};
  state.proxyDigest = DigestChallenge{};
  StartNtlm(state.ntlm, "NTLM", {}, {});
  StartNtlm(state.proxyNtlm, "NTLM", {}, {});
  state.kerberosProposed = false;
  if (state.systemTokens != nullptr) state.systemTokens->Reset();
  if (state.proxySystemTokens != nullptr) state.proxySystemTokens->Reset();
  state.serverAuthAttempts = 0;
  state.proxyAuthAttempts = 0;
  state.errorText.Clear();
}

void ResetAuthAttempts(AuthState& state) noexcept {
  state.serverAuthAttempts = 0;
  state.proxyAuthAttempts = 0;
}

namespace {

// Schemes whose challenge carries what the next header needs; Basic is sent,
// never answered.
bool AnswersChallenge(int scheme) noexcept {
  return scheme == authDigest || scheme == authNtlm || scheme == authNegotiate;
}

// One answer per side: a second challenge in a row means the credentials
// were refused.
template <class Build>
AuthRetryResult AnswerOnce(int& attempts, AuthRetryResult refused, Build&& build) {
  if (attempts != 0) {
    attempts = 0;
    return refused;
  }
  attempts = 1;
  if (int rc = build(); rc != 0) return {AuthRetry::buildFailed, rc};
  return {AuthRetry::retry, 0};
}

}  // namespace

AuthRetryResult AnswerChallenge(AuthState& state, int statusCode, const AuthRequest& request,
                                const AuthLogFn& logFn) {
  if (statusCode == 401 && AnswersChallenge(state.authScheme)) {
    return AnswerOnce(state.serverAuthAttempts, {AuthRetry::failServer, 151},
                      [&] { return BuildAuthorization(state, request, true, logFn); });
  }
  if (statusCode == 407 && AnswersChallenge(state.proxyAuthScheme)) {
    return AnswerOnce(state.proxyAuthAttempts, {AuthRetry::failProxy, 157},
                      [&] { return BuildProxyAuthorization(state, request, true, logFn); });
  }
  return {};
}

int VerifyServerToken(AuthState& state, const AuthRequest& request) {
  SystemTokenProvider* provider = state.systemTokens;
  if (state.authScheme != authNegotiate || !request.useSystemSspi || provider == nullptr ||
      !provider->ExchangeOpen() || state.serverChallengeToken.empty()) {
    // A server that sent no final token did not take part in the exchange
    // (an open resource): there is nothing to verify.
    return 0;
  }
  std::string decoded;
  if (!Base64Decode(state.serverChallengeToken.view(), decoded)) {
    AssignText(state.errorText, AuthErrorText(AuthError::NtlmBadEncoding));
    return AuthErrorCode(AuthError::NtlmBadEncoding);
  }
  state.serverChallengeToken.Clear();
  ByteBuffer target;
  NegotiateTarget(request, target);
  ByteBuffer unused;
  int rc = provider->NextToken(target.view(), decoded, request.bindChannel, request.channelBindings, unused);
  if (rc != 0) AssignText(state.errorText, provider->ErrorText());
  return rc;
}

bool EmptyBodyForHandshake(const AuthState& state, bool postDataAfterNegotiate, bool viaProxy) {
  if (!postDataAfterNegotiate) return false;
  if (state.serverAuthAttempts == 0) {
    if (state.authScheme == authNtlm) return true;
    // A Digest value built from a known challenge may well be accepted: only
    // a request that goes out without credentials holds its body back.
    if (state.authScheme == authDigest) return state.authorization.empty();
    if (state.authScheme == authNegotiate) {
      // A Kerberos token may complete the exchange in one leg: send the body.
      std::string_view value = state.authorization.view();
      std::string decoded;
      if (value.substr(0, 10) == "Negotiate " && Base64Decode(value.substr(10), decoded) &&
          ContainsKerberosOid(decoded)) {
        return false;
      }
      return true;
    }
  }
  return viaProxy && state.proxyAuthScheme == authNtlm && state.proxyAuthAttempts == 0;
}

}  // namespace corvane::auth
