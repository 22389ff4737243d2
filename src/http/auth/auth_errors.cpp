#include "http/auth/auth_errors.h"

namespace corvane::auth {

namespace {

struct Entry {
  int code;
  std::string_view text;
};

constexpr Entry kEntries[] = {
#define CORVANE_AUTH_ERROR(name, code, text) {code, text},
#include "http/auth/auth_errors.def"
#undef CORVANE_AUTH_ERROR
};

}  // namespace

int AuthErrorCode(AuthError e) noexcept { return kEntries[static_cast<int>(e)].code; }

std::string_view AuthErrorText(AuthError e) noexcept { return kEntries[static_cast<int>(e)].text; }

}  // namespace corvane::auth
