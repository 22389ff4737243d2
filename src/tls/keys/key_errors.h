#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::keys {

enum class KeyError {
#define CORVANE_KEY_ERROR(name, code, text) name,
#include "tls/keys/key_errors.def"
#undef CORVANE_KEY_ERROR
};

// Platform statuses the messages carry, in the form callers of the original
// certificate functions know them.
inline constexpr uint32_t kStatusNotFound = 0x80092004;       // no matching certificate
inline constexpr uint32_t kStatusBadEncoding = 0x8009310b;    // ASN.1 that does not parse
inline constexpr uint32_t kStatusBadPassword = 0x80070056;    // decrypted data is garbage
inline constexpr uint32_t kStatusInvalidData = 0x8007000d;    // neither certificate nor key

int KeyErrorCode(KeyError e) noexcept;
// The message, with "%s" replaced by the status as "0x%x".
std::string KeyErrorText(KeyError e, uint32_t status = 0);

// The outcome of a reader or store step: a code (0 = success) and its
// message.
struct KeyStatus {
  int code = 0;
  std::string message;

  // Records e and returns its code, so a failure is one line.
  int Fail(KeyError e, uint32_t status = 0) {
    code = KeyErrorCode(e);
    message = KeyErrorText(e, status);
    return code;
  }
  int Fail(int c, std::string_view text) {
    code = c;
    message.assign(text);
    return code;
  }
  bool ok() const noexcept { return code == 0; }
};

}  // namespace corvane::keys
