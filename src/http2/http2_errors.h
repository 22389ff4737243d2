#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/message_format.h"

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

// The formatted text of one of the layer's messages.
inline std::string Http2MessageText(Http2Message message,
                                    std::initializer_list<MessageArg> args = {}) {
  return FormatMessage(Http2MessageTemplate(message), args);
}

}  // namespace corvane
