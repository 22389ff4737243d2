#include "http2/http2_exchange.h"

#include <algorithm>
#include <string>

#include "core/file_ops.h"
#include "http2/http2_errors.h"

namespace corvane {

namespace {

// Received bytes handled between two chances to send credit: half the
// receive window.
constexpr size_t kCreditSlice = 32768;

}  // namespace

Http2Exchange::Http2Exchange(Http2ExchangeHost& host) : host_(host) {
  connection_.SetListener(&host_);
}

bool Http2Exchange::Run(std::string_view verb, bool hasBody, int* result) {
  // The server may speak first (its SETTINGS can arrive with the end of the
  // handshake), so received bytes are ours from the connection on.
  const bool wasKept = kept_;
  active_ = true;
  streaming_ = false;
  failure_ = 0;
  if (!wasKept) held_.Clear();
  int rc = host_.OpenConnection(verb);
  kept_ = false;
  if (rc != 0) {
    active_ = false;
    held_.Clear();
    DropConnectionState();
    *result = host_.FinishRequest(rc);
    return true;
  }
  const bool reuse = wasKept && host_.SameConnection() && connection_.NextStream();
  if (!reuse) {
    if (wasKept) {
      // A new connection: what belonged to the old one is of no use.
      held_.Clear();
      DropConnectionState();
    }
    std::string alpn = host_.AlpnSelection();
    if (!alpn.empty() && host_.LogsAt(kLogProgress)) {
      host_.Log(kLogProgress, std::string(Http2Connection::kAlpnLogPrefix) + alpn, "Info");
    }
    if (!Http2Connection::AlpnSelectsH2(alpn)) {
      // An HTTP/1.1 server does not speak first: nothing held is lost.
      active_ = false;
      held_.Clear();
      return false;
    }
  }
  rc = RunStream(verb, hasBody, reuse);
  active_ = false;
  streaming_ = false;
  if (rc == 0 && host_.KeepConnection() && host_.ConnectionOpen() && connection_.State() == Http2StreamState::ssClosed &&
      !connection_.GoAwayReceived()) {
    // The credit for the last DATA frames stays in the output and goes out
    // with the next request's HEADERS.
    kept_ = true;
  } else {
    held_.Clear();
    DropConnectionState();
    host_.CloseConnection();
  }
  *result = host_.FinishRequest(rc);
  return true;
}

void Http2Exchange::DropConnectionState() {
  connection_.Close();  // nothing is written: the connection goes next
  connection_.ConsumeOutput(static_cast<size_t>(connection_.Output().size()));
}

void Http2Exchange::ConnectionGone() noexcept {
  if (!kept_) return;
  kept_ = false;
  held_.Clear();
  DropConnectionState();
}

void Http2Exchange::OnReceived(const char* data, size_t length) {
  if (!Active() || failure_ != 0 || length == 0) return;
  if (!streaming_) {
    if (held_.Append(data, static_cast<int>(length)) != 0) failure_ = host_.Fail(200, "Out of memory.");
    return;
  }
  // With a window of 64 KB the server stops until its credit comes back, so
  // the WINDOW_UPDATE frames go out every half window while a long read is
  // still being handled, not only after it: the server refills the window
  // meanwhile.
  while (length > 0) {
    const size_t piece = std::min(length, kCreditSlice);
    int rc = connection_.Receive(data, piece);
    if (rc != 0) {
      failure_ = ConnectionFailure(rc);
      return;
    }
    data += piece;
    length -= piece;
    SendCredit();
  }
}

void Http2Exchange::SendCredit() {
  // After the response its last credit waits for the next request.
  if (connection_.ResponseComplete() || connection_.Output().empty()) return;
  const ByteBuffer& out = connection_.Output();
  connection_.ConsumeOutput(host_.SendAvailable(out.data(), static_cast<size_t>(out.size())));
}

int Http2Exchange::ConnectionFailure(int rc) {
  // A listener's own failure (a local file, for example) carries its
  // message already; the connection's protocol failures carry theirs.
  if (!connection_.LastErrorText().empty()) {
    return host_.Fail(rc, connection_.LastErrorText().view());
  }
  return rc;
}

int Http2Exchange::Flush() {
  while (!connection_.Output().empty()) {
    const ByteBuffer& out = connection_.Output();
    size_t n = static_cast<size_t>(out.size());
    int rc = host_.SendBytes(out.data(), n);
    connection_.ConsumeOutput(n);
    if (rc != 0) return rc;
  }
  return 0;
}

int Http2Exchange::Step() {
  int rc = host_.WaitOnce();
  if (rc != 0) return rc;
  if (failure_ != 0) return failure_;
  // After the response the credit for its last DATA frames waits: it goes
  // out with the next request on a kept connection, or nowhere.
  if (connection_.ResponseComplete()) return 0;
  if (!host_.ConnectionOpen()) {
    connection_.ConsumeOutput(static_cast<size_t>(connection_.Output().size()));
    return 0;
  }
  return Flush();
}

int Http2Exchange::RunStream(std::string_view verb, bool hasBody, bool reuse) {
  Http2Request request;
  if (int rc = host_.ComposeRequest(verb, hasBody, request); rc != 0) return rc;
  const bool withBody = hasBody && request.contentLength > 0;
  host_.BeginResponse(verb);

  if (!reuse) {
    if (int rc = connection_.Start(); rc != 0) return ConnectionFailure(rc);
  }
  std::string requestHeadersText;
  Http2Connection::BuildRequestHeaders(verb, request.scheme, request.host, request.port,
                                       request.pathAndQuery, request.headerBlock,
                                       connection_.RequestHeaders(), requestHeadersText);
  if (int rc = connection_.SendHeaders(!withBody); rc != 0) return ConnectionFailure(rc);
  if (int rc = Flush(); rc != 0) return rc;

  // From here the connection takes received bytes itself; what came before
  // is handed over first.
  streaming_ = true;
  if (!held_.empty()) {
    std::string held(held_.view());
    held_.Clear();
    OnReceived(held.data(), held.size());
    if (failure_ != 0) return failure_;
    if (int rc = Flush(); rc != 0) return rc;
  }
  if (withBody) {
    if (int rc = SendBody(request); rc != 0) return rc;
  }
  host_.Log(kLogProgress, "Request Sent", "Info");
  return AwaitResponse();
}

int Http2Exchange::SendPiece(const char* data, size_t length, bool last) {
  // The whole piece waits for window (RFC 7540 section 6.9.1); WINDOW_UPDATE
  // frames arrive through the loop.
  while (connection_.SendWindow() < static_cast<int64_t>(length)) {
    if (connection_.ResponseComplete() || connection_.State() == Http2StreamState::ssClosed) {
      uploadStopped_ = true;  // the server answered or reset: the rest is not wanted
      return 0;
    }
    if (!host_.ConnectionOpen()) {
      return host_.Fail(Http2MessageCode(Http2Message::kClosedBeforeResponse),
                        Http2MessageText(Http2Message::kClosedBeforeResponse));
    }
    if (int rc = Step(); rc != 0) return rc;
  }
  if (connection_.ResponseComplete() || connection_.State() == Http2StreamState::ssClosed) {
    uploadStopped_ = true;
    return 0;
  }
  if (int rc = connection_.SendData(data, length, last); rc != 0) return ConnectionFailure(rc);
  if (int rc = Flush(); rc != 0) return rc;
  sent_ += static_cast<int64_t>(length);
  host_.UploadProgress(sent_, total_, std::string_view(data, length));
  return failure_;
}

int Http2Exchange::SendBody(const Http2Request& request) {
  sent_ = 0;
  total_ = request.contentLength;
  uploadStopped_ = false;
  host_.UploadStarted();
  const size_t piece = std::max<size_t>(request.pieceSize, 1);
  const bool fileFollows = !request.attachedFile.empty();
  std::string_view data = request.postData;
  while (!data.empty() && !uploadStopped_) {
    size_t n = std::min(piece, data.size());
    bool last = n == data.size() && !fileFollows;
    if (int rc = SendPiece(data.data(), n, last); rc != 0) return rc;
    data.remove_prefix(n);
  }
  if (fileFollows && !uploadStopped_) {
    FileHandle file;
    if (OpenForRead(request.attachedFile, file) != 0) {
      return host_.Fail(302, "Can't open AttachedFile.");
    }
    std::string buffer(piece, '\0');
    for (;;) {
      ssize_t n = file.Read(buffer.data(), buffer.size());
      if (n < 0) return host_.Fail(302, "Can't open AttachedFile.");
      // The stream ends with the file, also when it shrank meanwhile.
      bool last = n == 0 || sent_ + n >= total_;
      if (int rc = SendPiece(buffer.data(), static_cast<size_t>(n), last); rc != 0) return rc;
      if (last || uploadStopped_) break;
    }
  }
  if (!uploadStopped_) host_.UploadEnded();
  return 0;
}

int Http2Exchange::AwaitResponse() {
  while (!connection_.ResponseComplete()) {
    if (failure_ != 0) return failure_;
    if (!host_.ConnectionOpen()) {
      if (connection_.GoAwayReceived()) {
        const Http2GoAwayFrame& g = connection_.LastGoAway();
        return host_.Fail(Http2MessageCode(Http2Message::kGoAwayBeforeResponse),
                          Http2MessageText(Http2Message::kGoAwayBeforeResponse,
                                           {g.LastStreamId(), g.ErrorCode() == 0
                                                                  ? std::string("0x0 (NO_ERROR)")
                                                                  : Http2ErrorCodeName(g.ErrorCode())}));
      }
      return host_.Fail(Http2MessageCode(Http2Message::kClosedBeforeResponse),
                        Http2MessageText(Http2Message::kClosedBeforeResponse));
    }
    if (connection_.State() == Http2StreamState::ssClosed) {
      // Reset without an error code before the response ended.
      return host_.Fail(Http2MessageCode(Http2Message::kClosedBeforeResponse),
                        Http2MessageText(Http2Message::kClosedBeforeResponse));
    }
    if (int rc = Step(); rc != 0) return rc;
  }
  return failure_;
}

}  // namespace corvane
