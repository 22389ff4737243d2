// The transaction driver. One Action runs one or more rounds of a request: a
// round per authentication answer and per redirect followed. Each round walks
// the states of TxState, one method per state; RunTransaction is the only
// place that moves between them, so a follow-up round is a transition back
// to start rather than a nested Action.
#include "core/config_item.h"
#include "http/http2_bridge.h"
#include "http/http_client.h"

namespace corvane {

using namespace http;

namespace {

bool IsRedirectStatus(int code) { return code >= 300 && code <= 399 && code != 304 && code != 305; }

// Errors of a kept-alive connection the server closed just before the
// request went out (besides a close without any error).
bool IsStaleConnectionError(int rc) {
  return rc == 0 || rc == 10053 || rc == 10054 || rc == 10057 || rc == 10058;
}

}  // namespace

int HttpClient::Action(int code) {
  if (LogsAt(kLogProgress)) Log(kLogProgress, "URL: " + target_.url);
  if (RefusesActions() && code != http::actInterrupt) return FailWith(HttpError::Busy);
  if (code == http::actInterrupt) {
    Interrupt();
    return 0;
  }

  tx_ = Transaction{};
  tx_.action = code;
  tx_.state = TxState::start;
  bool platform = IsPlatformAction(code);
  int rc = platform ? RunPlatformTransaction() : RunTransaction();

  std::string kept = LastErrorText().str();
  // After a complete response on a kept connection nothing is pending; the
  // next request's own check notices a close by the server.
  if (!platform && code != http::actReset && Timeout() >= 0 && !(responseDone_ && IsConnected())) {
    DrainPending(100);
  }
  if (WasInterrupted() || interruptRequested_) {
    rc = kErrInterrupted;
    interruptRequested_ = false;
    if (LastErrorText().empty()) SetError(kErrInterrupted, "Interrupted.");
  }
  // Every round opened an operation of the socket layer; they end together,
  // so an interruption seen in one round still holds in the next.
  for (int i = 0; i < tx_.rounds; ++i) EndOperation();
  currentAction_ = 0;
  if (LastErrorText().empty() && !kept.empty()) SetError(rc, kept);
  if (rc == 0) ClearError();
  return rc;
}

int HttpClient::RunTransaction() {
  int rc = 0;
  while (tx_.state != TxState::done) {
    TxState state = tx_.state;
    tx_.state = TxState::done;
    switch (state) {
      case TxState::start: rc = DoStart(); break;
      case TxState::prepare: rc = DoPrepare(); break;
      case TxState::http2: rc = DoHttp2(); break;
      case TxState::sendHeaders: rc = DoSendHeaders(); break;
      case TxState::sendBody: rc = DoSendBody(); break;
      case TxState::awaitResponse: rc = DoAwaitResponse(); break;
      case TxState::resendCheck: rc = DoResendCheck(rc); break;
      case TxState::evaluate: rc = DoEvaluate(rc); break;
      case TxState::authRetry: rc = DoAuthRetry(); break;
      case TxState::redirect: rc = DoRedirect(); break;
      case TxState::reset:
        ResetAll();
        rc = 0;
        break;
      case TxState::done: break;
    }
  }
  return rc;
}

int HttpClient::DoStart() {
  StartDeadline();
  decoder_.Reset();
  ClearError();
  statusLine_.clear();
  redirectLocation_.clear();
  contentLength_ = 0;
  responseDone_ = false;
  interruptRequested_ = false;
  ClearInterruptFlag();

  int code = tx_.action;
  currentAction_ = code;
  BeginOperation();
  ++tx_.rounds;
  reusedConnection_ = false;
  if (headers_.keepAlive && IsConnected()) {
    WaitStep(0);  // notices a connection the server closed meanwhile
    reusedConnection_ = IsConnected();
  }
  tx_.attempt = 0;
  tx_.state = TxState::prepare;
  switch (code) {
    case http::actGet: tx_.verb = "GET"; tx_.hasBody = false; break;
    case http::actHead: tx_.verb = "HEAD"; tx_.hasBody = false; break;
    case http::actDelete: tx_.verb = "DELETE"; tx_.hasBody = false; break;
    case http::actPost: tx_.verb = "POST"; tx_.hasBody = true; break;
    case http::actPut: tx_.verb = "PUT"; tx_.hasBody = true; break;
    case http::actReset: tx_.state = TxState::reset; break;
    default: tx_.state = TxState::done; break;  // not a request: nothing to run
  }
  return 0;
}

int HttpClient::DoPrepare() {
  if (int rc = SetHTTPVersion(httpVersion_); rc != 0) return rc;
  if (int rc = RefreshDigestForRequest(tx_.verb); rc != 0) return rc;
  if (int rc = CheckRequestValues(tx_.verb, tx_.hasBody); rc != 0) return rc;
  negotiatedVersion_ = httpVersion_;
  // A connection kept for HTTP/2 carries frames: an HTTP/1.x request needs its own.
  if (httpVersion_ != "2.0" && http2_ && http2_->Active()) CloseConnection();
  ClearNegotiatedAlpn();
  tx_.state = httpVersion_ == "2.0" ? TxState::http2 : TxState::sendHeaders;
  return 0;
}

bool HttpClient::RunHttp2(std::string_view verb, bool hasBody, int* result) {
  if (!http2_) http2_ = std::make_unique<Http2Bridge>(*this);
  return http2_->Run(verb, hasBody, result);
}

int HttpClient::DoHttp2() {
  int result = 0;
  if (RunHttp2(tx_.verb, tx_.hasBody, &result)) {
    tx_.state = TxState::evaluate;
    return result;
  }
  if (!allowHttpFallback_) return FailWith(HttpError::Http2NoFallback);
  if (!EqualsNoCase(target_.scheme, kSchemeSecure)) return FailWith(HttpError::Http2Plaintext);
  FireSSLStatus("Server does not support ALPN protocol h2. Falling back to HTTP/1.1");
  negotiatedVersion_ = "1.1";
  tx_.state = TxState::sendHeaders;
  return 0;
}

int HttpClient::DoSendHeaders() {
  LogRequestSummary(tx_.verb);
  int rc = SendRequest(tx_.verb, tx_.hasBody);
  tx_.state = rc != 0 ? TxState::resendCheck : tx_.hasBody ? TxState::sendBody : TxState::awaitResponse;
  return rc;
}

int HttpClient::DoSendBody() {
  int rc = SendBody();
  tx_.state = rc != 0 ? TxState::resendCheck : TxState::awaitResponse;
  return rc;
}

int HttpClient::DoAwaitResponse() {
  int rc = WaitForResponse();
  tx_.state = TxState::resendCheck;
  return rc;
}

int HttpClient::DoResendCheck(int rc) {
  // A kept-alive connection the server closed just before our request ends
  // without a single response byte; such a request is sent once more on a
  // new connection (RFC 7230 6.3.1).
  if (tx_.attempt == 0 && reusedConnection_ && !reader_.statusLineSeen() && bytesTransferred_ == 0 &&
      IsStaleConnectionError(rc) && !interruptRequested_ && !WasInterrupted()) {
    CloseConnection();
    reusedConnection_ = false;
    ClearError();
    ++tx_.attempt;
    tx_.state = TxState::sendHeaders;
    return 0;
  }
  tx_.state = TxState::evaluate;
  return rc;
}

int HttpClient::WaitForResponse() {
  Log(kLogProgress, "Request Sent");
  if (!IsConnected() || !SocketOpen()) return responseError_;
  for (;;) {
    if (responseDone_) return responseError_;
    if (responseError_ != 0) return responseError_;
    if (!IsConnected() || !SocketOpen()) return responseError_;
    if (!WaitStep(SelectWaitMillis())) return kErrInterrupted;
  }
}

int HttpClient::DoEvaluate(int waitResult) {
  if (waitResult == kErrInterrupted) {
    CloseConnection();
    return kErrInterrupted;
  }
  if (interruptRequested_) return kErrInterrupted;
  if (waitResult != 0) {
    CloseConnection();
    return waitResult;
  }
  // Closed or reset before a status line: no answer at all, never success.
  if (!reader_.statusLineSeen()) return FailWith(HttpError::ConnectionClosed);

  Log(kLogProgress, "Transfer Complete");
  if (LogsAt(kLogSummary)) {
    Log(kLogSummary, "Response: " + statusLine_ + ", " + std::to_string(bytesTransferred_) +
                         " Bytes Transferred");
  }
  int status = reader_.statusCode();
  if ((status >= 200 && status <= 299) || status == 101) {
    // The server's last Negotiate token proves its identity.
    if (auth_.authScheme == http::authNegotiate) {
      if (int rc = auth::VerifyServerToken(auth_, AuthRequestNow()); rc != 0) {
        CloseConnection();
        return SetError(rc, auth_.errorText.view());
      }
    }
    return waitResult;
  }

  std::string& message = tx_.statusMessage;
  message = status == 407 ? "Proxy error: " : "";
  message += HttpErrorText(HttpError::ProtocolStatus);
  message += std::to_string(status) + " " + std::string(reader_.statusDescription());
  if (message.back() != '.') message += ".";
  int protocolCode = HttpErrorCode(HttpError::ProtocolStatus);
  SetError(protocolCode, message);

  // Strict: no credentials are offered to an origin a redirect led to.
  if ((status == 401 || status == 407) && !crossOriginRedirect_) {
    // One answer per challenge kind and transaction; the counters end the
    // retries.
    auth::AuthRetryResult answer = auth::AnswerChallenge(auth_, status, AuthRequestNow(), AuthLogger());
    switch (answer.action) {
      case auth::AuthRetry::notHandled: break;
      case auth::AuthRetry::retry: tx_.state = TxState::authRetry; return protocolCode;
      case auth::AuthRetry::failServer: return protocolCode;
      case auth::AuthRetry::failProxy: return SetError(answer.code, message);
      case auth::AuthRetry::buildFailed:
        CloseConnection();
        return SetError(answer.code, auth_.errorText.view());
    }
  }
  if (followRedirects_ == http::frNever) return protocolCode;
  bool methodFollows = verb_ == "GET" || verb_ == "HEAD" || verb_ == "POST" || followRedirects_ == http::frAlways;
  if (!IsRedirectStatus(status) || !methodFollows) return protocolCode;
  if (redirectLocation_.empty()) return FailWith(HttpError::RedirectLocationMissing);
  tx_.state = TxState::redirect;
  return protocolCode;
}

int HttpClient::DoAuthRetry() {
  int code = currentAction_;
  currentAction_ = 0;
  return NextRound(code);
}

int HttpClient::DoRedirect() {
  int protocolCode = HttpErrorCode(HttpError::ProtocolStatus);
  int status = reader_.statusCode();
  std::string location = redirectLocation_;
  bool accept = followRedirects_ == http::frAlways;
  if (followRedirects_ == http::frSameScheme) {
    RequestTarget resolved = ResolveTarget(target_, location, {encodeRedirectLocation_, encodeQueryString_}, true);
    accept = EqualsNoCase(resolved.scheme, target_.scheme);
  }
  if (!allowIdenticalRedirectURL_ && location == target_.url) {
    CloseConnection();
    return FailWith(HttpError::IdenticalRedirect);
  }
  if (redirectsLeft_ <= 0) {
    CloseConnection();
    return FailWith(HttpError::TooManyRedirects);
  }
  --redirectsLeft_;
  if (int rc = SetURL(location, true); rc != 0) return rc;
  if (!FireRedirect(location, accept)) {
    SetError(protocolCode, tx_.statusMessage);
    return protocolCode;
  }
  DrainPending(10);
  int code = currentAction_;
  if (code == http::actPost && (status == 303 || (status == 302 && getOn302Redirect_))) code = http::actGet;
  currentAction_ = 0;
  return NextRound(code);
}

int HttpClient::NextRound(int code) {
  if (LogsAt(kLogProgress)) Log(kLogProgress, "URL: " + target_.url);
  // An Interrupt from an event handler of the last round leaves no action
  // to repeat; the interruption itself is reported when the Action ends.
  if (code == http::actInterrupt) {
    Interrupt();
    return 0;
  }
  tx_.action = code;
  tx_.state = TxState::start;
  return 0;
}

}  // namespace corvane
