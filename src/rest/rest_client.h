#pragma once

#include <string>
#include <string_view>

#include "core/document_navigator.h"
#include "http/http_client.h"
#include "json/json_parser.h"
#include "xml/xml_parser.h"

namespace corvane {

// The engine behind the REST object: an HttpClient that parses every answer
// into a navigable document (XML or JSON, chosen by the content type), checks
// it for an error element, and keeps the cookie list.
class RestClient : public HttpClient {
 public:
  // Which parser made the current document.
  enum class DocumentKind { kJson = 0, kXml = 1 };

  RestClient();
  ~RestClient() override;

  int HandleConfig(const ConfigItem& item, ByteBuffer& result) override;

  // Events of the engine and both parsers go to listener.
  void SetListener(RESTEvents* listener);

  // Get (1), Post (2) and Put (5): run the request, then parse its answer.
  int RunRestRequest(std::string_view url, int action);
  // Delete: the answer is not parsed; the previous document stays.
  int RunDelete(std::string_view url);
  int ResetRest();

  // The document of the current kind, and the object holding its last error.
  DocumentNavigator& Document() noexcept;
  ComponentCore& DocumentErrors() noexcept;
  DocumentKind Kind() const noexcept { return kind_; }
  XmlParser& Xml() noexcept { return xml_; }
  JsonParser& Json() noexcept { return json_; }

  bool BuildDOM() const noexcept;
  void SetBuildDOM(bool on) noexcept;
  std::string& XErrorPath() noexcept { return xErrorPath_; }

  // The caller's accepted server certificate as set (the client
  // certificate lives in the TLS layer's ClientCertificates()).
  struct CertificateSettings {
    std::string acceptServerCertEncoded;
  };
  CertificateSettings& Certificates() noexcept { return certificates_; }

 private:
  void ResetParsers();
  // Parses the body with the parser its content type names; returns the
  // request's result, the parser's code, or -1 for an error element.
  // Requests from the handlers of the parse are refused meanwhile.
  int ParseAnswer(int result);
  // The parse itself, run with the answer marked in use.
  int DeliverAnswer(int result);
  // Adopts the document's error text as the engine's, returning code.
  int DocumentFailure(int code);

  XmlParser xml_;
  JsonParser json_;
  DocumentKind kind_ = DocumentKind::kXml;
  std::string xErrorPath_;
  CertificateSettings certificates_;
};

}  // namespace corvane
