#pragma once

#include <openssl/provider.h>

namespace corvane::test {

// MD4, RIPEMD-160 and the old ciphers live in OpenSSL's legacy provider;
// loading it replaces the implicit default, so load both once per process
// and unload them at exit (LeakSanitizer counts a loaded provider as a leak).
inline void LoadOpenSslProviders() {
  struct Providers {
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* base = OSSL_PROVIDER_load(nullptr, "default");
    ~Providers() {
      if (legacy != nullptr) OSSL_PROVIDER_unload(legacy);
      if (base != nullptr) OSSL_PROVIDER_unload(base);
    }
  };
  static Providers providers;
}

}  // namespace corvane::test
