#pragma once

#include <string>
#include <string_view>

#include "tls/keys/key_errors.h"

namespace corvane::keys {

// "-----BEGIN label-----\r\n", the base64 of der in lines of 64 characters
// joined by CR LF, "\r\n-----END label-----".
std::string WritePem(std::string_view label, std::string_view der);

// The bytes under the armour named label, decrypted when a DEK-Info header
// asks for it. Data holding any byte above 0x7F is binary and comes back
// unchanged, so DER is accepted for every label. Without the label the whole
// text is the body, unless armourRequired.
// 0, 1424 (label absent with armourRequired, no closing "---", body not
// base64), 2001 (DEK-Info names a cipher we do not have); encrypted is set
// when the body was decrypted.
int ReadPem(std::string_view label, std::string_view data, std::string_view password, bool armourRequired,
            std::string& out, KeyStatus& status, bool* encrypted = nullptr);

// Decrypts data in place with a key made from the password (EVP_BytesToKey
// style: MD5, one round, salt = the first 8 IV bytes; for SSH2 containers the
// password comes first, there is no salt and the IV is zero). Ciphers:
// "DES-EDE3-CBC"/"3des-cbc", "DES-EDE3-CFB", "AES-128-CBC". 0, 2001 for
// another name, or the cipher's code (2003 for a partial block).
int DecryptWithPassword(std::string_view cipherName, std::string_view password, std::string_view iv,
                        bool ssh2, std::string& data, KeyStatus& status);

// The key of DecryptWithPassword: MD5 over (previous block, password,
// salt), or for SSH2 (password, previous block), one round, keyLength bytes.
// 0 or 3001.
int PasswordKey(std::string_view password, std::string_view salt, int keyLength, bool ssh2, std::string& key);

// Whitespace (blank, tab, CR, LF) trimmed from both ends.
std::string_view TrimText(std::string_view s) noexcept;

}  // namespace corvane::keys
