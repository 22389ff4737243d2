#include "tls/channel/tls_errors.h"

#include "core/error_table.h"

namespace corvane::tls {

namespace {

constexpr ErrorRow kRows[] = {
#define CORVANE_TLS_ERROR(name, code, text) {code, text},
#include "tls/channel/tls_errors.def"
#undef CORVANE_TLS_ERROR
};

constexpr ErrorTable<TlsError> kTable(kRows);

}  // namespace

int TlsErrorCode(TlsError e) noexcept { return kTable.Code(e); }

std::string_view TlsErrorTemplate(TlsError e) noexcept { return kTable.Template(e); }

std::string TlsErrorText(TlsError e, std::string_view argument) {
  return kTable.Text(e, {argument});
}

std::string TlsErrorText(TlsError e, uint32_t status) { return TlsErrorText(e, StatusHex(status)); }

}  // namespace corvane::tls
