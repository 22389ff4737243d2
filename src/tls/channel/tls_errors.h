#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/message_format.h"

namespace corvane::tls {

// One entry per failure of the TLS layer; codes and texts live in
// tls_errors.def so that each message exists in exactly one place.
enum class TlsError {
#define CORVANE_TLS_ERROR(name, code, text) name,
#include "tls/channel/tls_errors.def"
#undef CORVANE_TLS_ERROR
};

int TlsErrorCode(TlsError e) noexcept;
std::string_view TlsErrorTemplate(TlsError e) noexcept;
// The message with its "%s" (if any) replaced by argument.
std::string TlsErrorText(TlsError e, std::string_view argument = {});
// The message with its "%s" replaced by status written as "0x%x".
std::string TlsErrorText(TlsError e, uint32_t status);

}  // namespace corvane::tls
