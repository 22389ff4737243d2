#include "corvane-rest/event_printer.h"

namespace corvane::cli {

void AppendJsonString(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7f) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

// Without --events nothing is formatted: escaping every body block (and the
// whole body again in Characters) only to drop it made large downloads slow
// and several times the body's size in memory.
class EventPrinter::Line {
 public:
  Line(EventPrinter& printer, const char* event) : printer_(printer), on_(printer.options_.events) {
    if (!on_) return;
    text_ = "{\"event\":\"";
    text_ += event;
    text_ += '"';
  }
  ~Line() {
    if (!on_) return;
    text_ += "}\n";
    std::fwrite(text_.data(), 1, text_.size(), printer_.out_);
  }
  Line& Str(const char* name, std::string_view value) {
    if (!on_) return *this;
    Name(name);
    AppendJsonString(text_, value);
    return *this;
  }
  Line& Int(const char* name, int64_t value) {
    if (!on_) return *this;
    Name(name);
    text_ += std::to_string(value);
    return *this;
  }
  Line& Bool(const char* name, bool value) {
    if (!on_) return *this;
    Name(name);
    text_ += value ? "true" : "false";
    return *this;
  }

 private:
  void Name(const char* name) {
    text_ += ",\"";
    text_ += name;
    text_ += "\":";
  }
  EventPrinter& printer_;
  bool on_;
  std::string text_;
};

void EventPrinter::ElementLine(const char* event, std::string_view nameSpace,
                               std::string_view element, std::string_view qName, bool isEmpty) {
  Line(*this, event)
      .Str("Namespace", nameSpace)
      .Str("Element", element)
      .Str("QName", qName)
      .Bool("IsEmpty", isEmpty);
}

void EventPrinter::Characters(std::string& text) { Line(*this, "Characters").Str("Text", text); }
void EventPrinter::Comment(std::string& text) { Line(*this, "Comment").Str("Text", text); }
void EventPrinter::Connected(int& statusCode, std::string& description) {
  Line(*this, "Connected").Int("StatusCode", statusCode).Str("Description", description);
}
void EventPrinter::ConnectionStatus(std::string& connectionEvent, int& statusCode,
                                    std::string& description) {
  Line(*this, "ConnectionStatus")
      .Str("ConnectionEvent", connectionEvent)
      .Int("StatusCode", statusCode)
      .Str("Description", description);
}
void EventPrinter::Disconnected(int& statusCode, std::string& description) {
  Line(*this, "Disconnected").Int("StatusCode", statusCode).Str("Description", description);
}
void EventPrinter::EndElement(std::string& nameSpace, std::string& element, std::string& qName,
                              bool& isEmpty) {
  ElementLine("EndElement", nameSpace, element, qName, isEmpty);
}
void EventPrinter::EndPrefixMapping(std::string& prefix) {
  Line(*this, "EndPrefixMapping").Str("Prefix", prefix);
}
void EventPrinter::EndTransfer(int& direction) {
  if (progressDrawn_) {
    std::fputc('\n', err_);
    progressDrawn_ = false;
  }
  Line(*this, "EndTransfer").Int("Direction", direction);
}
void EventPrinter::Error(int& errorCode, std::string& description) {
  Line(*this, "Error").Int("ErrorCode", errorCode).Str("Description", description);
}
void EventPrinter::EvalEntity(std::string& entity, std::string& value) {
  Line(*this, "EvalEntity").Str("Entity", entity).Str("Value", value);
}
void EventPrinter::Header(std::string& field, std::string& value) {
  Line(*this, "Header").Str("Field", field).Str("Value", value);
}
void EventPrinter::IgnorableWhitespace(std::string& text) {
  Line(*this, "IgnorableWhitespace").Str("Text", text);
}
void EventPrinter::Log(int& logLevel, std::string& message, std::string& logType) {
  if (options_.logToStderr) {
    std::fprintf(err_, "[%d %s] %.*s\n", logLevel, logType.c_str(),
                 static_cast<int>(message.size()), message.data());
  }
  Line(*this, "Log").Int("LogLevel", logLevel).Str("Message", message).Str("LogType", logType);
}
void EventPrinter::Meta(std::string& text) { Line(*this, "Meta").Str("Text", text); }
void EventPrinter::PI(std::string& text) { Line(*this, "PI").Str("Text", text); }
void EventPrinter::Redirect(std::string& location, bool& accept) {
  Line(*this, "Redirect").Str("Location", location).Bool("Accept", accept);
}
void EventPrinter::SetCookie(std::string& name, std::string& value, std::string& expires,
                             std::string& domain, std::string& path, bool& secure) {
  Line(*this, "SetCookie")
      .Str("Name", name)
      .Str("Value", value)
      .Str("Expires", expires)
      .Str("Domain", domain)
      .Str("Path", path)
      .Bool("Secure", secure);
}
void EventPrinter::SpecialSection(std::string& sectionId, std::string& text) {
  Line(*this, "SpecialSection").Str("SectionId", sectionId).Str("Text", text);
}
void EventPrinter::SSLServerAuthentication(std::string& certEncoded, std::string& certSubject,
                                           std::string& certIssuer, std::string& status,
                                           bool& accept) {
  if (options_.acceptAnyCert) accept = true;
  refusedCertificate_ = accept ? std::string() : status + "; subject " + certSubject;
  Line(*this, "SSLServerAuthentication")
      .Str("CertEncoded", certEncoded)
      .Str("CertSubject", certSubject)
      .Str("CertIssuer", certIssuer)
      .Str("Status", status)
      .Bool("Accept", accept);
}
void EventPrinter::SSLStatus(std::string& message) {
  Line(*this, "SSLStatus").Str("Message", message);
}
void EventPrinter::StartElement(std::string& nameSpace, std::string& element, std::string& qName,
                                bool& isEmpty) {
  ElementLine("StartElement", nameSpace, element, qName, isEmpty);
}
void EventPrinter::StartPrefixMapping(std::string& prefix, std::string& uri) {
  Line(*this, "StartPrefixMapping").Str("Prefix", prefix).Str("URI", uri);
}
void EventPrinter::StartTransfer(int& direction) {
  Line(*this, "StartTransfer").Int("Direction", direction);
}
void EventPrinter::Status(std::string& httpVersion, int& statusCode, std::string& description) {
  statusCode_ = statusCode;
  Line(*this, "Status")
      .Str("HTTPVersion", httpVersion)
      .Int("StatusCode", statusCode)
      .Str("Description", description);
}
void EventPrinter::Transfer(int& direction, int64_t& bytesTransferred, int& percentDone,
                           std::string& text) {
  if (options_.progress) DrawProgress(direction, bytesTransferred, percentDone);
  if (options_.bodyToOut && direction == 1 && statusCode_ >= 200 && statusCode_ <= 299) {
    std::fwrite(text.data(), 1, text.size(), out_);
  }
  Line(*this, "Transfer")
      .Int("Direction", direction)
      .Int("BytesTransferred", bytesTransferred)
      .Int("PercentDone", percentDone)
      .Str("Text", text);
}

void EventPrinter::DrawProgress(int direction, int64_t bytes, int percent) {
  constexpr int kWidth = 30;
  char bar[kWidth + 1];
  int filled = percent < 0 ? 0 : (percent > 100 ? kWidth : percent * kWidth / 100);
  for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
  bar[kWidth] = '\0';
  std::fprintf(err_, "\r%s [%s] %3d%% %lld bytes", direction == 0 ? "up  " : "down", bar,
               percent < 0 ? 0 : percent, static_cast<long long>(bytes));
  std::fflush(err_);
  progressDrawn_ = true;
}

}  // namespace corvane::cli
