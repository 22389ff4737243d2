#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "corvane/events.h"

namespace corvane::cli {

// Appends s as a JSON string. Strings here are byte strings: bytes outside
// printable ASCII become \u00XX, so a reader that maps each code point back
// to one byte recovers any body exactly.
void AppendJsonString(std::string& out, std::string_view s);

struct ListenerOptions {
  bool events = false;       // every event as one JSON object per line on out
  bool logToStderr = false;  // Log events as text lines on stderr
  bool progress = false;     // a progress bar on stderr
  bool acceptAnyCert = false;
  bool bodyToOut = false;    // a successful response's body is written to out as it arrives
};

// The command-line client's listener.
class EventPrinter : public RESTEvents {
 public:
  EventPrinter(ListenerOptions options, std::FILE* out, std::FILE* err)
      : options_(options), out_(out), err_(err) {}

  void Characters(std::string& text) override;
  void Comment(std::string& text) override;
  void Connected(int& statusCode, std::string& description) override;
  void ConnectionStatus(std::string& connectionEvent, int& statusCode,
                        std::string& description) override;
  void Disconnected(int& statusCode, std::string& description) override;
  void EndElement(std::string& nameSpace, std::string& element, std::string& qName,
                  bool& isEmpty) override;
  void EndPrefixMapping(std::string& prefix) override;
  void EndTransfer(int& direction) override;
  void Error(int& errorCode, std::string& description) override;
  void EvalEntity(std::string& entity, std::string& value) override;
  void Header(std::string& field, std::string& value) override;
  void IgnorableWhitespace(std::string& text) override;
  void Log(int& logLevel, std::string& message, std::string& logType) override;
  void Meta(std::string& text) override;
  void PI(std::string& text) override;
  void Redirect(std::string& location, bool& accept) override;
  void SetCookie(std::string& name, std::string& value, std::string& expires, std::string& domain,
                 std::string& path, bool& secure) override;
  void SpecialSection(std::string& sectionId, std::string& text) override;
  void SSLServerAuthentication(std::string& certEncoded, std::string& certSubject,
                               std::string& certIssuer, std::string& status, bool& accept) override;
  void SSLStatus(std::string& message) override;
  void StartElement(std::string& nameSpace, std::string& element, std::string& qName,
                    bool& isEmpty) override;
  void StartPrefixMapping(std::string& prefix, std::string& uri) override;
  void StartTransfer(int& direction) override;
  void Status(std::string& httpVersion, int& statusCode, std::string& description) override;
  void Transfer(int& direction, int64_t& bytesTransferred, int& percentDone,
                std::string& text) override;

  // Why the last server certificate was refused ("status; subject ..."), or
  // empty when none was.
  const std::string& RefusedCertificate() const { return refusedCertificate_; }

 private:
  // One JSON line: {"event":name, then the fields}.
  class Line;
  void DrawProgress(int direction, int64_t bytes, int percent);
  // StartElement and EndElement carry the same fields.
  void ElementLine(const char* event, std::string_view nameSpace, std::string_view element,
                   std::string_view qName, bool isEmpty);

  ListenerOptions options_;
  std::FILE* out_;
  std::FILE* err_;
  bool progressDrawn_ = false;
  int statusCode_ = 0;
  std::string refusedCertificate_;
};

}  // namespace corvane::cli
