#pragma once

#include <string_view>

#include "tls/channel/ossl_handles.h"
#include "tls/keys/key_blob.h"
#include "tls/keys/key_errors.h"

namespace corvane::tls {

// The key container step: a private-key blob made by the key-file readers
// becomes a key the TLS library signs with. RSA blobs go through the
// library's reader of that layout (b2i_PrivateKey); DSS version 3 blobs,
// which that reader does not take, through their integers. Null on failure.
EvpPkeyPtr ImportKeyBlob(const keys::PrivateKeyBlob& blob);

// A public key from a DER SubjectPublicKeyInfo. Null on failure.
EvpPkeyPtr ImportPublicKeyInfo(std::string_view spki);

// A certificate for a key that came without one: subject and issuer the
// given name (normally "CN=pem_cert"), a 4-byte serial number, valid from
// now for 24 hours, carrying publicKey, signed SHA-1 with RSA by the
// component's own 512-bit signing key. Null, with status set (271), on
// failure.
X509Ptr MakeTemporaryCertificate(std::string_view subject, EVP_PKEY* publicKey, keys::KeyStatus& status);

}  // namespace corvane::tls
