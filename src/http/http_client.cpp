#include "http/http_client.h"

#include <poll.h>

#include <ctime>

#include "core/config_item.h"
#include "http/http2_bridge.h"

namespace corvane {

using namespace http;

namespace {

constexpr int kMaxLineLength = 4000;
constexpr int kSocketBufferSize = 262144;

// The URL text without "user:password@" in its authority.
std::string WithoutUserInfo(std::string_view url) {
  size_t start = url.find("//");
  if (start == std::string_view::npos) return std::string(url);
  size_t slash = url.find_first_of("/?#", start + 2);
  std::string_view authority = url.substr(start + 2, slash == std::string_view::npos ? slash : slash - start - 2);
  size_t at = authority.rfind('@');
  if (at == std::string_view::npos) return std::string(url);
  std::string out(url.substr(0, start + 2));
  out += url.substr(start + 2 + at + 1);
  return out;
}

}  // namespace

const char* http::AuthSchemeName(int scheme) noexcept {
  switch (scheme) {
    case 0: return "Basic";
    case 1: return "Digest";
    case 2: return "Proprietary";
    case 3: return "None";
    case 4: return "NTLM";
    case 5: return "Negotiate";
    case 7: return "Automatic";
    default: return "";
  }
}

HttpClient::HttpClient() : tunnelAuth_(auth_, [this] { return AuthRequestNow(); }) {
  Firewall().SetAuthenticator(&tunnelAuth_);
  headers_.userAgent = "Corvane HTTP Component - https://www.corvane.dev";
  SetMaxLineLength(kMaxLineLength);
  SetDefaultBufferSizes(kSocketBufferSize, kSocketBufferSize);
  reader_.SetMaxLineLength(kMaxLineLength);
  auth_.systemTokens = &sspi_;
  auth_.proxySystemTokens = &proxySspi_;
  ClearError();
}

HttpClient::~HttpClient() { EndPlatformWorker(); }

int HttpClient::FailWith(HttpError e, std::string_view argument) {
  return SetError(HttpErrorCode(e), HttpErrorText(e, argument));
}

void HttpClient::CloseConnection() {
  if (http2_) http2_->ConnectionGone();
  if (!SocketOpen() && !IsConnected()) return;
  // A close we make ourselves is no verdict on the response (the reader's
  // "connection closed" failures are for closes by the server).
  closingOnPurpose_ = true;
  Connect(false);
  closingOnPurpose_ = false;
}

void HttpClient::DrainPending(int rounds) {
  // Zero-wait passes that let the socket layer deliver what is already
  // pending (a close by the server, the last bytes). A pass is only made
  // while the socket has something to report, so an idle keep-alive
  // connection costs one poll instead of a hundred.
  for (int i = 0; i < rounds && SocketOpen() && IsConnected(); ++i) {
    pollfd p{SocketHandle(), POLLIN, 0};
    if (i > 0 && ::poll(&p, 1, 0) <= 0) break;
    if (!WaitStep(0)) break;
  }
}

// --- URL ---------------------------------------------------------------------

int HttpClient::SetURL(std::string_view url, bool isRedirect) {
  if (url.empty()) {
    target_.url.clear();
    target_.scheme = std::string(kSchemeDefault);
    target_.host.clear();
    target_.port = target_.defaultPort;
    target_.path.clear();
    target_.hostIsIPv6Literal = false;
    return 0;
  }
  if (!isRedirect) redirectsLeft_ = maxRedirects_;
  // Strict: a server does not choose the credentials we send.
  std::string withoutUserInfo;
  if (strictMode_ && isRedirect) {
    withoutUserInfo = WithoutUserInfo(url);
    url = withoutUserInfo;
  }
  UrlEncoding encoding{isRedirect ? encodeRedirectLocation_ : encodeURL_, encodeQueryString_};
  bool keepCredentials = !isRedirect || followRedirects_ == http::frAlways;
  // Credentials in the URL (user:password@host) replace User and Password;
  // the target only carries them through the resolution.
  target_.user.assign(auth_.user.view());
  target_.password.assign(auth_.password.view());
  RequestTarget next = ResolveTarget(target_, url, encoding, keepCredentials);
  target_.user.clear();
  target_.password.clear();
  // A redirect's Location is the server's text: it is checked here, before
  // anything of it is stored, as the caller's URL is.
  if (next.port < 0) return FailWith(HttpError::InvalidPort, isRedirect ? "redirect Location" : "URL");
  for (std::string_view part : {std::string_view(next.scheme), std::string_view(next.host), std::string_view(next.path)}) {
    if (!IsSafeFieldValue(part)) {
      return FailWith(HttpError::UnsafeRequestValue, isRedirect ? "redirect Location" : "URL");
    }
  }
  bool hostChanged = !EqualsNoCase(next.host, target_.host) || next.port != target_.port;
  bool schemeChanged = !EqualsNoCase(next.scheme, target_.scheme);
  if (!isRedirect) crossOriginRedirect_ = false;
  else if (strictMode_ && (hostChanged || schemeChanged)) crossOriginRedirect_ = true;
  if (hostChanged || schemeChanged) CloseConnection();
  ResetAuthState();
  if (next.user != auth_.user.view() || next.password != auth_.password.view()) {
    if (auth_.user.Assign(next.user) != 0 || auth_.password.Assign(next.password) != 0) {
      return SetError(kErrOutOfMemory, "Out of memory.");
    }
    auth_.serverChallengeToken.Clear();
  }
  next.user.clear();
  next.password.clear();
  target_ = std::move(next);
  // The system's proxy depends on the scheme.
  if (schemeChanged && proxyAutoDetect_) SetProxyAutoDetect(true);
  auth::ResetAuthAttempts(auth_);
  int rc = BuildAuthorization(false);
  if (rc == 0) rc = BuildProxyAuthorization(false);
  if (!isRedirect && hostChanged && !dontClearCookiesOnUrlChange_) cookies_.PruneServerCookies();
  if (rc != 0) CloseConnection();
  return rc;
}

int HttpClient::SetHTTPVersion(std::string_view version) {
  httpVersion_.assign(version);
  if (EqualsNoCase(version, "1.0") || EqualsNoCase(version, "1.1")) return 0;
  if (EqualsNoCase(version, "2.0")) {
    if (!AlpnSupported()) return FailWith(HttpError::Http2Unsupported);
    return 0;
  }
  return FailWith(HttpError::InvalidHttpVersion);
}

// --- authentication ------------------------------------------------------------

auth::AuthRequest HttpClient::AuthRequestNow() const {
  auth::AuthRequest r;
  // Before the first request of a URL the verb is not known yet: the method
  // property, else the last verb sent, else GET.
  r.method = !headers_.httpMethod.empty() ? std::string_view(headers_.httpMethod)
             : !verb_.empty()             ? std::string_view(verb_)
                                          : std::string_view("GET");
  r.uri = target_.path;
  r.body = postData_;
  r.host = target_.host;
  r.proxyHost = ActiveProxy();
  r.proxyPort = ActiveProxyPort();
  r.kerberosSpn = Tls().kerberosSPN;
  r.useSystemSspi = Tls().useSystemSSPI;
  // Tokens made over TLS are bound to the server's certificate; only the
  // system package's exchanges use the bindings.
  r.bindChannel = Tls().extendedProtection && TlsActive();
  bool tokenScheme = auth_.authScheme == http::authNegotiate || auth_.authScheme == http::authNtlm ||
                     auth_.proxyAuthScheme == http::authNtlm;
  if (r.bindChannel && r.useSystemSspi && tokenScheme) r.channelBindings = ChannelBinding();
  return r;
}

auth::AuthLogFn HttpClient::AuthLogger() {
  if (!LogsAt(kLogProgress)) return {};
  return [this](std::string_view line) { Log(kLogProgress, line, "Info"); };
}

int HttpClient::BuildAuthorization(bool answer) {
  int rc = auth::BuildAuthorization(auth_, AuthRequestNow(), answer, AuthLogger());
  if (rc != 0) return SetError(rc, auth_.errorText.view());
  return 0;
}

int HttpClient::BuildProxyAuthorization(bool answer) {
  // Without a proxy there is nobody to send proxy credentials to.
  if (ActiveProxy().empty()) {
    if (auth_.proxyAuthScheme != http::authProprietary) auth_.proxyAuthorization.Clear();
    return 0;
  }
  int rc = auth::BuildProxyAuthorization(auth_, AuthRequestNow(), answer, AuthLogger());
  if (rc != 0) return SetError(rc, auth_.errorText.view());
  return 0;
}

void HttpClient::ResetAuthState() {
  auth_.serverChallengeToken.Clear();
  auth_.proxyChallengeToken.Clear();
}

bool HttpClient::HandshakeFirstLeg() const {
  return auth::EmptyBodyForHandshake(auth_, postDataAfterNegotiate_, !proxyServer_.empty());
}

bool HttpClient::DigestValueStale(const auth::DigestChallenge& record, std::string_view method) const {
  return !record.nonce.empty() && !record.user.empty() &&
         (record.method.view() != method || record.qop.view() == "auth-int");
}

int HttpClient::RefreshDigestForRequest(std::string_view verb) {
  // A Digest value made from a known challenge when the URL was set covers
  // the method (and, for auth-int, the body) the caller had not chosen yet:
  // made again for this request it is accepted without another 401.
  std::string_view method = headers_.httpMethod.empty() ? verb : std::string_view(headers_.httpMethod);
  bool server = auth_.authScheme == http::authDigest && auth_.serverAuthAttempts == 0 &&
                DigestValueStale(auth_.serverDigest, method);
  bool proxy = auth_.proxyAuthScheme == http::authDigest && auth_.proxyAuthAttempts == 0 && UsingProxy() &&
               DigestValueStale(auth_.proxyDigest, method);
  if (!server && !proxy) return 0;
  verb_.assign(method);
  if (server) {
    if (int rc = BuildAuthorization(false); rc != 0) return rc;
  }
  if (proxy) return BuildProxyAuthorization(false);
  return 0;
}

int HttpClient::SetUser(std::string_view user) {
  int rc = auth::SetUser(auth_, user, AuthRequestNow(), AuthLogger());
  if (rc != 0 && LastErrorText().empty()) SetError(rc, auth_.errorText.view());
  return rc;
}

int HttpClient::SetPassword(std::string_view password) {
  int rc = auth::SetPassword(auth_, password, AuthRequestNow(), AuthLogger());
  if (rc != 0 && LastErrorText().empty()) SetError(rc, auth_.errorText.view());
  return rc;
}

int HttpClient::SetProxyUser(std::string_view user) {
  if (int rc = auth_.proxyUser.Assign(user); rc != 0) return SetError(rc, "Out of memory.");
  return BuildProxyAuthorization(false);
}

int HttpClient::SetProxyPassword(std::string_view password) {
  if (int rc = auth_.proxyPassword.Assign(password); rc != 0) return SetError(rc, "Out of memory.");
  return BuildProxyAuthorization(false);
}

void HttpClient::SetAuthScheme(int scheme) {
  if (auth::SetAuthScheme(auth_, scheme)) headers_.keepAlive = true;
}

void HttpClient::SetProxyAuthScheme(int scheme) {
  if (auth::SetProxyAuthScheme(auth_, scheme)) headers_.keepAlive = true;
}

void HttpClient::SetAuthorization(std::string_view value) { auth::SetAuthorization(auth_, value); }

int HttpClient::SetProxyAuthorization(std::string_view value) {
  if (int rc = auth_.proxyAuthorization.Assign(value); rc != 0) return SetError(rc, "Out of memory.");
  return 0;
}

void HttpClient::SetKerberosToken(std::string_view token) { auth::SetKerberosToken(auth_, token); }

// --- cookies -------------------------------------------------------------------

void HttpClient::AddCookie(std::string_view name, std::string_view value) {
  Cookie c;
  c.name = name;
  c.value = value;
  c.callerOwned = true;
  cookies_.Store(c);
}

void HttpClient::SetStrictMode(bool on) noexcept {
  strictMode_ = on;
  reader_.SetStrict(on);
  Tls().recheckCertificateOnRenegotiation = on;
  if (!on) crossOriginRedirect_ = false;
}

CookieOrigin HttpClient::CurrentCookieOrigin(std::string& hostLower) const {
  hostLower = target_.host;
  for (char& c : hostLower) c = LowerAscii(c);
  return CookieOrigin{hostLower, target_.path, EqualsNoCase(target_.scheme, kSchemeSecure),
                      static_cast<int64_t>(std::time(nullptr))};
}

void HttpClient::CookieHeader(std::string& out) {
  out.swap(httpCookies_);
  httpCookies_.clear();
  if (!strictMode_) {
    if (out.empty()) out = cookies_.HeaderValue();
    return;
  }
  // After a redirect to another origin only the cookies that origin set go
  // along: not the caller's own, not a one-shot text meant for the first host.
  if (crossOriginRedirect_) out.clear();
  if (!out.empty()) return;
  std::string host;
  out = cookies_.HeaderValueFor(CurrentCookieOrigin(host), !crossOriginRedirect_);
}

int HttpClient::OnSetCookieHeader(std::string_view value) {
  Cookie c = CookieList::ParseSetCookie(value);
  FireSetCookie(c);
  CookieList::StoreResult result;
  if (strictMode_) {
    std::string host;
    result = cookies_.StoreStrict(c, CurrentCookieOrigin(host));
  } else {
    result = cookies_.Store(c);
  }
  const char* why = nullptr;
  switch (result) {
    case CookieList::StoreResult::added:
    case CookieList::StoreResult::updated:
    case CookieList::StoreResult::expired: break;
    case CookieList::StoreResult::tooLarge: why = "larger than the cookie size limit"; break;
    case CookieList::StoreResult::full: why = "the cookie list is full"; break;
    case CookieList::StoreResult::rejected: why = "its domain does not match the host"; break;
  }
  if (why != nullptr && LogsAt(kLogProgress)) {
    Log(kLogProgress, "Cookie not stored (" + std::string(why) + "): " + c.name);
  }
  return 0;
}

void HttpClient::Interrupt() {
  if (currentAction_ == 0) return;
  interruptRequested_ = true;
  currentAction_ = 0;
  if (platformWorker_.joinable()) {
    handOver_.Cancel();
    platform_->Wake();
  }
  TransferClient::Interrupt();
  CloseConnection();
}

void HttpClient::ResetAll() {
  memory_.Data().Clear();
  getOn302Redirect_ = false;
  SetURL("");
  postData_.clear();
  headers_.contentType.clear();
  auth::ResetAuth(auth_);
  headers_.authorization.clear();
  headers_.proxyAuthorization.clear();
  headers_.accept.clear();
  headers_.from.clear();
  headers_.ifModifiedSince.clear();
  headers_.referer.clear();
  headers_.pragma.clear();
  headers_.otherHeaders.clear();
  statusLine_.clear();
  attachedFile_.clear();
  file_.Path().clear();
  parsedHeaders_.clear();
  cookies_.Clear();
  decoder_.Reset();
}

}  // namespace corvane
