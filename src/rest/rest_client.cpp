#include "rest/rest_client.h"

#include "core/event_handlers.h"
#include "http/http_enums.h"
#include "platform/curl_transport.h"

namespace corvane {

RestClient::RestClient() {
  Headers().contentType = "text/xml";
  json_.SetCacheContent(true);
  SetPlatformTransportFactory(&platform::MakeCurlTransport);
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
      bool on = kind_ == DocumentKind::kXml ? xml_.CacheContent() : json_.CacheContent();
      return AnswerInt(result, on ? 1 : 0);
    }
    xml_.SetCacheContent(item.Bool());
    json_.SetCacheContent(item.Bool());
    return 0;
  }
  if (item.Is("AttachedFile")) return ConfigText(item, result, AttachedFile());
  // The XML parser's own settings; it answers their queries too.
  static constexpr std::string_view kXmlKeys[] = {
      "IgnoreBadAttributePrefixes", "IgnoreBadElementPrefixes", "AllowMoreThanOneRoot",
      "AllowTextOutsideRoot",       "IncludeUnknownPrefixes",   "KeepOriginalText",
      "XSubTree",                   "XContents",                "HTMLComments",
      "UseEncoding",                "PreserveWhitespace",       "ErrorOnEmptyAttr",
      "AllowLeadingDigit",
  };
  for (std::string_view key : kXmlKeys) {
    if (item.Is(key)) return xml_.HandleConfig(item, result);
  }
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
  // From an event handler: refused (143) before the parsers or the URL are
  // touched, during the transfer as during the parse of its answer.
  if (RefusesActions()) return Action(action);
  ResetParsers();
  if (int rc = SetURL(url); rc != 0) return rc;
  int result = Action(action);
  return ParseAnswer(result);
}

int RestClient::RunDelete(std::string_view url) {
  if (RefusesActions()) return Action(http::actDelete);
  if (int rc = SetURL(url); rc != 0) return rc;
  return Action(http::actDelete);
}

int RestClient::ResetRest() {
  if (RefusesActions()) return Action(http::actReset);
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
  // The parsers read the answer while their events run (without a tree the
  // JSON parser reads the body in place): a request or Reset started from a
  // handler fails busy, as one started during the transfer does.
  bool inUse = AnswerInUse();
  SetAnswerInUse(true);
  int rc = DeliverAnswer(result);
  SetAnswerInUse(inUse);
  return rc;
}

int RestClient::DeliverAnswer(int result) {
  std::string_view type = ResponseContentType();
  std::string_view body = TransferredData();
  // A body that went to LocalFile left nothing to parse, and an answer to
  // HEAD, a 204 or a 304 has none even when it names a content type; an
  // empty text is no JSON document, and the request did not fail.
  if (body.empty() && (!LocalFile().empty() || Headers().httpMethod == "HEAD" || StatusCode() == 204 ||
                       StatusCode() == 304)) {
    return result;
  }
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
    // The body's copy is made only for a listener that takes the event: a
    // 100 MB answer would otherwise be mapped twice for nobody.
    if (RESTEvents* sink = EventSink(); sink != nullptr && HandledEvents::Of(sink).characters) {
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
