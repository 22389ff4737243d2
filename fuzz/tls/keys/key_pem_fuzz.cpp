// PEM armour, DEK-Info decryption and the DER structures behind it (PKCS #1,
// DSA, PKCS #8 with PBES2, SubjectPublicKeyInfo), over arbitrary bytes. The
// corpus is encrypted with "secret", so the decrypted structures are reached.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tls/keys/key_blob.h"
#include "tls/keys/pem_format.h"
#include "tls/keys/private_key_reader.h"
#include "tls/keys/public_key_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace corvane::keys;
  std::string_view in(reinterpret_cast<const char*>(data), size);
  KeyStatus status;
  std::string out;
  ReadPem("CERTIFICATE", in, "secret", false, out, status);
  PrivateKeyBlob blob;
  if (ReadPrivateKey(in, "secret", blob, status) == 0) {
    RsaKey rsa;
    DsaKey dsa;
    blob.dss ? ParseDssBlob(blob.blob, dsa) : ParseRsaBlob(blob.blob, rsa);
  }
  ReadPrivateKey(in, "", blob, status);
  ReadPublicKey(in, false, out, status);
  return 0;
}
