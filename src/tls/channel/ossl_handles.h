#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>

namespace corvane::tls {

// Owning handles for every OpenSSL object the layer holds, so no failure path
// can leak one.
template <typename T, void (*Free)(T*)>
struct OsslDeleter {
  void operator()(T* p) const noexcept { Free(p); }
};
template <typename T, void (*Free)(T*)>
using OsslPtr = std::unique_ptr<T, OsslDeleter<T, Free>>;

inline void FreeX509Stack(STACK_OF(X509)* s) { sk_X509_pop_free(s, X509_free); }

using SslCtxPtr = OsslPtr<SSL_CTX, SSL_CTX_free>;
using SslPtr = OsslPtr<SSL, SSL_free>;
using SslSessionPtr = OsslPtr<SSL_SESSION, SSL_SESSION_free>;
using BioPtr = OsslPtr<BIO, BIO_free_all>;
using X509Ptr = OsslPtr<X509, X509_free>;
using X509StorePtr = OsslPtr<X509_STORE, X509_STORE_free>;
using X509StoreCtxPtr = OsslPtr<X509_STORE_CTX, X509_STORE_CTX_free>;
using X509StackPtr = OsslPtr<STACK_OF(X509), FreeX509Stack>;
using EvpPkeyPtr = OsslPtr<EVP_PKEY, EVP_PKEY_free>;
using X509NamePtr = OsslPtr<X509_NAME, X509_NAME_free>;

// A second owning reference to an object somebody else owns.
inline X509Ptr ShareX509(X509* x) {
  if (x != nullptr) X509_up_ref(x);
  return X509Ptr(x);
}
inline EvpPkeyPtr ShareKey(EVP_PKEY* k) {
  if (k != nullptr) EVP_PKEY_up_ref(k);
  return EvpPkeyPtr(k);
}
inline X509StorePtr ShareStore(X509_STORE* s) {
  if (s != nullptr) X509_STORE_up_ref(s);
  return X509StorePtr(s);
}

}  // namespace corvane::tls
