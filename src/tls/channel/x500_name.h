#pragma once

#include <openssl/x509.h>

#include <string>

namespace corvane::tls {

// A distinguished name in the X.500 string form: most specific part first,
// "CN=localhost, O=Example, C=US"; values holding separators or quotes are
// quoted ("O=\"Acme, Inc.\""), the parts of a multi-valued RDN are joined by
// a blank. At most kMaxNameString characters.
inline constexpr size_t kMaxNameString = 1999;
std::string X500NameString(const X509_NAME* name);

}  // namespace corvane::tls
