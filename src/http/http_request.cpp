// Connecting and sending one request: the connection choice (direct, proxy,
// tunnel), the head, and the body from PostData and AttachedFile.
#include "core/config_item.h"
#include "http/http_client.h"
#include "http/http_status.h"
#include "net/system_proxy.h"

namespace corvane {

using namespace http;

namespace {

constexpr int kBodyBlock = 16384;

bool IsPlainOrSecure(std::string_view scheme) {
  return EqualsNoCase(scheme, kSchemePlain) || EqualsNoCase(scheme, kSchemeSecure);
}

}  // namespace

void HttpClient::LogRequestSummary(std::string_view verb) {
  if (!LogsAt(kLogSummary)) return;
  std::string shown(headers_.httpMethod.empty() ? verb : std::string_view(headers_.httpMethod));
  Log(kLogProgress, "HTTP Method: " + shown);
  Log(kLogProgress, "HTTP Version: " + negotiatedVersion_);
  std::string line = "Sending Request: " + shown + " (HTTP " + negotiatedVersion_ + ") to " + target_.url;
  if (!proxyServer_.empty()) {
    line += " via proxy server '" + proxyServer_ + ":" + std::to_string(proxyPort_) +
            "' with credentials '" + auth_.proxyUser.str() + "\\" +
            std::string(static_cast<size_t>(auth_.proxyPassword.size()), 'x') + "' (" +
            AuthSchemeName(auth_.proxyAuthScheme) + ")";
  }
  Log(kLogSummary, line);
}

void HttpClient::ResetResponse() {
  reader_.Reset(verb_ == "HEAD");
  parsedHeaders_.clear();
  transferredHeaders_.Clear();
  memory_.Data().Consume(memory_.Data().size());
  bytesTransferred_ = 0;
  decodedBytes_ = 0;
  responseDone_ = false;
  endTransferFired_ = false;
  responseError_ = 0;
  serverClosesConnection_ = false;
  responseContentType_.clear();
  redirectLocation_.clear();
  file_.Close();
}

int HttpClient::ConnectForRequest(std::string_view verb) {
  verb_.assign(headers_.httpMethod.empty() ? verb : std::string_view(headers_.httpMethod));
  ResetResponse();
  const std::string& proxy = ActiveProxy();
  proxyBypassed_ = proxyAutoDetect_ && !proxy.empty() &&
                   IsProxyBypassed(ReadSystemProxySettings().bypass, target_.host, target_.port, target_.scheme);
  // The composer's copies of the two values the AuthState holds; the proxy
  // value only goes to a proxy that sees the request (a tunnel authenticates
  // its CONNECT itself).
  headers_.authorization.assign(auth_.authorization.view());
  if (UsingProxy()) headers_.proxyAuthorization.assign(auth_.proxyAuthorization.view());
  else headers_.proxyAuthorization.clear();
  if (crossOriginRedirect_) {
    // Strict: credentials were given for the origin the caller named.
    headers_.authorization.clear();
    headers_.proxyAuthorization.clear();
  }
  // The reader splits lines itself, so the socket hands over raw blocks.
  SetTerminator("");
  if (target_.host.empty()) return FailWith(HttpError::NoServer);

  std::string host = target_.host;
  int port = target_.port;
  bool tls = EqualsNoCase(target_.scheme, kSchemeSecure);
  int tunnelType = fwNone;
  if (!proxy.empty() && !proxyBypassed_) {
    int mode = proxySSL_;
    if (mode == http::psAutomatic && tls) mode = http::psTunnel;
    if (mode != http::psTunnel) {
      host = proxy;
      port = ActiveProxyPort();
      tls = mode == http::psAlways;
    } else {
      if (!IsPlainOrSecure(target_.scheme)) return FailWith(HttpError::InvalidScheme, target_.scheme);
      switch (auth_.proxyAuthScheme) {
        case http::authBasic:
        case http::authNone: tunnelType = fwTunnel; break;
        case http::authNtlm: tunnelType = fwTunnelNTLM; break;
        case http::authNegotiate: tunnelType = fwTunnelNegotiate; break;
        case http::authDigest: tunnelType = fwTunnelDigest; break;
        default: return FailWith(HttpError::UnknownProxyAuthScheme);
      }
    }
  } else if (!IsPlainOrSecure(target_.scheme)) {
    return FailWith(HttpError::InvalidScheme, target_.scheme);
  }

  if (IsConnected() || SocketOpen()) {
    const FirewallFilter& fw = Firewall();
    bool sameTunnel = tunnelType == fwNone ? !fw.ProxyTunnelOn()
                                           : fw.ProxyTunnelOn() && fw.ActiveType() == tunnelType &&
                                                 fw.ProxyTunnelHost() == proxy && fw.ActivePort() == ActiveProxyPort();
    bool same = EqualsNoCase(RemoteHost(), host) && RemotePort() == port && TlsEnabled() == tls && sameTunnel;
    if (same && IsConnected()) return 0;
    CloseConnection();
  }
  reusedConnection_ = false;
  if (int rc = SetTunnel(tunnelType); rc != 0) return rc;
  SetTlsEnabled(tls);
  if (int rc = SetRemoteHost(host); rc != 0) return rc;
  if (int rc = SetRemotePort(port); rc != 0) return rc;
  ++connectionSerial_;
  return ConnectAndWait(ConnectionTimeout());
}

int HttpClient::CheckRequestValues(std::string_view verb, bool withBody) {
  // The same check as the writer's, on every value the request may carry,
  // also those a tunnel sends before the request (host, UserAgent, the
  // proxy credentials), without consuming the one-shot cookie text.
  RequestHeaders values = headers_;
  values.authorization.assign(auth_.authorization.view());
  values.proxyAuthorization.assign(auth_.proxyAuthorization.view());
  std::string cookie = httpCookies_.empty() ? cookies_.HeaderValue() : httpCookies_;
  RequestHeadPlan plan;
  plan.verb = verb;
  plan.httpVersion = httpVersion_;
  plan.viaProxy = true;
  plan.withBody = withBody;
  plan.cookie = cookie;
  std::string_view unsafe = UnsafeRequestValue(target_, values, plan);
  if (unsafe.empty() && !ActiveProxy().empty() && !IsSafeFieldValue(auth_.proxyUser.view())) unsafe = "ProxyUser";
  if (unsafe.empty()) return 0;
  return FailWith(HttpError::UnsafeRequestValue, unsafe);
}

int HttpClient::SendRequest(std::string_view verb, bool withBody) {
  if (int rc = ConnectForRequest(verb); rc != 0) return rc;
  Log(kLogVerbose, "Sending Headers");

  emptyBodyForHandshake_ = false;
  contentLength_ = 0;
  if (withBody) {
    contentLength_ = static_cast<int64_t>(postData_.size());
    if (postDataAfterNegotiate_ && HandshakeFirstLeg()) {
      emptyBodyForHandshake_ = true;
    } else if (!RequestBodyLength(postData_, attachedFile_, contentLength_)) {
      return FailWith(HttpError::AttachedFileOpen);
    }
  }
  std::string cookie;
  CookieHeader(cookie);
  RequestHeadPlan plan;
  plan.verb = verb;
  plan.httpVersion = negotiatedVersion_;
  plan.viaProxy = UsingProxy();
  plan.withBody = withBody;
  plan.emptyBodyForHandshake = emptyBodyForHandshake_;
  plan.contentLength = contentLength_;
  plan.cookie = cookie;
  if (std::string_view unsafe = ComposeRequestHead(target_, headers_, plan, requestHead_); !unsafe.empty()) {
    return FailWith(HttpError::UnsafeRequestValue, unsafe);
  }
  if (!withBody) requestHead_.append("\r\n");

  if (recordRequest_) sentHeaders_ = requestHead_;
  if (debugTrace_) {
    FireTransfer(0, static_cast<int64_t>(requestHead_.size()), -1, requestHead_);
  }
  int rc = SendBlocking(requestHead_.data(), static_cast<int64_t>(requestHead_.size()), false, false);
  if (rc != 0) return rc;
  Log(kLogVerbose, requestHead_, "RequestHeaders");
  return 0;
}

int HttpClient::SendBlock(const char* data, size_t length, bool chunked) {
  if (!chunked) return SendBlocking(data, static_cast<int64_t>(length), true, false);
  std::string framed;
  framed.reserve(length + 16);
  AppendChunkSizeLine(length, framed);
  framed.append(data, length);
  framed.append("\r\n");
  return SendBlocking(framed.data(), static_cast<int64_t>(framed.size()), true, false);
}

int HttpClient::EvaluateStatusEarly() {
  // An answer that arrived while the body was still going out: a final
  // status other than success ends the upload (the response is evaluated as
  // usual once it is complete).
  if (!reader_.statusLineSeen()) return 0;
  int status = reader_.statusCode();
  if ((status >= 200 && status <= 299) || (status >= 100 && status <= 199)) return 0;
  serverClosesConnection_ = true;  // the rest of the body will never be sent
  return -2;
}

int HttpClient::OnSendProgress(int64_t bytesSent) {
  return sendingBody_ ? EvaluateStatusEarly() : 0;
}

int HttpClient::SendBody() {
  if (emptyBodyForHandshake_ || (postData_.empty() && attachedFile_.empty())) return 0;
  Log(kLogProgress, "Preparing PostData");
  FireStartTransfer(0);
  Log(kLogProgress, "Sending Body");
  bool chunked = headers_.useChunkedEncoding;
  size_t block = chunked ? static_cast<size_t>(chunkSize_ < 1 ? kBodyBlock : chunkSize_) : kBodyBlock;
  int64_t sent = 0;
  bool wantEvents = WantsTransferEvents();
  sendingBody_ = true;
  int rc = 0;
  auto sendOne = [&](const char* p, size_t n) -> int {
    int r = SendBlock(p, n, chunked);
    if (r != 0) return r;
    sent += static_cast<int64_t>(n);
    if (wantEvents) {
      SetTransferText(std::string_view(p, n));
      FireTransfer(0, sent, UploadPercent(sent, contentLength_), std::string_view(p, n));
      ClearTransferText();
    }
    return EvaluateStatusEarly();
  };

  if (!postData_.empty()) {
    if (debugTrace_) FireTransfer(0, static_cast<int64_t>(postData_.size()), -1, postData_);
    for (size_t off = 0; off < postData_.size() && rc == 0; off += block) {
      rc = sendOne(postData_.data() + off, std::min(block, postData_.size() - off));
    }
    if (rc == 0) {
      Log(kLogVerbose, postData_, "RequestBody");
      if (recordRequest_) transferredRequest_ = postData_;
    }
  } else if (recordRequest_) {
    transferredRequest_.clear();
  }
  if (rc == 0 && !attachedFile_.empty()) {
    FileHandle f;
    if (OpenForRead(attachedFile_, f) != 0) {
      rc = FailWith(HttpError::AttachedFileOpen);
    } else {
      std::string buffer(block, '\0');
      for (;;) {
        ssize_t n = f.Read(buffer.data(), buffer.size());
        if (n < 0) {
          rc = FailWith(HttpError::AttachedFileOpen);
          break;
        }
        if (n == 0) break;
        rc = sendOne(buffer.data(), static_cast<size_t>(n));
        if (rc != 0) break;
        if (recordRequest_ || LogsAt(kLogVerbose)) {
          std::string_view piece(buffer.data(), static_cast<size_t>(n));
          Log(kLogVerbose, piece, "RequestBody");
          if (recordRequest_) transferredRequest_.append(piece);
        }
      }
    }
  }
  if (rc == 0 && chunked) rc = SendBlocking("0\r\n\r\n", 5, true, false);
  sendingBody_ = false;
  if (rc == -2) return 0;  // stopped by an early answer; the response decides
  if (rc != 0) return rc;
  FireEndTransfer(0);
  return 0;
}

}  // namespace corvane
