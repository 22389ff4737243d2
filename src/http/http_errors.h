#pragma once

#include <string>
#include <string_view>

namespace corvane::http {

// One entry per failure of the HTTP/1.x engine; codes and texts live in
// http_errors.def so that each message exists in exactly one place.
enum class HttpError {
#define CORVANE_HTTP_ERROR(name, code, text) name,
#include "http/http_errors.def"
#undef CORVANE_HTTP_ERROR
};

int HttpErrorCode(HttpError e) noexcept;
std::string_view HttpErrorTemplate(HttpError e) noexcept;
// The message with its "%s" (if any) replaced by argument.
std::string HttpErrorText(HttpError e, std::string_view argument = {});

}  // namespace corvane::http
