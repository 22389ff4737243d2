#pragma once

#include <openssl/x509.h>

#include <string>
#include <string_view>

namespace corvane::tls {

// A distinguished name in the X.500 string form: most specific part first,
// "CN=localhost, O=Example, C=US"; values holding separators or quotes are
// quoted ("O=\"Acme, Inc.\""), the parts of a multi-valued RDN are joined by
// a blank. At most kMaxNameString characters.
inline constexpr size_t kMaxNameString = 1999;
std::string X500NameString(const X509_NAME* name);

// The reverse: "CN=alice, O=Example, C=US" (also ";" between parts, quoted
// values, "OID.2.5.4.3=" or dotted keys, RFC 4514 names such as "ST") as a
// name whose rendering by X500NameString is that text again. Null when a
// part has no "=" or names an unknown attribute.
X509_NAME* X500NameFromString(std::string_view text);

}  // namespace corvane::tls
