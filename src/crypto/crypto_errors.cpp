#include "crypto/crypto_errors.h"

#include "core/error_table.h"

namespace corvane {

namespace {

constexpr ErrorRow kRows[] = {
#define CRYPTO_ERROR(name, code, text) {code, text},
#include "crypto/crypto_errors.def"
#undef CRYPTO_ERROR
};

constexpr ErrorTable<CryptoError> kTable(kRows);

}  // namespace

const char* CryptoErrorText(int code) noexcept {
  const ErrorRow* row = kTable.Find(code);
  return row ? row->text.data() : nullptr;
}

}  // namespace corvane
