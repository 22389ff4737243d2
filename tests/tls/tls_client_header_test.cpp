// tls_client.h keeps the TLS library's own types from the layers above.
#include "http/http_client.h"
#include "tls/tls_client.h"

#if defined(OPENSSL_SSL_H) || defined(OPENSSL_X509_H) || defined(OPENSSL_BIO_H) || defined(OPENSSL_EVP_H)
#error "OpenSSL headers reach the layers above TLS through tls_client.h"
#endif
