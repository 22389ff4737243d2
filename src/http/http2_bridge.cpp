#include "http/http2_bridge.h"

#include <cstdint>

#include "http/http_client.h"
#include "http/http_status.h"

namespace corvane {

Http2Bridge::Http2Bridge(HttpClient& client) : c_(client), exchange_(*this) {}

int Http2Bridge::OpenConnection(std::string_view verb) {
  // HTTP/2 is asked for through ALPN unless the caller chose the list;
  // http/1.1 is offered too, since a server that knows only that may
  // otherwise refuse the handshake instead of letting the request fall back.
  bool ours = c_.ALPNExtension().empty();
  if (ours) c_.SetALPNExtension("h2,http/1.1");
  int rc = c_.ConnectForRequest(verb);
  // The list was ours, not the caller's: a later HTTP/1.x request on a new
  // connection must not offer h2 and have the server choose it.
  if (ours) c_.SetALPNExtension("");
  return rc;
}

std::string Http2Bridge::AlpnSelection() { return c_.NegotiatedAlpn(); }

int Http2Bridge::ComposeRequest(std::string_view verb, bool hasBody, Http2Request& r) {
  const http::RequestTarget& t = c_.Target();
  r.scheme = t.scheme;
  r.host = t.host;
  r.port = t.port;
  r.pathAndQuery = t.path.empty() ? "/" : t.path;
  r.postData = c_.PostData();
  r.attachedFile = c_.AttachedFile();
  r.contentLength = static_cast<int64_t>(r.postData.size());
  if (hasBody && !http::RequestBodyLength(r.postData, r.attachedFile, r.contentLength)) {
    return c_.FailWith(http::HttpError::AttachedFileOpen);
  }
  std::string cookie;
  c_.CookieHeader(cookie);
  http::RequestHeadPlan plan;
  plan.verb = verb;
  plan.withBody = hasBody;
  plan.contentLength = r.contentLength;
  plan.cookie = cookie;
  if (std::string_view unsafe = http::ComposeRequestHead(t, c_.Headers(), plan, r.headerBlock); !unsafe.empty()) {
    return c_.FailWith(http::HttpError::UnsafeRequestValue, unsafe);
  }
  return 0;
}

void Http2Bridge::BeginResponse(std::string_view verb) { c_.BeginHttp2Response(verb); }

int Http2Bridge::SendBytes(const char* data, size_t length) {
  return c_.SendBlocking(data, static_cast<int64_t>(length), false, false);
}

size_t Http2Bridge::SendAvailable(const char* data, size_t length) {
  if (!ConnectionOpen() || length > INT32_MAX) return 0;
  int accepted = 0;
  c_.SendPlain(data, static_cast<int>(length), accepted);
  return accepted > 0 ? static_cast<size_t>(accepted) : 0;
}

int Http2Bridge::WaitOnce() { return c_.WaitStep(c_.SelectWaitMillis()) ? 0 : kErrInterrupted; }

bool Http2Bridge::ConnectionOpen() { return c_.IsConnected() && c_.SocketOpen(); }

void Http2Bridge::CloseConnection() { c_.CloseConnection(); }

bool Http2Bridge::KeepConnection() {
  keptSerial_ = c_.connectionSerial_;
  return c_.headers_.keepAlive && !c_.serverClosesConnection_;
}

bool Http2Bridge::SameConnection() { return c_.IsConnected() && c_.connectionSerial_ == keptSerial_; }

void Http2Bridge::UploadStarted() {
  c_.Log(kLogProgress, "Sending Body");
  c_.FireStartTransfer(0);
}

void Http2Bridge::UploadProgress(int64_t sent, int64_t total, std::string_view piece) {
  if (c_.WantsTransferEvents()) c_.FireTransfer(0, sent, http::UploadPercent(sent, total), piece);
}

void Http2Bridge::UploadEnded() { c_.FireEndTransfer(0); }

int Http2Bridge::Fail(int code, std::string_view text) { return c_.SetError(code, text); }

// The driver evaluates the status once Run returns.
int Http2Bridge::FinishRequest(int waitResult) { return waitResult; }

int Http2Bridge::ProcessHeader(std::string_view name, std::string_view value) {
  return c_.Http2HeaderPair(name, value);
}

int Http2Bridge::EndOfHeaders() { return c_.Http2EndOfHeaders(false); }

int Http2Bridge::DeliverBody(const char* data, size_t length) { return c_.DeliverBody(data, length); }

int Http2Bridge::CompleteResponse() {
  c_.Http2EndOfStream();
  return 0;
}

bool Http2Bridge::LogsAt(int level) const { return c_.LogsAt(level); }

void Http2Bridge::Log(int level, std::string_view message, std::string_view logType) {
  c_.Log(level, message, logType);
}

}  // namespace corvane
