#include "rest/rest_client.h"

#include <sys/stat.h>

#include "http/http_enums.h"
#include "http/http_errors.h"
#include "http/http_status.h"
#include "http/request_head.h"

namespace corvane {

RestClient::RestClient() {
  Headers().contentType = "text/xml";
  json_.SetCacheContent(true);
}

RestClient::~RestClient() = default;

void RestClient::SetListener(RESTEvents* listener) {
  SetEventSink(listener);
  xml_.SetEventSink(listener);
  json_.SetEventSink(listener);
}

int RestClient::HandleConfig(const ConfigItem& item, ByteBuffer& result) {
  if (item.Is("From")) return ConfigText(item, result, Headers().from);
  if (item.Is("CacheContent")) {
    if (item.isQuery) {
      bool on = json_.CacheContent();
      if (kind_ == DocumentKind::kXml) {
        xml_.Config("CacheContent");
        on = ParseConfigBool(xml_.ResultText().view());
      }
      return AnswerInt(result, on ? 1 : 0);
    }
    xml_.Config(item.Bool() ? "CacheContent=true" : "CacheContent=false");
    json_.SetCacheContent(item.Bool());
    return 0;
  }
  if (item.Is("AttachedFile")) return ConfigText(item, result, AttachedFile());
  if (item.Is("CodePage") && !item.isQuery) {
    // Character references in the answers convert to the object's code page.
    auto cp = static_cast<unsigned>(item.Int());
    xml_.SetCodePage(cp);
    json_.SetCodePage(cp);
  }
  return HttpClient::HandleConfig(item, result);
}

DocumentNavigator& RestClient::Document() noexcept {
  if (kind_ == DocumentKind::kXml) return xml_;
  return json_;
}

ComponentCore& RestClient::DocumentErrors() noexcept {
  if (kind_ == DocumentKind::kXml) return xml_;
  return json_;
}

bool RestClient::BuildDOM() const noexcept {
  return kind_ == DocumentKind::kXml ? xml_.BuildDOM() : json_.BuildDOM();
}

void RestClient::SetBuildDOM(bool on) noexcept {
  xml_.SetBuildDOM(on);  // on also turns Validate on
  json_.SetBuildDOM(on);
}

void RestClient::ResetParsers() {
  xml_.Reset();
  json_.Reset();
}

int RestClient::RunRestRequest(std::string_view url, int action) {
  ResetParsers();
  if (int rc = SetURL(url); rc != 0) return rc;
  int result = Action(action);
  return ParseAnswer(result);
}

int RestClient::RunDelete(std::string_view url) {
  if (int rc = SetURL(url); rc != 0) return rc;
  return Action(http::actDelete);
}

int RestClient::ResetRest() {
  SetTransferredDataLimit(0);
  xErrorPath_.clear();
  int rc = Action(http::actReset);
  Headers().contentType = "text/xml";
  kind_ = DocumentKind::kXml;
  ResetParsers();
  return rc;
}

int RestClient::DocumentFailure(int code) {
  SetError(code, DocumentErrors().LastErrorText().view());
  return code;
}

int RestClient::ParseAnswer(int result) {
  std::string_view type = ResponseContentType();
  std::string_view body = TransferredData();
  // A case-sensitive test, "xml" first: application/xhtml+xml is XML.
  if (type.find("xml") != std::string_view::npos) {
    kind_ = DocumentKind::kXml;
    xml_.ClearError();
    int rc = xml_.Feed(body);
    if (rc != 0) return result != 0 ? result : DocumentFailure(rc);
  } else if (type.find("json") != std::string_view::npos) {
    kind_ = DocumentKind::kJson;
    json_.ClearError();
    int rc = json_.Parse(body);
    if (rc != 0) return result != 0 ? result : DocumentFailure(rc);
  } else {
    if (RESTEvents* sink = EventSink()) {
      std::string text(body);
      sink->Characters(text);
    }
    return result;
  }

  if (xErrorPath_.empty()) return result;
  DocumentNavigator& doc = Document();
  if (!doc.HasXPath(xErrorPath_)) return result;
  if (int rc = doc.SetXPath(xErrorPath_); rc != 0) {
    return result != 0 ? result : DocumentFailure(rc);
  }
  if (result != 0) return result;  // the cursor stays on the error element
  return SetError(-1, doc.XText());
}

}  // namespace corvane

// --- HTTP/2 ------------------------------------------------------------------

namespace corvane {

class RestClient::Http2Port final : public Http2ExchangeHost {
 public:
  explicit Http2Port(RestClient& client) : c_(client) {}

  int OpenConnection(std::string_view verb) override {
    // HTTP/2 is asked for through ALPN unless the caller chose the list;
    // http/1.1 is offered too, since a server that knows only that may
    // otherwise refuse the handshake instead of letting the request fall back.
    if (c_.Config("ALPNExtension") == 0 && c_.ResultText().empty()) {
      c_.Config("ALPNExtension=h2,http/1.1");
    }
    return c_.ConnectForHttp2(verb);
  }
  std::string AlpnSelection() override { return c_.NegotiatedAlpn(); }
  int ComposeRequest(std::string_view verb, bool hasBody, Http2Request& r) override {
    const http::RequestTarget& t = c_.Target();
    r.scheme = t.scheme;
    r.host = t.host;
    r.port = t.port;
    r.pathAndQuery = t.path.empty() ? "/" : t.path;
    r.postData = c_.PostData();
    r.attachedFile = c_.AttachedFile();
    r.contentLength = static_cast<int64_t>(r.postData.size());
    if (hasBody && !r.attachedFile.empty()) {
      struct stat st {};
      if (::stat(r.attachedFile.c_str(), &st) != 0) {
        return c_.SetError(http::HttpErrorCode(http::HttpError::AttachedFileOpen),
                           http::HttpErrorText(http::HttpError::AttachedFileOpen));
      }
      r.contentLength += st.st_size;
    }
    std::string cookie;
    c_.CookieHeader(cookie);
    http::RequestHeadPlan plan;
    plan.verb = verb;
    plan.withBody = hasBody;
    plan.contentLength = r.contentLength;
    plan.cookie = cookie;
    http::ComposeRequestHead(t, c_.Headers(), plan, r.headerBlock);
    return 0;
  }
  void BeginResponse(std::string_view verb) override { c_.BeginHttp2Response(verb); }
  int SendBytes(const char* data, size_t length) override {
    return c_.SendBlocking(data, static_cast<int64_t>(length), false, false);
  }
  int WaitOnce() override { return c_.WaitStep(c_.SelectWaitMillis()) ? 0 : kErrInterrupted; }
  bool ConnectionOpen() override { return c_.IsConnected() && c_.SocketOpen(); }
  void CloseConnection() override { c_.CloseHttp2Connection(); }
  void UploadStarted() override {
    c_.Log(kLogProgress, "Sending Body");
    c_.FireStartTransfer(0);
  }
  void UploadProgress(int64_t sent, int64_t total, std::string_view piece) override {
    if (c_.WantsTransferEvents()) c_.FireTransfer(0, sent, http::UploadPercent(sent, total), piece);
  }
  void UploadEnded() override { c_.FireEndTransfer(0); }
  int Fail(int code, std::string_view text) override { return c_.SetError(code, text); }
  int FinishRequest(int waitResult) override { return c_.FinishHttp2(waitResult); }
  int ProcessHeader(std::string_view name, std::string_view value) override {
    return c_.Http2HeaderPair(name, value);
  }
  int EndOfHeaders() override { return c_.Http2EndOfHeaders(false); }
  int DeliverBody(const char* data, size_t length) override { return c_.DeliverBody(data, length); }
  int CompleteResponse() override {
    c_.Http2EndOfStream();
    return 0;
  }
  bool LogsAt(int level) const override { return c_.LogsAt(level); }
  void Log(int level, std::string_view message, std::string_view logType) override {
    c_.Log(level, message, logType);
  }

 private:
  RestClient& c_;
};

bool RestClient::RunHttp2(std::string_view verb, bool hasBody, int* result) {
  if (!http2_) {
    http2Port_ = std::make_unique<Http2Port>(*this);
    http2_ = std::make_unique<Http2Exchange>(*http2Port_);
  }
  return http2_->Run(verb, hasBody, result);
}

void RestClient::DataIn(const char* data, int length, bool isLine) {
  if (http2_ && http2_->Active()) {
    if (length > 0) http2_->OnReceived(data, static_cast<size_t>(length));
    return;
  }
  HttpClient::DataIn(data, length, isLine);
}

}  // namespace corvane
