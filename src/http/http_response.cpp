// The response side: the reader's callbacks, header processing, body
// decoding and delivery to TransferredData or LocalFile, and completion.
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

#include "core/config_item.h"
#include "core/error_text.h"
#include "core/number_text.h"
#include "http/http2_bridge.h"
#include "http/http_client.h"
#include "http/http_status.h"
#include "net/socket_errors.h"

namespace corvane {

using namespace http;

namespace {

bool Is3xx(int status) { return status >= 300 && status <= 399; }

}  // namespace

void HttpClient::DataIn(const char* data, int length, bool isLine) {
  if (http2_ && http2_->Active()) {
    if (length > 0) http2_->OnReceived(data, static_cast<size_t>(length));
    return;
  }
  if (currentAction_ == 0 || reader_.complete() || length <= 0) return;
  NoteActivity();
  int rc = reader_.Feed(data, static_cast<size_t>(length), *this);
  if (rc == 0) return;
  if (reader_.hasFailure()) SetError(rc, HttpErrorText(reader_.failure()));
  responseError_ = rc;
  reader_.Stop();
  CloseConnection();
}

void HttpClient::OnDisconnected(int code) {
  if (http2_) http2_->ConnectionGone();
  if (currentAction_ != 0 && !reader_.complete() && responseError_ == 0 && !closingOnPurpose_) {
    bool closeDelimited = reader_.state() == ResponseReader::State::body && reader_.bodyRemaining() < 0;
    if (ChannelFailure() != 0) {
      // The TLS layer closed the channel under the response; its code and
      // text say why better than a short response would.
      responseError_ = ChannelFailure();
    } else if (code != 0 && reader_.statusLineSeen()) {
      // A reset is no end of message, even for a body that ends with the
      // connection: what arrived may be cut anywhere.
      responseError_ = SetError(code, DescribeError(code));
    } else if (closeDelimited && TlsActive() && State() == ChannelState::Established) {
      // Without close_notify a TCP close can be forged by anyone on the path
      // (RFC 8446 6.1, RFC 9112 9.8): the body's end is not proven.
      responseError_ = FailWith(HttpError::TlsTruncated);
    } else if (int rc = reader_.OnConnectionClosed(*this); rc != 0) {
      if (reader_.hasFailure()) SetError(rc, HttpErrorText(reader_.failure()));
      responseError_ = rc;
    }
  }
  TransferClient::OnDisconnected(code);
}

int HttpClient::OnStatusLine(bool interim) {
  bytesTransferred_ = 0;
  transferredHeaders_.Clear();
  // The block stays for the next body (a repeated download then does not
  // fault in fresh pages); OnHeadComplete frees one far too large.
  memory_.Data().Consume(memory_.Data().size());
  responseContentType_.clear();
  statusLine_.assign(reader_.statusLine());
  Log(kLogProgress, "Response Received");
  if (LogsAt(kLogProgress)) Log(kLogProgress, "Status Line: " + statusLine_);
  serverClosesConnection_ = reader_.responseVersion() == "HTTP/1.0";
  if (!interim) FireStatus(reader_.responseVersion(), reader_.statusCode(), reader_.statusDescription());
  return 0;
}

int HttpClient::OnHeaderLine(std::string_view line, std::string_view field, std::string_view value) {
  if (int rc = transferredHeaders_.Append(line); rc != 0) return rc;
  if (int rc = transferredHeaders_.Append("\r\n", 2); rc != 0) return rc;
  Log(kLogVerbose, line, "ResponseHeaders");
  return ProcessHeader(field, value);
}

int HttpClient::ProcessHeader(std::string_view field, std::string_view value) {
  lastHeaderField_.assign(field);
  if (followRedirects_ != http::frNever && EqualsNoCase(field, "Location")) redirectLocation_.assign(value);
  if (!field.empty()) {
    parsedHeaders_.emplace_back(field);
    parsedHeaders_.emplace_back(value);
  } else if (!parsedHeaders_.empty()) {
    std::string& last = parsedHeaders_.back();
    if (!last.empty()) last.push_back('\t');
    last.append(value);
  }
  FireHeader(field, value);

  if (field == ":status") {
    int code = 0;
    for (size_t i = 0; i < value.size() && i < 9 && value[i] >= '0' && value[i] <= '9'; ++i) {
      code = code * 10 + (value[i] - '0');
    }
    std::string version = "HTTP/" + httpVersion_;
    std::string_view reason = ReasonPhrase(code);
    reader_.SetStatus(version, code, reason);
    statusLine_ = version + " " + std::string(value) + " " + std::string(reason);
    FireStatus(version, code, reason);
  } else if (EqualsNoCase(field, "Content-Type")) {
    responseContentType_.assign(value);
  } else if (EqualsNoCase(field, "Connection")) {
    if (EqualsNoCase(value, "close")) serverClosesConnection_ = true;
    else if (EqualsNoCase(value, "keep-alive")) serverClosesConnection_ = false;
  } else if (EqualsNoCase(field, "WWW-Authenticate")) {
    auth::TakeWwwAuthenticate(auth_, value);
  } else if (EqualsNoCase(field, "content-encoding")) {
    if (headers_.allowHttpCompression) {
      int coding = EqualsNoCase(value, "gzip") ? ContentDecoder::codingGzip
                   : EqualsNoCase(value, "deflate") ? ContentDecoder::codingDeflate
                                                    : decoder_.coding();
      if (coding != ContentDecoder::codingNone) {
        if (int rc = decoder_.Start(coding); rc != 0) return FailWith(decoder_.failure());
      }
    }
  } else if (EqualsNoCase(field, "Proxy-Authenticate")) {
    auth::TakeProxyAuthenticate(auth_, value);
  } else if (EqualsNoCase(field, "Set-Cookie")) {
    return OnSetCookieHeader(value);
  }
  return 0;
}

void HttpClient::BeginHttp2Response(std::string_view verb) {
  verb_.assign(verb);
  ResetResponse();
  http2Announced_ = -1;
}

int HttpClient::Http2HeaderPair(std::string_view name, std::string_view value) {
  std::string line = std::string(name) + ": " + std::string(value);
  if (int rc = transferredHeaders_.Append(line + "\r\n"); rc != 0) return rc;
  Log(kLogVerbose, line, "ResponseHeaders");
  if (name == "content-length" && !ParseDecimal(value, http2Announced_)) http2Announced_ = -1;
  return ProcessHeader(name, value);
}

int HttpClient::Http2EndOfHeaders(bool endStream) {
  int status = reader_.statusCode();
  bool hasBody = !(verb_ == "HEAD" || status == 204 || status == 304 || status == 101 || endStream);
  if (hasBody && !(Is3xx(status) && !redirectLocation_.empty())) FireStartTransfer(1);
  if (!hasBody) CompleteResponse();
  // A stored body of announced length is one block, as over HTTP/1.
  if (hasBody) SizeBodyStore(http2Announced_);
  return 0;
}

void HttpClient::Http2EndOfStream() {
  Log(kLogProgress, "Response Received");
  CompleteResponse();
}

int HttpClient::OnHeadComplete(bool hasBody) {
  int status = reader_.statusCode();
  if (status == 101) SetAcceptData(false);  // the connection now speaks another protocol
  if (!hasBody) return 0;
  if (!(Is3xx(status) && !redirectLocation_.empty())) FireStartTransfer(1);
  int64_t announced = reader_.contentLength();
  if (!reader_.chunked() && (announced < 0 || announced > (1 << 16)) && DirectBodyAllowed()) {
    // Pause the socket layer's read so the body goes the direct way (DoRead).
    directBodyPaused_ = true;
    SetAcceptData(false);
  }
  SizeBodyStore(reader_.contentLength());
  return 0;
}

void HttpClient::SizeBodyStore(int64_t length) {
  // The announced length sizes the store only for bodies kept as sent; a
  // decoded body's size is unknown, so its block is simply kept.
  bool identity = decoder_.coding() == ContentDecoder::codingNone;
  // Halving the capacity rather than doubling the length: a Content-Length
  // near 2^63 must not overflow the comparison.
  if (identity && length >= 0 && memory_.Data().capacity() / 2 > std::max<int64_t>(length, 1 << 16)) {
    memory_.Data().Clear();
  }
  if (identity && length > 0 && file_.Path().empty()) {
    // One allocation of exactly the announced size, bounded so that a false
    // Content-Length cannot reserve more than the limit or 256 MiB.
    int64_t want = std::min<int64_t>(length, int64_t{1} << 28);
    if (memory_.Limit() > 0) want = std::min(want, memory_.Limit());
    memory_.Data().ReserveExact(static_cast<int>(want));
  }
}

int HttpClient::OnBodyData(const char* data, size_t length) { return DeliverBody(data, length); }

int HttpClient::OnResponseComplete() {
  CompleteResponse();
  return 0;
}

int HttpClient::DeliverBody(const char* data, size_t length) {
  int status = reader_.statusCode();
  if (Is3xx(status) && !redirectLocation_.empty()) {
    // The redirect is followed on a new connection; its body is not wanted.
    if (!reader_.chunked()) {
      serverClosesConnection_ = true;
      reader_.Stop();
      CompleteResponse();
    }
    return 0;
  }
  bytesTransferred_ += static_cast<int64_t>(length);
  if (strictMode_ && bytesTransferred_ > kStrictBodyLimit) return FailWith(HttpError::StrictBodyLimit);
  if (decoder_.coding() != ContentDecoder::codingNone) {
    int rc = decoder_.Decode(data, length, *this);
    // The limit's own failure, not the decoder's.
    if (strictMode_ && decodedBytes_ > kStrictBodyLimit) return FailWith(HttpError::StrictBodyLimit);
    if (rc != 0 && (rc == 102 || rc == 151)) return FailWith(decoder_.failure());
    return rc;
  }
  return Write(data, length);
}

int HttpClient::Write(const char* data, size_t length) {
  decodedBytes_ += static_cast<int64_t>(length);
  if (strictMode_ && decodedBytes_ > kStrictBodyLimit) return FailWith(HttpError::StrictBodyLimit);
  if (LogsAt(kLogVerbose)) Log(kLogVerbose, std::string_view(data, length), "ResponseBody");
  int status = reader_.statusCode();
  bool stored = false;
  if (!file_.Path().empty() && status >= 200 && status <= 299) {
    switch (file_.Write(data, length)) {
      case FileBodyWriter::Outcome::written: stored = true; break;
      case FileBodyWriter::Outcome::openFailed: {
        int code = HttpErrorCode(HttpError::LocalFileOpen);
        std::string text = HttpErrorText(HttpError::LocalFileOpen);
        SetError(code, text);
        SetLastErrorCode(code);
        FireError(code, text);
        return code;
      }
      case FileBodyWriter::Outcome::writeFailed:
        // The block goes to memory instead; the transfer goes on.
        FireError(HttpErrorCode(HttpError::LocalFileWrite), HttpErrorText(HttpError::LocalFileWrite));
        break;
    }
  }
  if (!stored) {
    if (int rc = memory_.Write(data, length); rc != 0) {
      FireError(rc, HttpErrorText(HttpError::TransferredDataAppend));
      SetError(rc, HttpErrorText(HttpError::TransferredDataAppend));
      return rc;
    }
  }
  ReportBody(data, length);
  return 0;
}

void HttpClient::ReportBody(const char* data, size_t length) {
  int status = reader_.statusCode();
  if (status != 401 && status != 407 && WantsTransferEvents()) {
    FireTransfer(1, bytesTransferred_, PercentDone(bytesTransferred_, reader_.contentLength()),
                 std::string_view(data, length));
  }
}

// --- direct receive ------------------------------------------------------------
//
// An identity body that goes to memory is read straight into the free end of
// TransferredData in large blocks (over TLS, decrypted into it): no copy out
// of a line buffer and no per-block parsing. Everything else (tunnels, line
// states, decoding, local files, limits) takes the ordinary path.

bool HttpClient::DirectBodyPossible() {
  return reader_.state() == ResponseReader::State::body && DirectBodyAllowed();
}

bool HttpClient::DirectBodyAllowed() {
  return currentAction_ != 0 && decoder_.coding() == ContentDecoder::codingNone && file_.Path().empty() &&
         memory_.Limit() == 0 && !strictMode_ && !Firewall().NegotiationRunning() &&
         MaxReceiveDataTime() <= 0 && !InputBuffered() && responseError_ == 0 &&
         !(Is3xx(reader_.statusCode()) && !redirectLocation_.empty()) && !LogsAt(kLogVerbose);
}

int HttpClient::DoRead(int mode) {
  if (mode == rmNotify && DirectBodyPossible()) return DirectBodyRead();
  if (mode == rmNotify && AcceptData() && Http2DirectPossible()) return Http2DirectRead();
  int rc = TransferClient::DoRead(mode);
  if (directBodyPaused_) {
    // The head ended inside that read; the body continues on the direct path.
    directBodyPaused_ = false;
    acceptData_ = true;
    if (rc == 0 && mode == rmNotify && SocketOpen()) {
      // What the layers below decoded past the head goes up first (TLS may
      // hold a whole record of body).
      if (InputBuffered()) rc = TransferClient::DoRead(rmBuffered);
      if (rc == 0 && SocketOpen() && DirectBodyPossible()) rc = DirectBodyRead();
    }
  }
  return rc;
}

int HttpClient::DirectBodyRead() {
  constexpr int64_t kBlock = 1 << 20;
  for (;;) {
    if (!DirectBodyPossible() || !SocketOpen() || !AcceptData() || InterruptFlag()) {
      return DirectBodyPossible() || !SocketOpen() ? 0 : TransferClient::DoRead(rmNotify);
    }
    if (closePending_) return 0;
    int64_t remaining = reader_.bodyRemaining();
    int64_t want = remaining >= 0 ? std::min(remaining, kBlock) : kBlock / 4;
    int size = memory_.Data().size();
    if (want <= 0 || want > INT32_MAX - size ||
        memory_.Data().Reserve(size + static_cast<int>(want)) != 0) {
      return TransferClient::DoRead(rmNotify);
    }
    char* space = memory_.Data().data() + size;
    int n = 0;
    int rc = ReadInto(space, static_cast<int>(want), n);
    if (rc == 10035) return 0;
    // A close or bytes buffered below: the ordinary read takes over. A reset
    // is reported by that recv alone (the next one reads as an orderly
    // close), so its code is the result.
    if (rc == kReadElsewhere) return SocketOpen() ? TransferClient::DoRead(rmNotify) : 0;
    if (rc != 0) return rc;
    NoteActivity();
    memory_.Data().CommitAppended(n);
    bytesTransferred_ += n;
    ReportBody(memory_.Data().data() + size, static_cast<size_t>(n));
    if (int rc = reader_.BodyTaken(static_cast<size_t>(n), *this); rc != 0) return rc;
  }
}

bool HttpClient::Http2DirectPossible() {
  return http2_ && http2_->Active() && TlsActive() && !Firewall().NegotiationRunning() &&
         MaxReceiveDataTime() <= 0 && !InputBuffered() && !LogsAt(kLogVerbose);
}

int HttpClient::Http2DirectRead() {
  constexpr int kBlock = 1 << 17;
  if (!http2Block_) http2Block_ = std::make_unique<char[]>(kBlock);
  for (;;) {
    if (!Http2DirectPossible()) return SocketOpen() ? TransferClient::DoRead(rmNotify) : 0;
    if (!SocketOpen() || !AcceptData() || InterruptFlag() || closePending_) return 0;
    int n = 0;
    int rc = ReadInto(http2Block_.get(), kBlock, n);
    if (rc == 10035) return 0;
    // A close, or bytes buffered below: the ordinary read takes over.
    if (rc == kReadElsewhere) return SocketOpen() ? TransferClient::DoRead(rmNotify) : 0;
    if (rc != 0) return rc;
    NoteActivity();
    http2_->OnReceived(http2Block_.get(), static_cast<size_t>(n));
  }
}

void HttpClient::CompleteResponse() {
  file_.Close();
  if (!headers_.keepAlive || serverClosesConnection_) CloseConnection();
  if (!endTransferFired_) {
    endTransferFired_ = true;
    if (!(Is3xx(reader_.statusCode()) && !redirectLocation_.empty())) FireEndTransfer(1);
    responseDone_ = true;
  }
  if (!SocketOpen()) CloseConnection();
}

// --- events ------------------------------------------------------------------

void HttpClient::FireHeader(std::string_view field, std::string_view value) {
  if (RESTEvents* sink = EventSink()) {
    std::string f(field), v(value);
    sink->Header(f, v);
  }
}

void HttpClient::FireStatus(std::string_view version, int code, std::string_view description) {
  if (RESTEvents* sink = EventSink()) {
    std::string v(version), d(description);
    int c = code;
    sink->Status(v, c, d);
  }
}

bool HttpClient::FireRedirect(std::string_view location, bool accept) {
  if (RESTEvents* sink = EventSink()) {
    std::string l(location);
    sink->Redirect(l, accept);
  }
  return accept;
}

void HttpClient::FireStartTransfer(int direction) {
  if (RESTEvents* sink = EventSink()) sink->StartTransfer(direction);
}

void HttpClient::FireTransfer(int direction, int64_t bytes, int percent, std::string_view text) {
  if (RESTEvents* sink = EventSink()) {
    std::string t(text);
    sink->Transfer(direction, bytes, percent, t);
  }
}

void HttpClient::FireEndTransfer(int direction) {
  if (RESTEvents* sink = EventSink()) sink->EndTransfer(direction);
}

void HttpClient::FireSetCookie(const Cookie& cookie) {
  if (RESTEvents* sink = EventSink()) {
    std::string name = cookie.name, value = cookie.value, expires = cookie.expires, domain = cookie.domain,
                path = cookie.path;
    bool secure = cookie.secure;
    sink->SetCookie(name, value, expires, domain, path, secure);
  }
}

}  // namespace corvane
