#pragma once

#include <openssl/provider.h>

namespace corvane::test {

// MD4, RIPEMD-160 and the old ciphers live in OpenSSL's legacy provider;
// loading it replaces the implicit default, so load both once per process.
inline void LoadOpenSslProviders() {
  static const bool loaded = [] {
    OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER_load(nullptr, "default");
    return true;
  }();
  (void)loaded;
}

}  // namespace corvane::test
