#include "tls/keys/key_errors.h"

#include "core/error_table.h"

namespace corvane::keys {

namespace {

constexpr ErrorRow kRows[] = {
#define CORVANE_KEY_ERROR(name, code, text) {code, text},
#include "tls/keys/key_errors.def"
#undef CORVANE_KEY_ERROR
};

constexpr ErrorTable<KeyError> kTable(kRows);

}  // namespace

int KeyErrorCode(KeyError e) noexcept { return kTable.Code(e); }

std::string KeyErrorText(KeyError e, uint32_t status) { return kTable.Text(e, {StatusHex(status)}); }

}  // namespace corvane::keys
