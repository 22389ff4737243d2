#pragma once

namespace corvane {

// Codes raised by the digests, MACs and ciphers. 2001 doubles as "unknown
// digest id" in HashContext; the caller attaches the message of its choice.
enum CryptoError : int {
#define CRYPTO_ERROR(name, code, text) name = code,
#include "crypto/crypto_errors.def"
#undef CRYPTO_ERROR
};

// The message of a crypto code, or nullptr for a code this layer does not raise.
const char* CryptoErrorText(int code) noexcept;

}  // namespace corvane
