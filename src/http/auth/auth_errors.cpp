#include "http/auth/auth_errors.h"

#include "core/error_table.h"

namespace corvane::auth {

namespace {

constexpr ErrorRow kRows[] = {
#define CORVANE_AUTH_ERROR(name, code, text) {code, text},
#include "http/auth/auth_errors.def"
#undef CORVANE_AUTH_ERROR
};

constexpr ErrorTable<AuthError> kTable(kRows);

}  // namespace

int AuthErrorCode(AuthError e) noexcept { return kTable.Code(e); }

std::string_view AuthErrorText(AuthError e) noexcept { return kTable.Template(e); }

}  // namespace corvane::auth
