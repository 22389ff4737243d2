#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace corvane {

// HTTP/2 error codes of RFC 7540 section 7, as sent in RST_STREAM and GOAWAY.
enum class Http2ErrorCode : uint32_t {
  NO_ERROR = 0x0,
#define CORVANE_H2_ERROR_CODE(value, ident, name, description) ident = value,
#include "http2/http2_error_codes.def"
#undef CORVANE_H2_ERROR_CODE
};

// "0x8 (CANCEL)" for a listed code, "<decimal> (INTERNAL_ERROR)" otherwise.
std::string Http2ErrorCodeName(uint32_t code);
// The description of a listed code; the internal-error text for any other.
std::string_view Http2ErrorCodeDescription(uint32_t code) noexcept;

// The layer's own failures, one per message template.
enum class Http2Message {
#define CORVANE_H2_MESSAGE(ident, code, text) k##ident,
#include "http2/http2_errors.def"
#undef CORVANE_H2_MESSAGE
};

// Result codes the layer returns.
inline constexpr int kHttp2ProtocolError = 1;
inline constexpr int kHttp2FrameSizeError = 6;
inline constexpr int kHttp2CompressionError = 9;
inline constexpr int kHttp2NegotiationError = 161;
inline constexpr int kHttp2StreamReset = 162;

int Http2MessageCode(Http2Message message) noexcept;
std::string_view Http2MessageTemplate(Http2Message message) noexcept;

// One argument of a message template: a text or a number written in decimal.
class MessageArg {
 public:
  MessageArg(std::string_view text) : text_(text) {}  // NOLINT: implicit by design
  MessageArg(const char* text) : text_(text) {}       // NOLINT
  MessageArg(const std::string& text) : text_(text) {}  // NOLINT
  MessageArg(long long number) : text_(std::to_string(number)) {}  // NOLINT
  MessageArg(int number) : text_(std::to_string(number)) {}  // NOLINT
  MessageArg(unsigned number) : text_(std::to_string(number)) {}  // NOLINT
  MessageArg(unsigned long number) : text_(std::to_string(number)) {}  // NOLINT
  MessageArg(long number) : text_(std::to_string(number)) {}  // NOLINT
  MessageArg(unsigned long long number) : text_(std::to_string(number)) {}  // NOLINT
  const std::string& Text() const noexcept { return text_; }

 private:
  std::string text_;
};

// Replaces each {n} in a template with the n-th argument; a placeholder
// without an argument is left as written.
std::string FormatMessage(std::string_view templ, std::initializer_list<MessageArg> args);

// The formatted text of one of the layer's messages.
inline std::string Http2MessageText(Http2Message message,
                                    std::initializer_list<MessageArg> args = {}) {
  return FormatMessage(Http2MessageTemplate(message), args);
}

}  // namespace corvane
