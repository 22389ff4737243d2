#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/byte_buffer.h"
#include "http/auth/digest_challenge.h"
#include "http/auth/ntlm_message.h"

namespace corvane::auth {

// Values of the AuthSchemes enumeration, as stored in AuthScheme and
// ProxyAuthScheme.
enum AuthSchemeValue : uint8_t {
  authBasic = 0,
  authDigest = 1,
  authProprietary = 2,
  authNone = 3,
  authNtlm = 4,
  authNegotiate = 5,
  authOAuth = 6,
};

// The name of a scheme in log lines ("Basic", "Digest", "Proprietary",
// "None", "NTLM", "Negotiate"); empty for OAuth and unknown values.
std::string_view AuthSchemeName(int scheme) noexcept;

// Receives the log lines of the header builders. Every line has the log
// type "Info"; the HTTP client logs them at progress level.
using AuthLogFn = std::function<void(std::string_view line)>;

// Token producer of the platform security package (GSSAPI), for Negotiate
// and for NTLM under UseSystemSSPI. Without one, or when it lacks the
// package, the component's own NTLM client makes the tokens. Tokens are
// binary; codes and texts are the provider's (270, 880-883).
class SystemTokenProvider {
 public:
  virtual ~SystemTokenProvider() = default;
  // True when the system can make tokens of this package ("Negotiate",
  // "Kerberos", "NTLM").
  virtual bool HasPackage(std::string_view package) const = 0;
  virtual int Start(std::string_view package, std::string_view userName, std::string_view password) = 0;
  virtual int FirstToken(std::string_view target, ByteBuffer& token) = 0;
  // bindChannel: the exchange runs over TLS under ExtendedProtection, and
  // channelBindings ("tls-server-end-point:" + certificate hash) must be
  // bound into it; empty bindings then are an error.
  virtual int NextToken(std::string_view target, std::string_view serverToken, bool bindChannel,
                        std::string_view channelBindings, ByteBuffer& token) = 0;
  // True while a context exists that still waits for a server token.
  virtual bool ExchangeOpen() const = 0;
  // Drops the context and the credentials.
  virtual void Reset() = 0;
  virtual std::string_view ErrorText() const = 0;
};

// What the builders need to know about the request being sent.
struct AuthRequest {
  std::string_view method;  // request method
  std::string_view uri;     // path part of the URL, also through a proxy
  std::string_view body;    // request body (Digest auth-int)
  std::string_view host;    // host of the request URL (NTLM target)
  std::string_view proxyHost;
  int proxyPort = 0;
  std::string_view kerberosSpn;  // KerberosSPN; empty = "HTTP/" + host
  bool useSystemSspi = true;     // UseSystemSSPI
  // ExtendedProtection over a TLS connection: the system package binds its
  // tokens to channelBindings (empty when the TLS layer could not make them).
  bool bindChannel = false;
  std::string channelBindings;
};

// The authentication state the HTTP client owns: schemes, credentials, the
// two header values, the stored challenges and the retry counters.
struct AuthState {
  AuthState();

  uint8_t authScheme = authBasic;
  uint8_t proxyAuthScheme = authBasic;
  ByteBuffer user;
  ByteBuffer password;
  ByteBuffer proxyUser;
  ByteBuffer proxyPassword;
  ByteBuffer authorization;       // the Authorization header value
  ByteBuffer proxyAuthorization;  // the Proxy-Authorization header value

  // Base64 text after the scheme word of the last NTLM or Negotiate challenge.
  ByteBuffer serverChallengeToken;
  ByteBuffer proxyChallengeToken;
  DigestChallenge serverDigest;
  DigestChallenge proxyDigest;
  // The own NTLM client: one exchange towards the server and one towards the
  // proxy, so that a proxy handshake cannot take the server's credentials.
  NtlmState ntlm;
  NtlmState proxyNtlm;
  // The first Negotiate token named the Kerberos mechanism: such an exchange
  // may end without a second leg.
  bool kerberosProposed = false;

  // Challenge answers made in the current transaction (0 or 1 each).
  int serverAuthAttempts = 0;
  int proxyAuthAttempts = 0;

  // Digest cnonce source: the millisecond clock plus a per-object value.
  std::function<uint32_t()> tickCount;
  uint32_t perObjectValue = 0;

  // The system packages' exchanges towards the server and the proxy (not
  // owned; may be null).
  SystemTokenProvider* systemTokens = nullptr;
  SystemTokenProvider* proxySystemTokens = nullptr;

  // Message of the last failure of a builder.
  ByteBuffer errorText;
};

// --- Challenge intake: one call per response header line, in order. ---
void TakeWwwAuthenticate(AuthState& state, std::string_view value);
void TakeProxyAuthenticate(AuthState& state, std::string_view value);

// --- Header builders. 0, or a code with the message in state.errorText:
// 151 for a Digest failure, the token producer's code (-1, 200, 880-883)
// unchanged. ---
int BuildAuthorization(AuthState& state, const AuthRequest& request, bool log, const AuthLogFn& logFn);
int BuildProxyAuthorization(AuthState& state, const AuthRequest& request, bool log,
                            const AuthLogFn& logFn);

// --- The CONNECT tunnel's legs (the tunnel keeps its own exchange state). ---
// "NTLM <base64>" or "Negotiate <base64>" into out: the first token when
// challenge is empty, else the answer to it. NTLM comes from the own client
// unless useSystemSspi and the tunnel's token provider system is present;
// Negotiate needs the provider under useSystemSspi (270 without one). The
// server exchange's state (its provider, kerberosProposed) is left alone. 0
// or a code with the message in state.errorText.
int TunnelTokenValue(AuthState& state, SystemTokenProvider* system, NtlmState& ntlm, bool negotiate,
                     std::string_view user, std::string_view password, std::string_view target,
                     std::string_view challenge, bool useSystemSspi, ByteBuffer& out);
// The Digest credentials for method CONNECT into out (no algorithm, as for
// a proxy). 0 or a code with the message in state.errorText.
int TunnelDigestValue(AuthState& state, DigestChallenge& record, std::string_view user, std::string_view password,
                      std::string_view challenge, std::string_view uri, ByteBuffer& out);

// --- Setters with their rebuild rules. ---
int SetUser(AuthState& state, std::string_view user, const AuthRequest& request, const AuthLogFn& logFn);
int SetPassword(AuthState& state, std::string_view password, const AuthRequest& request,
                const AuthLogFn& logFn);
int SetProxyUser(AuthState& state, std::string_view user, const AuthRequest& request,
                 const AuthLogFn& logFn);
int SetProxyPassword(AuthState& state, std::string_view password, const AuthRequest& request,
                     const AuthLogFn& logFn);
// Both return true when KeepAlive must be switched on (the handshake needs
// one connection).
bool SetAuthScheme(AuthState& state, int scheme);
bool SetProxyAuthScheme(AuthState& state, int scheme);
// The Authorization property or config key: the value is sent as it stands.
void SetAuthorization(AuthState& state, std::string_view value);
void SetKerberosToken(AuthState& state, std::string_view token);

// Reset: credentials, both header values and all handshake state; the
// schemes keep their values.
void ResetAuth(AuthState& state);
// A new URL: both counters back to 0.
void ResetAuthAttempts(AuthState& state) noexcept;

// --- The driver's challenge evaluation after a response. ---
enum class AuthRetry {
  notHandled,  // not an answerable challenge: go on with redirects and errors
  retry,       // the header was rebuilt: run the same request again
  failServer,  // second 401: fail with 151 and the status message
  failProxy,   // second 407: fail with 157 and the status message
  buildFailed, // the rebuild failed: fail with code, message in state.errorText
};
struct AuthRetryResult {
  AuthRetry action = AuthRetry::notHandled;
  int code = 0;
};
AuthRetryResult AnswerChallenge(AuthState& state, int statusCode, const AuthRequest& request,
                                const AuthLogFn& logFn);

// After a 2xx answer: a final Negotiate token the server sent is handed to
// the system package, which verifies the server (mutual authentication). 0,
// or 881 with the message in state.errorText when the token does not prove
// the server's identity.
int VerifyServerToken(AuthState& state, const AuthRequest& request);

// True when a request body must be replaced by an empty one because an
// authentication handshake is at its first leg (PostDataAfterNegotiate).
// viaProxy: the request goes through a proxy (only then does the proxy
// scheme count).
bool EmptyBodyForHandshake(const AuthState& state, bool postDataAfterNegotiate, bool viaProxy = true);

// True when the bytes hold the DER form of the Kerberos mechanism OID
// 1.2.840.113554.1.2.2 at a position after the first byte.
bool ContainsKerberosOid(std::string_view token) noexcept;

}  // namespace corvane::auth
