#pragma once

#include <string>
#include <string_view>

#include "tls/keys/key_blob.h"
#include "tls/keys/key_errors.h"

namespace corvane::keys {

// Reads a private key from a key file's bytes into the platform blob,
// trying in order: "RSA PRIVATE KEY" (PKCS #1), "DSA PRIVATE KEY", PKCS #8
// ("ENCRYPTED PRIVATE KEY" with PBES2/PBKDF2/des-ede3-cbc, or "PRIVATE
// KEY"), "SSH2 ENCRYPTED PRIVATE KEY" and PPK. Text stops at the first
// armour present; binary (DER) input is tried against each structure.
// Codes: 0; 1424 no format present (also PKCS #8 of another algorithm or
// another encryption); 271 key data that does not decode (status
// 0x80070056 when it was decrypted first: a wrong password); 280 SSH2 or PPK
// failures with their own texts; 2001 unknown cipher; 3001 unknown digest.
int ReadPrivateKey(std::string_view data, std::string_view password, PrivateKeyBlob& out, KeyStatus& status);

// The conversions behind it, over DER.
bool RsaFromPkcs1(std::string_view der, RsaKey& key);
bool DsaFromDer(std::string_view der, DsaKey& key);

// The SSH2 container ("SSH2 ENCRYPTED PRIVATE KEY" body, magic 0x3F6FF9EB).
// 0, 280 "Could not read SSH2 encrypted key", or 2001.
int ReadSsh2PrivateKey(std::string_view container, std::string_view password, PrivateKeyBlob& out,
                       KeyStatus& status);

// PPK text ("PuTTY-User-Key-File-", encryption "none" or "aes256-cbc").
// The aes256-cbc key and IV come from the password through SHA-1, or, when
// the file names a "Key-Derivation" (Argon2id, Argon2i or Argon2d with its
// memory, passes, parallelism and salt, as version 3 files do), through
// Argon2. 0, 1424 when it is not PPK, 280 "Could not read PPK key" or
// "Could not read PPK key, password incorrect".
int ReadPpk(std::string_view text, std::string_view password, PrivateKeyBlob& out, KeyStatus& status);

// The PPK aes256-cbc key: SHA-1(0 0 0 0 || password) || SHA-1(0 0 0 1 ||
// password), first 32 bytes.
std::string PpkKey(std::string_view password);

}  // namespace corvane::keys
