#include "crypto/crypto_errors.h"

namespace corvane {

const char* CryptoErrorText(int code) noexcept {
  switch (code) {
#define CRYPTO_ERROR(name, code, text) \
  case code:                           \
    return text;
#include "crypto/crypto_errors.def"
#undef CRYPTO_ERROR
    default:
      return nullptr;
  }
}

}  // namespace corvane
