#pragma once

#include <string_view>

namespace corvane::auth {

// One entry per failure of the authentication layer; codes and texts live in
// auth_errors.def so that each message exists in exactly one place.
enum class AuthError {
#define CORVANE_AUTH_ERROR(name, code, text) name,
#include "http/auth/auth_errors.def"
#undef CORVANE_AUTH_ERROR
};

int AuthErrorCode(AuthError e) noexcept;
std::string_view AuthErrorText(AuthError e) noexcept;

}  // namespace corvane::auth
