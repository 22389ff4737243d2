#pragma once

#include <string>
#include <string_view>

#include "tls/keys/key_errors.h"

namespace corvane::keys {

// An XML key description (the XML-DSig KeyInfo elements) rewritten in a text
// form the other readers take: an "X509Data"/"X509Certificate" becomes a
// "CERTIFICATE" armour; an "RSAKeyValue" (Modulus, Exponent; D, P, Q,
// InverseQ when private) or "DSAKeyValue" (P, Q, G, Y; X when private)
// becomes an "SSH2 PUBLIC KEY", or with the private parts an unencrypted
// "SSH2 ENCRYPTED PRIVATE KEY" container. Several are joined by CR LF.
// isPrivate: a private key was written; isPublic: a public key only.
// 0, or 280 "Could not read XML certificate." when nothing is usable.
int ReadXmlKey(std::string_view text, std::string& out, bool& isPrivate, bool& isPublic, KeyStatus& status);

}  // namespace corvane::keys
