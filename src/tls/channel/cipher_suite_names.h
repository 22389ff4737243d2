#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::tls {

struct CipherSuiteName {
  uint32_t code;
  std::string_view text;  // "TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256 (0xc02f)"
};

// The logged name of a cipher suite code: the table text, or "Unknown (" the
// code in decimal ")".
std::string CipherSuiteText(uint32_t code);

}  // namespace corvane::tls
