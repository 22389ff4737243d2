#pragma once

#include <string>
#include <string_view>

#include "tls/keys/key_errors.h"

namespace corvane::keys {

// Reads a public key into a DER SubjectPublicKeyInfo (RFC 5280 4.1), RSA or
// DSA, for the certificate made around it.
// ssh: the SSH forms (binary blob, one-line "ssh-rsa AAAA... comment", the
// "SSH2 PUBLIC KEY" armour of RFC 4716); otherwise "RSA PUBLIC KEY"
// (PKCS #1), "DSA PUBLIC KEY" and "PUBLIC KEY" (SubjectPublicKeyInfo), or
// their DER.
// Codes: 0; 280 "Unknown SSH2 public key type"; 1424 nothing readable.
int ReadPublicKey(std::string_view data, bool ssh, std::string& spki, KeyStatus& status);

// SubjectPublicKeyInfo from the key's integers (big-endian unsigned).
std::string RsaPublicKeyInfo(std::string_view n, std::string_view e);
std::string DsaPublicKeyInfo(std::string_view p, std::string_view q, std::string_view g, std::string_view y);

}  // namespace corvane::keys
