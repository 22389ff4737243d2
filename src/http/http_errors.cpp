#include "http/http_errors.h"

#include "core/error_table.h"

namespace corvane::http {

namespace {

constexpr ErrorRow kRows[] = {
#define CORVANE_HTTP_ERROR(name, code, text) {code, text},
#include "http/http_errors.def"
#undef CORVANE_HTTP_ERROR
};

constexpr ErrorTable<HttpError> kTable(kRows);

}  // namespace

int HttpErrorCode(HttpError e) noexcept { return kTable.Code(e); }

std::string_view HttpErrorTemplate(HttpError e) noexcept { return kTable.Template(e); }

std::string HttpErrorText(HttpError e, std::string_view argument) {
  return kTable.Text(e, {argument});
}

}  // namespace corvane::http
